// The level list, levels/levels.json, that fills the main menu's level table.
// It is picked out of the text with regular expressions rather than parsed, so
// any file in which each level is a flat brace-delimited group of "key": value
// pairs reads; when nothing usable is found, three sample levels stand in.
// Loaded once at GUI set-up, on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LevelInfo {
    std::string name;
    std::string file;  // package folder below "levels/"
    int32_t     difficulty = 1;
    std::string description;
    bool        imported = false;  // the player added it, so may delete it
};

extern std::vector<LevelInfo> levelList;

bool                     loadLevelList();   // fills levelList on the first call; true when it holds entries
std::vector<std::string> levelListNames();  // the installed levels' names, in list order
// The entries of a level list's text, in file order (possibly none).
std::vector<LevelInfo> readLevelList(const std::string& text);
std::string            extractStringField(const std::string& text, const std::string& key);
int                    extractIntField(const std::string& text, const std::string& key, int fallback);
bool                   extractTrueField(const std::string& text, const std::string& key);  // "key": true
