// libFuzzer entry for the level list reader: reads arbitrary bytes as a level
// list and checks what must hold whatever the input. Inputs small enough for the
// standard regex engine are also read with the patterns themselves, and both
// readings must agree entry for entry.
// `level_list_fuzzer --write-seeds DIR` writes a corpus.
#include "level/LevelList.h"

#include "tests/support/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <string>

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Level list", what); }

std::regex stringPattern(const std::string& key) { return std::regex("\"" + key + R"re("\s*:\s*"([^"]+)")re"); }

std::string regexString(const std::string& text, const std::regex& pattern) {
    std::smatch match;
    return std::regex_search(text, match, pattern) ? match[1].str() : std::string();
}

int regexDifficulty(const std::string& text, int fallback) {
    static const std::regex pattern(R"re("difficulty"\s*:\s*([0-9]+))re");
    std::smatch             match;
    if (!std::regex_search(text, match, pattern)) return fallback;
    try {
        return std::stoi(match[1].str());
    } catch (const std::out_of_range&) {
        return fallback;
    }
}

std::vector<LevelInfo> regexLevelList(const std::string& text) {
    static const std::regex candidate(R"(\{[^}]*\})");
    static const std::regex name = stringPattern("name"), file = stringPattern("file"),
                            description = stringPattern("description");
    std::vector<LevelInfo> levels;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), candidate); it != std::sregex_iterator(); ++it) {
        const std::string entry = it->str();
        LevelInfo         info{regexString(entry, name), regexString(entry, file), regexDifficulty(entry, 1),
                       regexString(entry, description)};
        if (!info.name.empty() && !info.file.empty()) levels.push_back(info);
    }
    return levels;
}

fuzzsupport::Seeds seeds() {
    return {
        {"array.json",
         R"([{"name": "A", "file": "a.zip", "difficulty": 2, "description": "d"}, {"name":"B","file":"b"}])"},
        {"wrapped.json",
         R"({"levels": [{"file": "a", "name": "A"}, {"name": "B", "file": "b", "difficulty": 12345678901}]})"},
        {"odd.json",
         "{\"name\" :\n \"x\\\"y\", \"file\": \"\", \"file\": \"f\", \"difficulty\": 2.5}{\"name\": \"n\"}"},
        {"nested.json", R"([{"name": "A", "x": {"y": 1}, "file": "a"}, {"difficulty": -2, "name": "C", "file": "c"}])"},
    };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "level list", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string            text(reinterpret_cast<const char*>(data), size);
    const std::vector<LevelInfo> levels = readLevelList(text);
    for (const LevelInfo& level : levels) {
        check(!level.name.empty() && !level.file.empty(), "an entry without name or file");
        check(level.name.find('"') == std::string::npos && level.file.find('"') == std::string::npos,
              "a value holding a quote");
        check(level.difficulty >= 0, "a negative difficulty");
    }
    // The regex engine recurses per character; keep its inputs small.
    if (size <= 1024) {
        const std::vector<LevelInfo> expected = regexLevelList(text);
        check(levels.size() == expected.size(), "a different number of entries than the patterns give");
        for (size_t i = 0; i < levels.size(); ++i) {
            check(levels[i].name == expected[i].name && levels[i].file == expected[i].file &&
                      levels[i].difficulty == expected[i].difficulty &&
                      levels[i].description == expected[i].description,
                  "an entry that differs from the patterns' reading");
        }
    }
    return 0;
}
