// Level manifests: what is read from each stem entry and the song data, the
// messages for bad files, and what loading installs (stems, slots, tempo).
// Audio and MIDI files are generated per test in a temporary working folder.
#include "app/App.h"
#include "level/LevelManifest.h"
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Manifest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        fs::current_path(dir.path());
        app.game.reset(8);
    }
    void TearDown() override { fs::current_path(previous); }

    void write(const std::string& name, const std::string& text) { testsupport::writeFile(dir.path() / name, text); }

    bool parse(const std::string& text) {
        write("level.json", text);
        entries.clear();
        ::testing::internal::CaptureStderr();
        const bool ok = parseLevelManifest("level.json", entries, app.game.bpm);
        err           = ::testing::internal::GetCapturedStderr();
        return ok;
    }

    bool load(const std::string& path) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const bool ok = loadLevelManifest(path, app.audio, app.render, app.game);
        out           = ::testing::internal::GetCapturedStdout();
        err           = ::testing::internal::GetCapturedStderr();
        return ok;
    }

    void markSlots(float value) {
        for (size_t i = 0; i < kStemSlots; ++i) {
            app.render.stemBase[i] = value;
            app.render.stemPeak[i].store(value);
            app.render.stemLerpSpeed[i] = value;
            app.render.stemColor[i]     = {value, value, value, 1.0f};
        }
    }

    std::vector<std::string> stemNames() const {
        std::vector<std::string> names;
        for (const Stem& stem : app.audio.stems) names.push_back(stem.name);
        return names;
    }

    testsupport::TempDir   dir;
    fs::path               previous;
    App                    app;
    std::vector<StemEntry> entries;
    std::string            out;
    std::string            err;
};

TEST_F(Manifest, MissingMembersTakeTheDefaults) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": "a.wav"}]})"));
    ASSERT_EQ(entries.size(), 1u);
    const StemEntry& entry = entries[0];
    EXPECT_EQ(entry.file, "a.wav");
    EXPECT_EQ(entry.midi, "");
    EXPECT_EQ(entry.startOrder, 0);
    EXPECT_TRUE(entry.playsNotes);
    EXPECT_EQ(entry.base, 1.0f);
    EXPECT_EQ(entry.peak, 2.0f);
    EXPECT_EQ(entry.lerpSpeed, 18.0f);
    EXPECT_EQ(entry.red + entry.green + entry.blue, 3.0f);
    EXPECT_EQ(app.game.bpm, 120.0f);
    EXPECT_TRUE(err.empty());
}

TEST_F(Manifest, EveryMemberIsRead) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": "a.wav", "midi": "a.mid", "startOrder": 4, "playsNotes": false,
        "instrument": "harp", "animation": {"base": 0.5, "peak": 3, "lerpSpeed": 9},
        "color": [0.1, 0.2, 0.3]}]})"));
    const StemEntry& entry = entries[0];
    EXPECT_EQ(entry.midi, "a.mid");
    EXPECT_EQ(entry.startOrder, 4);
    EXPECT_FALSE(entry.playsNotes);
    EXPECT_EQ(entry.instrument, "harp");
    EXPECT_EQ(entry.base, 0.5f);
    EXPECT_EQ(entry.peak, 3.0f);
    EXPECT_EQ(entry.lerpSpeed, 9.0f);
    EXPECT_FLOAT_EQ(entry.green, 0.2f);
}

TEST_F(Manifest, PartialAnimationAndWrongLengthColourKeepTheirDefaults) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": "a.wav", "animation": {"peak": 3}, "color": [1, 0]},
                                     {"file": "b.wav", "color": "red"}]})"));
    EXPECT_EQ(entries[0].base, 1.0f);
    EXPECT_EQ(entries[0].peak, 3.0f);
    EXPECT_EQ(entries[0].lerpSpeed, 18.0f);
    EXPECT_EQ(entries[0].green, 1.0f);
    EXPECT_EQ(entries[1].green, 1.0f);
    EXPECT_TRUE(err.empty());
}

TEST_F(Manifest, EntriesAreSortedByStartOrderKeepingFileOrderOfEqualValues) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": "two", "startOrder": 2}, {"file": "zero", "startOrder": 0},
        {"file": "one-a", "startOrder": 1}, {"file": "one-b", "startOrder": 1}, {"file": "first"}]})"));
    std::vector<std::string> files;
    for (const StemEntry& entry : entries) files.push_back(entry.file);
    EXPECT_EQ(files, (std::vector<std::string>{"zero", "first", "one-a", "one-b", "two"}));
}

