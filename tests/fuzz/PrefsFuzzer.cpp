// libFuzzer entry for the preferences file's rules: reads arbitrary bytes as a
// prefs.json, reads both members, sets each in turn and checks that the written
// text is an object holding the new value and every member it had before.
// `prefs_fuzzer --write-seeds DIR` writes a corpus.
#include "persistence/Prefs.h"

#include "tests/support/FuzzSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

using nlohmann::json;

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Prefs", what); }

fuzzsupport::Seeds seeds() {
    return {
        {"defaults.json", "{\n    \"keyboardGameplay\": true,\n    \"playerName\": \"Player\"\n}"},
        {"extra.json", R"({"zeta": [1, {"a": null}], "playerName": "\u00dcn\u00efcode", "keyboardGameplay": false})"},
        {"wrong.json", R"({"playerName": "", "keyboardGameplay": "yes"})"},
        {"array.json", "[1, 2, 3]"},
        {"broken.json", "{\"playerName\": \"Ada"},
    };
}

// Setting key keeps every other member of an object that parsed.
void checkSave(const std::string& text, const char* key, const json& value) {
    std::string error;
    const json  saved = json::parse(Prefs::withMember(text, key, value, error), nullptr, false);
    check(saved.is_object(), "a save that does not write an object");
    check(saved.contains(key), "a save without its member");
    const json before = json::parse(text, nullptr, false);
    if (!before.is_object()) return;
    for (const auto& [name, old] : before.items())
        if (name != key) check(saved.contains(name) && saved[name] == old, "a save that lost another member");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "prefs", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string       error;
    const json        name = Prefs::memberOf(text, "playerName", error);
    Prefs::memberOf(text, "keyboardGameplay", error);
    checkSave(text, "keyboardGameplay", json(false));
    // The stored name, cut anywhere, must still save: the edit field cuts names.
    const std::string stored = name.is_string() ? name.get<std::string>() : text.substr(0, 63);
    checkSave(text, "playerName", json(stored.substr(0, size % 64)));
    return 0;
}
