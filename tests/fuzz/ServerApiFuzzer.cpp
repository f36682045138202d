// libFuzzer entry for the leaderboard server's request handler: the first byte
// picks the method, the rest up to a line break is the target and the remainder
// the body. Each input meets a fresh in-memory database holding a few scores.
// Whatever the request, the reply is a JSON object with a status we answer with,
// a refusal changes nothing, and an accepted upload leaves every valid sent score
// stored at least as high. `server_api_fuzzer --write-seeds DIR` writes a corpus.
#include "server/Api.h"
#include "server/SqliteStore.h"

#include "tests/support/FuzzSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using nlohmann::json;

namespace {

constexpr const char* kMethods[] = {"GET", "POST", "PUT", "DELETE"};
constexpr const char* kSeeded =
    R"({"levels": [{"name": "Song A", "scores": [{"player": "Ann", "score": 50, "time": 3, "highestLayer": "2/8", "highestCombo": 4}, {"player": "Bob", "score": 7}]}, {"name": "a/b %", "scores": [{"player": "Zoë", "score": 9}]}]})";

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Server request", what); }

fuzzsupport::Seeds seeds() {
    return {
        {"get", std::string(1, '\0') + "/api/leaderboard\n"},
        {"player", std::string(1, '\0') + "/api/player/Song%20A/Ann\n"},
        {"encoded", std::string(1, '\0') + "/api/player/a%2Fb%20%25/Zo%C3%AB\n"},
        {"upload", std::string(1, '\1') + "/api/leaderboard\n" + kSeeded},
        {"raise",
         std::string(1, '\1') + "/api/leaderboard\n" +
             R"({"levels": [{"name": "Song A", "scores": [{"player": "Bob", "score": 70, "time": 9}, {"player": "Ann", "score": 10}]}]})"},
        {"bad", std::string(1, '\1') + "/api/leaderboard\n" +
                    R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": -1}]}]})"},
        {"put", std::string(1, '\2') + "/api/leaderboard?x=1\n{}"},
    };
}

std::string everything(LeaderboardStore& store) { return handleApiRequest(store, "GET", "/api/leaderboard", "").body; }

void checkStored(LeaderboardStore& store, const std::string& body) {
    Upload      sent;
    std::string error;
    check(readUpload(body, UploadLimits(), sent, error), "an accepted upload is a leaderboard document");
    for (const LeaderboardLevel& level : sent.levels) {
        for (const LeaderboardEntry& entry : level.scores) {
            int32_t stored = -1;
            check(store.playerScore(level.name, entry.player, stored) == StoreStatus::Ok && stored >= entry.score,
                  "every score of an accepted upload is stored at least as high");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "request", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string      method = kMethods[data[0] % 4];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t           lineEnd = rest.find('\n');
    const std::string      target(rest.substr(0, lineEnd));
    const std::string      body(lineEnd == std::string_view::npos ? std::string_view() : rest.substr(lineEnd + 1));

    std::string error;
    const auto  store = openSqliteStore(":memory:", 1, error);
    check(store != nullptr, "an in-memory database opens");
    check(handleApiRequest(*store, "POST", "/api/leaderboard", kSeeded).status == 200, "the seed upload is taken");
    const std::string before = everything(*store);

    const ApiReply reply  = handleApiRequest(*store, method, target, body);
    const json     answer = json::parse(reply.body, nullptr, false);
    check(answer.is_object(), "every reply is a JSON object");
    check(
        reply.status == 200 || reply.status == 400 || reply.status == 404 || reply.status == 405 || reply.status == 413,
        "a status we answer with (never a storage failure here)");
    if (reply.status != 200) {
        check(answer.value("success", true) == false && answer.contains("error") && answer["error"].is_string(),
              "a refusal says why");
        check(everything(*store) == before, "a refusal changes nothing");
    } else if (method == "POST") {
        checkStored(*store, body);
    } else if (answer.contains("score")) {
        check(answer["score"].is_number_integer() && answer["score"].get<int64_t>() >= 0, "a stored score is a count");
    } else if (target.find('?') == std::string::npos) {
        check(json::parse(everything(*store)) == answer, "the leaderboard reply is the stored document");
    } else {
        check(answer.contains("levels") && answer["levels"].is_array(), "a page of the leaderboard is a document");
    }
    return 0;
}
