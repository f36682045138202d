#include "level/LevelList.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <charconv>
#include <iostream>
#include <regex>

std::vector<LevelInfo> levelList;

namespace {

bool levelListLoaded = false;

void addSampleLevels() {
    levelList.push_back({"Sample Level A", "sample_a.zip", 1, "Demo chill track"});
    levelList.push_back({"Sample Level B", "sample_b.zip", 2, "Medium intensity"});
    levelList.push_back({"Sample Level C", "sample_c.zip", 3, "Hard \u2013 lots of notes"});
}

void addEntries(const std::string& text) {
    static const std::regex candidate(R"(\{[^}]*\})");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), candidate); it != std::sregex_iterator(); ++it) {
        const std::string entry = it->str();
        LevelInfo info{extractStringField(entry, "name"), extractStringField(entry, "file"),
                       extractIntField(entry, "difficulty", 1), extractStringField(entry, "description")};
        if (!info.name.empty() && !info.file.empty()) levelList.push_back(std::move(info));
    }
}

}  // namespace

std::string extractStringField(const std::string& text, const std::string& key) {
    const std::regex pattern("\"" + key + R"re("\s*:\s*"([^"]+)")re");
    std::smatch match;
    return std::regex_search(text, match, pattern) ? match[1].str() : std::string();
}

// A digit run too long for an int32 keeps the default rather than ending the program.
int extractIntField(const std::string& text, const std::string& key, int fallback) {
    const std::regex pattern("\"" + key + R"re("\s*:\s*([0-9]+))re");
    std::smatch match;
    if (!std::regex_search(text, match, pattern)) return fallback;
    const std::string digits = match[1].str();
    int value = fallback;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() ? value : fallback;
}

bool loadLevelList() {
    if (levelListLoaded) return !levelList.empty();
    levelListLoaded = true;

    size_t size = 0;
    void*  data = SDL_LoadFile("levels/levels.json", &size);
    if (data == nullptr || size == 0) {
        std::cerr << "Level list not found" << "\n";
        SDL_free(data);
        addSampleLevels();
        return true;
    }
    const std::string text(static_cast<const char*>(data), size);
    SDL_free(data);
    addEntries(text);
    if (levelList.empty()) {
        std::cerr << "Level list JSON parse produced no entries, filling fallback samples." << std::endl;
        addSampleLevels();
    }
    return true;
}
