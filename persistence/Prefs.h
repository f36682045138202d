// The player's stored preferences: prefs.json in SDL's per-user preference
// folder, holding "playerName" and "keyboardGameplay". Nothing is cached: every
// call finds the file again, reads it whole and, to save, merges its one value
// into what is there and writes it all back. Members we do not know survive.
// Main thread only.
#pragma once

#include <string>

namespace Prefs {
std::string filePath();
std::string loadPlayerName(const std::string& fallback);
bool        loadKeyboardGameplay(bool fallback);
void        savePlayerName(const std::string& name);
void        saveKeyboardGameplay(bool enabled);
}
