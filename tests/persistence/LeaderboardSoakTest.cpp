// The kill -9 soak: a helper process saves runs back to back and is killed at a
// random moment, hundreds of times. After every kill levels/leaderboard.json must
// parse, and in the end it must hold every run that had been reported saved.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <map>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr int kKills = 300;

struct ReportedRun {
    std::string level;
    int         score = 0;
};

TEST(LeaderboardSoak, KilledSavesNeverLoseOrTearTheFile) {
    testsupport::TempDir dir;
    fs::create_directories(dir.path() / "levels");
    const fs::path                     file = dir.path() / "levels" / "leaderboard.json";
    std::mt19937                       random(20240611);
    std::uniform_int_distribution<int> delayMs(3, 60);
    std::map<std::string, ReportedRun> reported;  // by player, each player saves once
    int                                killedMidWrite = 0;

    for (int kill = 0; kill < kKills; ++kill) {
        testsupport::GameProcess helper(LEADERBOARD_SAVE_HELPER, {"k" + std::to_string(kill)}, dir.path(),
                                        {{"LUMOKA_SERVER_URL", "http://127.0.0.1:1/api"}});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        helper.signal(SIGKILL);
        const testsupport::ProcessResult result = helper.wait(10s);
        std::istringstream               lines(result.out);
        std::string                      line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string        word, level, index, player;
            int                score = 0;
            if (words >> word >> level >> index >> player >> score && word == "saved") {
                reported[player] = {level + " " + index, score};
            }
        }
        ASSERT_TRUE(fs::exists(file) || reported.empty()) << "after kill " << kill;
        if (!fs::exists(file)) continue;
        const json document = json::parse(testsupport::readFile(file), nullptr, false);
        ASSERT_TRUE(document.is_object()) << "torn or unreadable file after kill " << kill;
        for (const auto& item : fs::directory_iterator(dir.path() / "levels")) {
            if (item.path().extension() == ".tmp") {
                ++killedMidWrite;
                fs::remove(item.path());
            }
        }
    }

    const json                                         document = json::parse(testsupport::readFile(file));
    std::map<std::string, std::pair<std::string, int>> stored;
    for (const json& level : document["levels"]) {
        for (const json& entry : level["scores"]) stored[entry["player"]] = {level["name"], entry["score"]};
    }
    for (const auto& [player, run] : reported) {
        ASSERT_TRUE(stored.contains(player)) << player << " was reported saved but is missing";
        EXPECT_EQ(stored[player], std::make_pair(run.level, run.score)) << player;
    }
    for (const auto& item : fs::directory_iterator(dir.path() / "levels")) {
        EXPECT_EQ(item.path().filename().string().find("corrupt"), std::string::npos) << "a save found a torn file";
    }
    EXPECT_GT(reported.size(), static_cast<size_t>(kKills)) << "the helper hardly saved between kills";
    std::cout << "[soak] " << kKills << " kills, " << reported.size() << " runs reported saved, all kept; "
              << killedMidWrite << " kills landed between writing the temporary file and renaming it\n";
}

}  // namespace
