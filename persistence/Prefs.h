// The player's stored preferences (prefs.json in the preference folder).
// (Reading and writing come with the persistence work; for now every call
// answers with the caller's default.)
#pragma once

#include <string>

namespace Prefs {
std::string loadPlayerName(const std::string& fallback);
bool        loadKeyboardGameplay(bool fallback);
}
