// The player's stored preferences: prefs.json in SDL's per-user preference
// folder, holding "playerName" and "keyboardGameplay". Nothing is cached: every
// call finds the file again, reads it whole and, to save, merges its one value
// into what is there and writes it all back. Members we do not know survive.
// Main thread only.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

namespace Prefs {
std::string filePath();
std::string loadPlayerName(const std::string& fallback);
bool        loadKeyboardGameplay(bool fallback);
void        savePlayerName(const std::string& name);
void        saveKeyboardGameplay(bool enabled);

// The same rules on the file's text, without the file: the stored value of key
// (null when there is none) and the text after setting key. A document that
// does not parse leaves its reason in error.
nlohmann::json memberOf(const std::string& text, const char* key, std::string& error);
std::string    withMember(const std::string& text, const char* key, const nlohmann::json& value, std::string& error);
}  // namespace Prefs