TEST_F(Manifest, BadElementsAreReportedAndDroppedAndEmptyFilesDroppedSilently) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": 3}, {"file": "a.wav", "color": [1, "red", 0]}, "b.wav",
        {"file": "c.wav", "startOrder": "late"}, {"file": ""}, {"midi": "x.mid"}, {"file": "ok.wav"}]})"));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].file, "ok.wav");
    size_t reports = 0;
    for (size_t at = err.find("Error reading stem entry: "); at != std::string::npos;
         at        = err.find("Error reading stem entry: ", at + 1))
        ++reports;
    EXPECT_EQ(reports, 4u) << err;
}

TEST_F(Manifest, StartOrderOutsideInt32IsABadElement) {
    ASSERT_TRUE(parse(R"({"stems": [{"file": "big.wav", "startOrder": 2147483648}, {"file": "low.wav",
        "startOrder": -2147483649}, {"file": "far.wav", "startOrder": 1e20}, {"file": "edge.wav",
        "startOrder": 2147483647}, {"file": "first.wav", "startOrder": -2147483648.5}]})"));
    std::vector<std::string> files;
    for (const StemEntry& entry : entries) files.push_back(entry.file);
    EXPECT_EQ(files, (std::vector<std::string>{"first.wav", "edge.wav"}));
    EXPECT_NE(err.find("Error reading stem entry: \"startOrder\" 2147483648 is outside the int32 range\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Error reading stem entry: \"startOrder\" 1e+20 is outside"), std::string::npos) << err;
    EXPECT_NE(err.find("-2147483649 is outside"), std::string::npos) << err;
}

TEST_F(Manifest, SongTempoComesFromTheFirstSongDataElementOrTheTopLevel) {
    ASSERT_TRUE(parse(R"({"bpm": 100, "stems": [{"file": "a.wav"}]})"));
    EXPECT_EQ(app.game.bpm, 100.0f);
    ASSERT_TRUE(parse(R"({"bpm": 100, "songMetaData": [], "stems": [{"file": "a.wav"}]})"));
    EXPECT_EQ(app.game.bpm, 100.0f);
    ASSERT_TRUE(parse(R"({"bpm": 100, "songMetaData": [{"bpm": 90}, {"bpm": 80}], "stems": [{"file": "a.wav"}]})"));
    EXPECT_EQ(app.game.bpm, 90.0f);
    ASSERT_TRUE(parse(R"({"bpm": 100, "songMetaData": [{"title": "x"}], "stems": [{"file": "a.wav"}]})"));
    EXPECT_EQ(app.game.bpm, 120.0f);
}

TEST_F(Manifest, UnreadableSongTempoIsReportedAndTakesTheDefault) {
    for (const char* text : {R"({"songMetaData": [5], "stems": [{"file": "a.wav"}]})",
                             R"({"songMetaData": [{"bpm": "fast"}], "stems": [{"file": "a.wav"}]})",
                             R"({"bpm": [120], "stems": [{"file": "a.wav"}]})"}) {
        app.game.bpm = 77.0f;
        EXPECT_TRUE(parse(text)) << text;
        EXPECT_EQ(app.game.bpm, 120.0f) << text;
        EXPECT_EQ(err.rfind("Error reading song BPM: ", 0), 0u) << text << "\n" << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line";
        EXPECT_EQ(entries.size(), 1u);
    }
}

TEST_F(Manifest, UnusableFilesAreReportedAndRejected) {
    EXPECT_FALSE(parseLevelManifest("missing.json", entries, app.game.bpm));
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Failed to read level JSON: level.json"},
        {"{\"stems\": [", "JSON parse error in level.json: "},
        {"[1, 2]", "Invalid level JSON: missing 'stems' array"},
        {R"({"levels": []})", "Invalid level JSON: missing 'stems' array"},
        {R"({"stems": {"file": "a.wav"}})", "Invalid level JSON: missing 'stems' array"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(parse(c.text)) << c.text;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.text << "\n" << err;
    }
}

TEST_F(Manifest, NoUsableEntryFailsButTheTempoIsAlreadyTaken) {
    EXPECT_FALSE(parse(R"({"bpm": 95, "stems": [{"file": ""}]})"));
    EXPECT_EQ(app.game.bpm, 95.0f);
}

class ManifestLoad : public Manifest {
protected:
    void SetUp() override {
        Manifest::SetUp();
        for (const char* name : {"a.wav", "b.wav", "c.wav", "levels/a.wav", "levels/b.wav"})
            levelfiles::writeWav(dir.path() / name, 0.5);
        levelfiles::writeMidi(dir.path() / "levels/a.mid", {{0.5, 0.25, 60, 100}, {1.0, 0.5, 64, 90, 1}});
    }
};

