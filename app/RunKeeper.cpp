#include "app/RunKeeper.h"

#include "net/HttpDatabase.h"
#include "persistence/FileSave.h"
#include "persistence/Leaderboard.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

// Names may hold anything a player types; the file name spells its bytes.
std::string safeFileName(const std::string& name) {
    std::string out;
    char        hex[3];
    for (const unsigned char c : name) {
        std::snprintf(hex, sizeof hex, "%02x", c);
        out += hex;
    }
    return out.empty() ? "00" : out;
}

bool writeReplay(const std::string& path, const std::string& bytes) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error || !saveFileReplacing(path, bytes)) {
        std::cerr << "Failed to save the replay " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

std::string bestReplayPath(const std::string& levelFolder, const std::string& player) {
    return std::string(kReplayFolder) + "/" + levelFolder + "/" + safeFileName(player) + ".lrp";
}

void finishRun(FinishedRun& run) {
    if (!hashLevelFiles(run.levelFiles, run.replay.levelHash))
        std::cerr << "Could not read the level's files for its replay's hash\n";
    const std::string bytes = encodeReplay(run.replay);
    writeReplay(std::string(kReplayFolder) + "/last.lrp", bytes);

    nlohmann::json upload;
    const auto     replaceBest = [&] {
        if (run.runIsBest && !run.levelFolder.empty())
            writeReplay(bestReplayPath(run.levelFolder, run.replay.player), bytes);
    };
    Leaderboard::saveRun(run.levelName, run.entry, upload, replaceBest);
    if (!upload.is_null()) HttpDatabase::uploadLeaderboardAsync(std::move(upload));

    const RunResult again = rejudge(run.replay, std::move(run.stems));
    if (again != run.replay.claimed)
        std::cout << "Replay check: the run scored " << run.replay.claimed.score << ", its replay " << again.score
                  << " (first difference: " << firstDifference(run.replay.claimed, again) << ")" << std::endl;
}

RunKeeper::~RunKeeper() { shutdown(); }

void RunKeeper::keep(FinishedRun run) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(run));
        stopping_ = false;
    }
    wake_.notify_one();
    if (!worker_.joinable()) worker_ = std::thread(&RunKeeper::work, this);
}

void RunKeeper::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void RunKeeper::work() {
    for (;;) {
        FinishedRun run;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, with nothing left to keep
            run = std::move(queue_.front());
            queue_.pop_front();
        }
        finishRun(run);
    }
}
