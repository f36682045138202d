#include "level/LevelList.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <charconv>
#include <iostream>

std::vector<LevelInfo> levelList;

// The list is picked out of the text by these patterns (ECMAScript grammar):
//   an entry:         \{[^}]*\}
//   a string field:   "key"\s*:\s*"([^"]+)"
//   an integer field: "key"\s*:\s*([0-9]+)
//   a true field:     "key"\s*:\s*true
// They are matched by hand: the standard library's regex engine recurses once
// per character and overflows the stack on an entry of some 100 KB.
namespace {

bool levelListLoaded = false;

bool isRegexSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

size_t skipSpaces(const std::string& text, size_t at) {
    while (at < text.size() && isRegexSpace(text[at])) ++at;
    return at;
}

// Calls match with the position after each `"key"\s*:\s*` in turn, until it
// accepts one; true when one was accepted.
template <typename Match>
bool findValue(const std::string& text, const std::string& key, Match match) {
    const std::string quoted = "\"" + key + "\"";
    for (size_t found = text.find(quoted); found != std::string::npos; found = text.find(quoted, found + 1)) {
        const size_t colon = skipSpaces(text, found + quoted.size());
        if (colon < text.size() && text[colon] == ':' && match(skipSpaces(text, colon + 1))) return true;
    }
    return false;
}

void addSampleLevels() {
    levelList.push_back({"Sample Level A", "sample_a.zip", 1, "Demo chill track"});
    levelList.push_back({"Sample Level B", "sample_b.zip", 2, "Medium intensity"});
    levelList.push_back({"Sample Level C", "sample_c.zip", 3, "Hard \u2013 lots of notes"});
}

}  // namespace

std::vector<LevelInfo> readLevelList(const std::string& text) {
    std::vector<LevelInfo> levels;
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open)) {
        const size_t close = text.find('}', open);
        if (close == std::string::npos) break;
        const std::string entry = text.substr(open, close - open + 1);
        LevelInfo         info{extractStringField(entry, "name"), extractStringField(entry, "file"),
                       extractIntField(entry, "difficulty", 1), extractStringField(entry, "description")};
        info.imported = extractTrueField(entry, "imported");
        if (!info.name.empty() && !info.file.empty()) levels.push_back(std::move(info));
        open = close + 1;
    }
    return levels;
}

std::string extractStringField(const std::string& text, const std::string& key) {
    std::string value;
    findValue(text, key, [&](size_t at) {
        if (at >= text.size() || text[at] != '"') return false;
        const size_t end = text.find('"', at + 1);
        if (end == std::string::npos || end == at + 1) return false;
        value = text.substr(at + 1, end - at - 1);
        return true;
    });
    return value;
}

// A digit run too long for an int32 keeps the default rather than ending the program.
int extractIntField(const std::string& text, const std::string& key, int fallback) {
    int value = fallback;
    findValue(text, key, [&](size_t at) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == at) return false;
        if (std::from_chars(text.data() + at, text.data() + end, value).ec != std::errc()) value = fallback;
        return true;
    });
    return value;
}

bool extractTrueField(const std::string& text, const std::string& key) {
    return findValue(text, key, [&](size_t at) { return text.compare(at, 4, "true") == 0; });
}

bool loadLevelList() {
    if (levelListLoaded) return !levelList.empty();
    levelListLoaded = true;

    size_t size = 0;
    void*  data = SDL_LoadFile("levels/levels.json", &size);
    if (data == nullptr || size == 0) {
        std::cerr << "Level list not found"
                  << "\n";
        SDL_free(data);
        addSampleLevels();
        return true;
    }
    const std::string text(static_cast<const char*>(data), size);
    SDL_free(data);
    levelList = readLevelList(text);
    if (levelList.empty()) {
        std::cerr << "Level list JSON parse produced no entries, filling fallback samples." << std::endl;
        addSampleLevels();
    }
    return true;
}

std::vector<std::string> levelListNames() {
    std::vector<std::string> names;
    for (const LevelInfo& level : levelList) names.push_back(level.name);
    return names;
}
