// libFuzzer entry for the leaderboard document: reads arbitrary bytes as one
// document (or, split at a NUL byte, as a local file and a server copy), turns it
// into the panel's list, merges one into the other, and stops on anything that
// must hold whatever the input (sanitizers catch the reads and the undefined
// behaviour). `leaderboard_document_fuzzer --write-seeds DIR` writes a corpus.
#include "leaderboard/LeaderboardDocument.h"

#include "tests/support/FuzzSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using nlohmann::json;

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Leaderboard document", what); }

json parseOrNull(std::string_view text) {
    json document = json::parse(text, nullptr, false);
    return document.is_discarded() ? json() : document;
}

bool sameLevels(const std::vector<LeaderboardLevel>& a, const std::vector<LeaderboardLevel>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].scores.size() != b[i].scores.size()) return false;
        for (size_t j = 0; j < a[i].scores.size(); ++j) {
            const LeaderboardEntry& x = a[i].scores[j];
            const LeaderboardEntry& y = b[i].scores[j];
            if (x.player != y.player || x.score != y.score || x.time != y.time || x.highestLayer != y.highestLayer ||
                x.highestCombo != y.highestCombo) {
                return false;
            }
        }
    }
    return true;
}

fuzzsupport::Seeds seeds() {
    return {
        {"empty.json", "{}"},
        {"one.json",
         R"({"levels": [{"name": "Song A", "scores": [{"highestCombo": 12, "highestLayer": "3/8", "player": "Ann", "score": 1234, "time": 61}]}]})"},
        {"defaults.json",
         R"({"levels": [{"name": "A", "scores": [{"player": "Ann", "score": 12.9}, {"player": "Bob", "score": true}]}]})"},
        {"odd.json",
         R"({"owner": 1, "levels": [7, {"name": 5}, {"name": "B", "scores": "x"}, {"name": "C", "scores": [1, {"player": 2}]}]})"},
        {"merge.json",
         std::string(
             R"({"levels": [{"name": "A", "scores": [{"player": "Ann", "score": 5}, {"player": "Bob", "score": "x"}]}]})") +
             '\0' +
             R"({"levels": [{"name": "A", "scores": [{"player": "Bob", "score": 9}, {"player": "Ann", "score": 1e12}]}, {"name": "B", "scores": [{"player": "Cy", "score": -4}]}]})"},
        {"big.json",
         R"({"levels": [{"name": "A", "scores": [{"player": "Ann", "score": 18446744073709551615, "time": -9e300, "highestCombo": 1e300}]}]})"},
    };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "leaderboard", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t           cut      = input.find('\0');
    const json             local    = parseOrNull(input.substr(0, cut));
    const json             incoming = cut == std::string_view::npos ? local : parseOrNull(input.substr(cut + 1));

    std::vector<std::string>            problems, none;
    const std::vector<LeaderboardLevel> levels = readLeaderboardLevels(incoming, problems);
    check(sameLevels(readLeaderboardLevels(leaderboardDocument(levels), none), levels) && none.empty(),
          "the list written as a document reads back the same");

    json merged = local;
    mergeLeaderboards(merged, incoming);
    check(merged.is_object() && merged["levels"].is_array(), "a merged document has a levels list");
    check(!holdsScoresMissingFrom(incoming, merged), "every incoming entry is kept at its best");
    check(mergeLeaderboards(merged, incoming) == 0, "merging the same copy again changes nothing");
    const std::string text = merged.dump(4, ' ', false, json::error_handler_t::replace);
    check(json::parse(text) == merged, "the written file reads back as the document");
    return 0;
}
