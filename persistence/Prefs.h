// The player's stored preferences: prefs.json in SDL's per-user preference
// folder, holding "playerName", "keyboardGameplay", "audioOffsetMs" (whole
// milliseconds) and "musicVolume" (whole percent). Nothing is cached: every
// call finds the file again, reads it whole and, to save, merges its one value
// into what is there and writes it all back. Members we do not know survive.
// A file that does not parse is kept aside as prefs.json.corrupt-<date>-<time>
// by the next save, which keeps whatever of our members could still be read.
// Main thread only.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>

namespace Prefs {
inline constexpr int32_t kLowestAudioOffsetMs  = -300;
inline constexpr int32_t kHighestAudioOffsetMs = 300;

std::string filePath();
std::string loadPlayerName(const std::string& fallback);
bool        loadKeyboardGameplay(bool fallback);
int32_t     loadAudioOffsetMs(int32_t fallback);  // out of range or not whole: the fallback
int32_t     loadMusicVolume(int32_t fallback);    // 0..100
void        savePlayerName(const std::string& name);
void        saveKeyboardGameplay(bool enabled);
void        saveAudioOffsetMs(int32_t offsetMs);
void        saveMusicVolume(int32_t percent);
std::string loadFolder(const char* key);  // "" when none is stored
void        saveFolder(const char* key, const std::string& folder);

// The same rules on the file's text, without the file: the stored value of key
// (null when there is none) and the text after setting key. A document that
// does not parse leaves its reason in error.
nlohmann::json memberOf(const std::string& text, const char* key, std::string& error);
std::string    withMember(const std::string& text, const char* key, const nlohmann::json& value, std::string& error);
}  // namespace Prefs
