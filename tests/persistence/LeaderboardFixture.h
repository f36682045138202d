// A working folder with levels/ for the leaderboard file, the client pointed at a
// port where no server listens (unless a test points it elsewhere), and the
// upload workers a save starts finished before the folder goes.
#pragma once

#include "game/GameFixture.h"
#include "game/GameLogic.h"
#include "leaderboard/LeaderboardDocument.h"
#include "net/HttpDatabase.h"
#include "persistence/Leaderboard.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

inline constexpr const char* kNoServer = "http://127.0.0.1:1/api";

class LeaderboardFolder : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::create_directories(dir.path() / "levels");
        std::filesystem::current_path(dir.path());
        HttpDatabase::baseUrl = kNoServer;
        HttpDatabase::useLocalCopy({Leaderboard::loadLocal, Leaderboard::loadLocalScore, Leaderboard::mergeIntoFile});
        capture([] { HttpDatabase::init(); });
        leaderboardLevels.clear();
        Leaderboard::takeLoadedLevels();
    }

    void TearDown() override {
        capture([] { HttpDatabase::shutdown(); });
        std::filesystem::current_path(previous);
    }

    std::filesystem::path file() const { return dir.path() / Leaderboard::kFilePath; }
    std::string           fileText() const { return testsupport::readFile(file()); }
    nlohmann::json        fileDocument() const { return nlohmann::json::parse(fileText()); }
    void                  writeLeaderboard(const std::string& text) const { testsupport::writeFile(file(), text); }

    // A finished run as the exit button hands it over.
    static GameLogic run(const std::string& level, const std::string& player, int32_t best, double seconds = 61.7,
                         int32_t layer = 3, int32_t maxLayers = 8, int32_t combo = 12) {
        GameLogic game;
        game.levelName    = level;
        game.playerName   = player;
        game.highScore    = best;
        game.streamTime   = seconds;
        game.highestLayer = layer;
        game.maxLayers    = maxLayers;
        game.highestCombo = combo;
        return game;
    }

    // As the exit button has it: the run is saved, then the whole file uploaded.
    static bool saveAndUpload(const GameLogic& game) {
        nlohmann::json upload;
        const bool     written = Leaderboard::saveRun(game.levelName, game.leaderboardEntry(), upload);
        if (!upload.is_null()) HttpDatabase::uploadLeaderboardAsync(std::move(upload));
        return written;
    }

    CapturedOutput save(const GameLogic& game) {
        return capture([&] { saved = saveAndUpload(game); });
    }

    testsupport::TempDir  dir;
    std::filesystem::path previous;
    bool                  saved = false;
};
