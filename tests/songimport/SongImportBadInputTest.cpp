// Songs the importer must refuse, or take with a remark: each ends with one
// clear line, and the levels folder (level list included) is byte for byte
// what it was, with nothing half-written left behind.
#include "midi/MidiFile.h"
#include "songimport/SongImport.h"
#include "support/FolderSnapshot.h"
#include "tests/songimport/SongFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <csignal>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

void writeSong(const fs::path& path, double seconds, float gain = 0.5f) {
    ASSERT_TRUE(songfiles::writeBeatSong(path, seconds, gain)) << path;
}

class SongImportBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("lumoka-import-test-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(levels() / "sample_a.zip");
        std::ofstream(levels() / "levels.json")
            << R"([{"name": "Sample Level A", "file": "sample_a.zip", "difficulty": 1}])";
        std::ofstream(levels() / "sample_a.zip" / "level.json") << R"({"stems": []})";
        writeSong(root_ / "song.wav", 12.0);
        before_ = testsupport::folderSnapshot(levels());
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path levels() const { return root_ / "levels"; }

    // Imports and expects a refusal naming `expected`, with the levels folder untouched.
    void expectRefused(std::vector<std::string> files, const std::string& expected, ImportProgress& progress) {
        SongImportRequest request;
        request.files                 = std::move(files);
        request.levelsDir             = levels().string();
        const SongImportResult result = importSong(request, progress);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.message.find(expected), std::string::npos) << result.message;
        EXPECT_EQ(result.message.find('\n'), std::string::npos) << result.message;
        EXPECT_EQ(testsupport::folderSnapshot(levels()), before_) << "after: " << result.message;
    }
    void expectRefused(std::vector<std::string> files, const std::string& expected) {
        ImportProgress progress;
        expectRefused(std::move(files), expected, progress);
    }

    fs::path                           root_;
    std::map<std::string, std::string> before_;
};

TEST_F(SongImportBadInput, RefusedFilesLeaveTheLevelsAsTheyWere) {
    writeSong(root_ / "silent.wav", 12.0, 0.0f);
    writeSong(root_ / "short.wav", 4.0);
    std::ofstream(root_ / "notes.wav") << "these are words, not sound";
    expectRefused({(root_ / "silent.wav").string()}, "silent.wav: it is silent");
    expectRefused({(root_ / "short.wav").string()}, "short.wav: it is 4.0 s long; a song needs at least 10 s");
    expectRefused({(root_ / "notes.wav").string()}, "notes.wav: not an audio format");
    expectRefused({(root_ / "gone.flac").string()}, "gone.flac: cannot be read");
    expectRefused({(root_ / "song.wav").string(), (root_ / "gone.flac").string()}, "gone.flac: cannot be read");
    expectRefused(std::vector<std::string>(9, (root_ / "song.wav").string()), "Cannot import 9 files");
    expectRefused({}, "Cannot import 0 files");
}

TEST_F(SongImportBadInput, CancelAtAnyPointLeavesNothingBehind) {
    ImportProgress before;
    before.cancel();
    expectRefused({(root_ / "song.wav").string()}, "Import cancelled", before);

    for (float at : {0.05f, 0.5f, 0.8f}) {
        ImportProgress    during;
        std::atomic<bool> finished{false};
        std::thread       canceller([&] {
            while (!finished && during.fraction() < at) std::this_thread::yield();
            during.cancel();
        });
        expectRefused({(root_ / "song.wav").string()}, "Import cancelled", during);
        finished = true;
        canceller.join();
    }
}

// A full disk, as the process sees it: every write past a size limit fails.
TEST_F(SongImportBadInput, AFullDiskLeavesTheLevelsAsTheyWere) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit     small           = old;
    small.rlim_cur             = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ImportProgress    progress;
    SongImportRequest request;
    request.files                 = {(root_ / "song.wav").string()};
    request.levelsDir             = levels().string();
    const SongImportResult result = importSong(request, progress);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(": cannot "), std::string::npos) << result.message;
    EXPECT_EQ(testsupport::folderSnapshot(levels()), before_) << result.message;
}

// Songs with hardly anything to hit: quiet noise (-66 dB RMS) and a steady tone.
TEST_F(SongImportBadInput, SongsWithTooFewNotesAreRefused) {
    ASSERT_TRUE(songfiles::writeSteadySong(root_ / "hiss.wav", 30.0, float(std::pow(10.0, -66.0 / 20.0) * std::sqrt(3.0))));
    ASSERT_TRUE(songfiles::writeSteadySong(root_ / "tone.wav", 30.0, 0.5f, 440.0));
    expectRefused({(root_ / "hiss.wav").string()}, "hiss.wav: its charts hold 0 notes in 30 s, fewer than one per 4 s");
    expectRefused({(root_ / "tone.wav").string()}, "fewer than one per 4 s of song");
    expectRefused({(root_ / "tone.wav").string(), (root_ / "hiss.wav").string()}, "fewer than one per 4 s of song");
}

// 40 s of silence, then a beat: the level starts 2 s before the first beat, every stem cut alike.
TEST_F(SongImportBadInput, ALongSilentIntroIsLeftOut) {
    ASSERT_TRUE(songfiles::writeBeatSong(root_ / "late.wav", 14.0, 0.5f, 0.0, 40.0));
    SongImportRequest request;
    request.files     = {(root_ / "late.wav").string()};
    request.levelsDir = levels().string();
    ImportProgress         progress;
    const SongImportResult result = importSong(request, progress);
    ASSERT_TRUE(result.ok) << result.message;
    double first = 1e9;
    for (const auto& entry : fs::directory_iterator(levels() / result.level.file)) {
        if (entry.path().extension() == ".flac") {
            SF_INFO  info{};
            SNDFILE* stem = sf_open(entry.path().c_str(), SFM_READ, &info);
            ASSERT_NE(stem, nullptr) << entry.path();
            EXPECT_NEAR(double(info.frames) / kRate, 16.0, 0.02) << entry.path();
            sf_close(stem);
        }
        if (entry.path().extension() != ".mid") continue;
        MidiFile midi;
        ASSERT_TRUE(loadMidiAsset(entry.path().string(), midi)) << entry.path();
        midi.computeEventTimes();
        midi.mergeTracks();
        for (int i = 0; i < midi.eventCount(0); ++i)
            if (midi.event(0, i).isNoteOn()) first = std::min(first, midi.event(0, i).seconds);
    }
    EXPECT_NEAR(first, 2.0, 0.05);  // the charts' own timing tolerance
}

// Stems of different lengths are not refused: the shorter get silence at the end, and a line says so.
TEST_F(SongImportBadInput, ShorterStemsArePaddedToTheLongest) {
    writeSong(root_ / "long.wav", 15.0);
    SongImportRequest request;
    request.files     = {(root_ / "long.wav").string(), (root_ / "song.wav").string()};
    request.levelsDir = levels().string();
    ImportProgress progress;
    testing::internal::CaptureStdout();
    const SongImportResult result = importSong(request, progress);
    const std::string      said   = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_NE(said.find("Padded " + (root_ / "song.wav").string() + " with 3.0 s of silence"), std::string::npos)
        << said;
    for (const auto& entry : fs::directory_iterator(levels() / result.level.file)) {
        if (entry.path().extension() == ".mid" || entry.path().extension() == ".json") continue;
        SF_INFO  info{};
        SNDFILE* stem = sf_open(entry.path().c_str(), SFM_READ, &info);
        ASSERT_NE(stem, nullptr) << entry.path();
        EXPECT_EQ(info.frames, 15 * kRate) << entry.path();
        sf_close(stem);
    }
}

}  // namespace
