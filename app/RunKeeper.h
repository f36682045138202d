// What happens to a finished run, off the main thread: its replay written as
// levels/replays/last.lrp, the leaderboard saved (and the best replay of the
// player on the level replaced exactly when the leaderboard's best is), the
// upload started, and the replay judged again, with one line when it does not
// earn what the run did. The frame only hands the run over; shutdown finishes
// every run handed over before it returns.
#pragma once

#include "judge/Replay.h"
#include "leaderboard/LeaderboardDocument.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

inline constexpr const char* kReplayFolder = "levels/replays";

struct FinishedRun {
    std::string              levelName;
    std::string              levelFolder;  // the package folder's name, for the best replay's folder
    LeaderboardEntry         entry;
    bool                     runIsBest = false;  // the run itself holds the entry's score
    Replay                   replay;
    std::vector<JudgeStem>   stems;       // the charts the run was judged on
    std::vector<std::string> levelFiles;  // manifest and charts, for the level's hash
};

class RunKeeper {
public:
    RunKeeper() = default;
    ~RunKeeper();
    RunKeeper(const RunKeeper&)            = delete;
    RunKeeper& operator=(const RunKeeper&) = delete;

    void keep(FinishedRun run);  // main thread; returns at once
    void shutdown();             // finishes what was handed over, then joins

private:
    void work();

    std::mutex               mutex_;
    std::condition_variable  wake_;
    std::deque<FinishedRun>  queue_;           // guarded by mutex_
    bool                     stopping_ = false;  // guarded by mutex_
    std::thread              worker_;
};

std::string bestReplayPath(const std::string& levelFolder, const std::string& player);
void        finishRun(FinishedRun& run);  // what the worker does with one run