// The files beside levels/ exist: only the rule keeps them from being read.
TEST_F(ManifestLoad, PathsReachingOutsideTheLevelsFolderAreRefused) {
    write("levels/level.json", R"({"stems": [{"file": "../a.wav"}, {"file": "a.wav", "midi": "../levels/a.mid"},
        {"file": "/etc/passwd"}, {"file": "b.wav"}]})");
    ASSERT_TRUE(load("levels/level.json")) << err;
    EXPECT_EQ(stemNames(), (std::vector<std::string>{"b.wav"}));
    for (const char* path : {"../a.wav", "../levels/a.mid", "/etc/passwd"})
        EXPECT_NE(err.find(std::string("Refused a path outside the level's folder: ") + path), std::string::npos)
            << err;
}

TEST_F(ManifestLoad, StemsComeFromTheManifestsFolderInStartOrder) {
    write("levels/level.json", R"({"stems": [
        {"file": "b.wav", "startOrder": 1}, {"file": "a.wav", "midi": "a.mid", "startOrder": 0}]})");
    ASSERT_TRUE(load("levels/level.json")) << err;
    EXPECT_EQ(stemNames(), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_EQ(app.audio.stems[1].index, 1u);
    EXPECT_NE(out.find("Loading stem: levels/a.wav"), std::string::npos) << out;
    EXPECT_NE(out.find("Loaded 2 stem(s) from level JSON: levels/level.json"), std::string::npos);
    EXPECT_TRUE(app.audio.stems[0].midi.loaded);
    EXPECT_FALSE(app.audio.stems[1].midi.loaded);
}

TEST_F(ManifestLoad, AManifestPathWithoutAFolderLoadsFilesAsWritten) {
    write("level.json", R"({"stems": [{"file": "c.wav"}]})");
    ASSERT_TRUE(load("level.json")) << err;
    EXPECT_NE(out.find("Loading stem: c.wav"), std::string::npos) << out;
}

TEST_F(ManifestLoad, OnlyTheFirstEightEntriesLoad) {
    std::string stems;
    for (int i = 0; i < 10; ++i)
        stems += std::string(i ? "," : "") + R"({"file": "a.wav", "startOrder": )" + std::to_string(9 - i) +
                 R"(, "animation": {"base": 1.5}})";
    write("level.json", R"({"stems": [)" + stems + "]}");
    markSlots(7.0f);
    ASSERT_TRUE(load("level.json")) << err;
    EXPECT_EQ(app.audio.stems.size(), 8u);
    for (size_t i = 0; i < kStemSlots; ++i) EXPECT_EQ(app.render.stemBase[i], 1.5f) << "slot " << i;
}

TEST_F(ManifestLoad, AFailedStemMovesTheNextUpAndLaterSlotsAreReset) {
    write("level.json", R"({"stems": [
        {"file": "a.wav", "animation": {"peak": 4}, "color": [1, 0, 0]},
        {"file": "gone.wav"},
        {"file": "b.wav", "animation": {"base": 0.5, "lerpSpeed": 6}, "color": [0, 1, 0]}]})");
    markSlots(7.0f);
    ASSERT_TRUE(load("level.json"));
    EXPECT_EQ(stemNames(), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_NE(err.find("Failed to load stem: gone.wav"), std::string::npos) << err;
    EXPECT_EQ(app.render.stemPeak[0].load(), 4.0f);
    EXPECT_EQ(app.render.stemColor[0], (std::array<float, 4>{1, 0, 0, 1}));
    EXPECT_EQ(app.render.stemBase[1], 0.5f);
    EXPECT_EQ(app.render.stemValue[1], 0.5f);
    EXPECT_EQ(app.render.stemTarget[1].load(), 0.5f);
    EXPECT_EQ(app.render.stemLerpSpeed[1], 6.0f);
    EXPECT_EQ(app.render.stemColor[1], (std::array<float, 4>{0, 1, 0, 1}));
    EXPECT_EQ(app.render.stemBase[2], 7.0f) << "slot 2 keeps its earlier values";
    for (size_t i = 3; i < kStemSlots; ++i) {
        EXPECT_EQ(app.render.stemBase[i], 1.0f);
        EXPECT_EQ(app.render.stemPeak[i].load(), 2.0f);
        EXPECT_EQ(app.render.stemLerpSpeed[i], 18.0f);
        EXPECT_EQ(app.render.stemColor[i][0], 7.0f) << "colours are left as they were";
    }
}

TEST_F(ManifestLoad, StemThatPlaysNoNotesNeverOpensItsMidi) {
    write("levels/level.json", R"({"stems": [{"file": "a.wav", "midi": "a.mid", "playsNotes": false}]})");
    ASSERT_TRUE(load("levels/level.json"));
    EXPECT_EQ(out.find("Loading MIDI file"), std::string::npos) << out;
    EXPECT_FALSE(app.audio.stems[0].midi.loaded);
}

