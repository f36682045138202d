// Makes a level out of the player's own music: one mixed file (split into
// drums, bass and the rest) or two to eight stem files (each one stem, in the
// order given, the first unlocking first). Decodes, charts every stem from
// its own audio, writes the package (stems, one MIDI file each, level.json)
// and installs it under the levels folder with its level-list entry. Runs on
// whatever thread calls it, using both cores for the stems; the GUI's worker
// and the lumoka-import command are its callers. Source files are only read.
#pragma once

#include "level/LevelList.h"
#include "songimport/Charting.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

inline constexpr int    kMaxSongFiles        = 8;
inline constexpr double kShortestSongSeconds = 10.0;

struct SongImportRequest {
    std::vector<std::string> files;
    std::string              title;  // empty: the first file's name without its extension
    Difficulty               difficulty = Difficulty::Normal;
    std::string              levelsDir  = "levels";
};

// What the import is doing now, for a progress bar; and its Cancel button.
class ImportProgress {
public:
    void        report(const std::string& step, float fraction);
    std::string step() const;
    float       fraction() const { return fraction_.load(); }
    void        cancel() { cancelled_.store(true); }
    bool        cancelled() const { return cancelled_.load(); }

private:
    mutable std::mutex mutex_;
    std::string        step_ = "Starting";
    std::atomic<float> fraction_{0.0f};
    std::atomic<bool>  cancelled_{false};
};

struct SongImportResult {
    bool        ok = false;
    std::string message;  // one line: why it failed, or what was added
    LevelInfo   level;    // the level list's new entry
    float       bpm = 0.0f;
};

SongImportResult importSong(const SongImportRequest& request, ImportProgress& progress);
std::string      defaultSongTitle(const std::string& path);  // file name without its extension
