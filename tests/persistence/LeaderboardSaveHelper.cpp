// Saves runs back to back until it is killed, for the kill -9 soak: after each
// save that reported success it prints "saved <level> <player> <score>".
// Usage: leaderboard_save_helper TAG (player names are TAG-<n>).
#include "game/GameLogic.h"
#include "leaderboard/LeaderboardDocument.h"
#include "persistence/Leaderboard.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    for (int n = 0;; ++n) {
        GameLogic game;
        game.levelName    = "Soak " + std::to_string(n % 4);
        game.playerName   = std::string(argv[1]) + "-" + std::to_string(n);
        game.highScore    = n + 1;
        game.maxLayers    = 8;
        game.highestLayer = 1;
        nlohmann::json document;
        if (Leaderboard::saveRun(game.levelName, game.leaderboardEntry(), document)) {
            std::printf("saved %s %s %d\n", game.levelName.c_str(), game.playerName.c_str(), game.highScore);
            std::fflush(stdout);
        }
    }
}