TEST_F(ManifestLoad, ChartIsScaledToTheSongTempo) {
    write("levels/level.json", R"({"songMetaData": [{"bpm": 100}], "stems": [{"file": "a.wav", "midi": "a.mid"}]})");
    ASSERT_TRUE(load("levels/level.json")) << err;
    const auto& events = app.audio.stems[0].midi.events;
    ASSERT_FALSE(events.empty());
    EXPECT_NEAR(events.front().time, 0.5 * 1.2, 1e-4);
    EXPECT_EQ(app.audio.bpm, 100.0f);
}

TEST_F(ManifestLoad, ANonPositiveSongTempoLeavesTheChartsTheirOwnTiming) {
    for (const char* bpm : {"0", "-90"}) {
        write("levels/level.json", std::string(R"({"songMetaData": [{"bpm": )") + bpm +
                                       R"(}], "stems": [{"file": "a.wav", "midi": "a.mid"}]})");
        ASSERT_TRUE(load("levels/level.json")) << err;
        const auto& events = app.audio.stems[0].midi.events;
        ASSERT_FALSE(events.empty());
        EXPECT_NEAR(events.front().time, 0.5, 1e-4) << "the file's own 120 BPM timing";
        EXPECT_NE(err.find("Cannot scale MIDI timing"), std::string::npos) << err;
    }
}

TEST_F(ManifestLoad, StemWhoseChartFailsStaysWithoutItAndWithoutItsSlot) {
    write("levels/level.json", R"({"stems": [{"file": "a.wav", "midi": "none.mid",
        "animation": {"base": 3}}, {"file": "b.wav", "animation": {"base": 4}}]})");
    markSlots(7.0f);
    ASSERT_TRUE(load("levels/level.json"));
    EXPECT_EQ(stemNames(), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_NE(err.find("Failed to load stem: a.wav"), std::string::npos) << err;
    EXPECT_FALSE(app.audio.stems[0].midi.loaded);
    EXPECT_EQ(app.render.stemBase[0], 7.0f);
    EXPECT_EQ(app.render.stemBase[1], 4.0f);
}

// Counted at the song's tempo: 40 notes a second in the file's 120 BPM are 60 a second at 180.
TEST_F(ManifestLoad, AChartDenserThanAPlayerCanHitIsLeftOutWithOneLine) {
    std::vector<levelfiles::Note> notes;
    for (int i = 0; i < 120; ++i) notes.push_back({0.5 + i / 40.0, 0.01, 60, 100, 0});
    write("levels/dense.mid", levelfiles::smfBytes(notes));
    for (const int bpm : {120, 180}) {
        write("levels/level.json", R"({"songMetaData": [{"bpm": )" + std::to_string(bpm) +
                                       R"(}], "stems": [{"file": "a.wav", "midi": "dense.mid"}]})");
        ASSERT_TRUE(load("levels/level.json")) << err;
        const bool refused = bpm == 180;
        EXPECT_EQ(app.audio.stems[0].midi.loaded, !refused) << bpm;
        EXPECT_EQ(err.find("Left out the chart \"dense.mid\" has 60 notes within one second") != std::string::npos,
                  refused)
            << err;
        EXPECT_EQ(err.find("Failed to load stem"), std::string::npos) << err;
    }
}

TEST_F(ManifestLoad, AFileThatDoesNotParseKeepsThePreviousLevel) {
    write("levels/level.json", R"({"stems": [{"file": "a.wav"}, {"file": "b.wav"}]})");
    ASSERT_TRUE(load("levels/level.json"));
    write("broken.json", "{");
    EXPECT_FALSE(load("broken.json"));
    EXPECT_EQ(stemNames(), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_FALSE(load("absent.json"));
    EXPECT_EQ(app.audio.stems.size(), 2u);
}

TEST_F(ManifestLoad, StemsThatAllFailLeaveNoStemsAndFail) {
    write("levels/level.json", R"({"stems": [{"file": "a.wav"}]})");
    ASSERT_TRUE(load("levels/level.json"));
    write("level.json", R"({"stems": [{"file": "x.wav"}, {"file": "y.ogg"}]})");
    EXPECT_FALSE(load("level.json"));
    EXPECT_TRUE(app.audio.stems.empty());
    EXPECT_NE(err.find("Failed to load stem: y.ogg"), std::string::npos);
    EXPECT_NE(out.find("Loaded 0 stem(s) from level JSON: level.json"), std::string::npos);
}

}  // namespace
