#include "persistence/Prefs.h"

namespace Prefs {
std::string loadPlayerName(const std::string& fallback) { return fallback; }
bool loadKeyboardGameplay(bool fallback) { return fallback; }
}
