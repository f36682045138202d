// The levels under assets/levels as tools/generate-levels.sh left them: the
// files every manifest names exist, each level's stems are equally long whole
// bars that wrap smoothly, and every MIDI file reads without error with the
// game's reader, agrees with Debian's midicsv on every note and holds exactly
// the chart the composer makes today (so the files are not stale).
#include "LevelgenTestUtil.h"

#include "midi/MidiFile.h"
#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Composer.h"
#include "tools/levelgen/OggWriter.h"
#include "tools/levelgen/Playfield.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <tuple>

using namespace levelgen;

namespace levelgen {
void PrintTo(const LevelPlan& plan, std::ostream* os) { *os << plan.folder; }
}  // namespace levelgen
namespace fs = std::filesystem;

namespace {

const fs::path kLevels = fs::path(LUMOKA_ASSETS_DIR) / "levels";

struct Located {
    fs::path manifest;
    fs::path base;  // stem paths are relative to this folder
};

Located locate(const LevelPlan& level) {
    if (level.standalone) return {kLevels / "level.json", kLevels};
    return {kLevels / level.folder / "level.json", kLevels / level.folder};
}

std::vector<lgtest::CsvNote> readerNotes(MidiFile& file) {
    std::vector<lgtest::CsvNote> out;
    for (int t = 0; t < file.trackCount(); ++t)
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& e = file.event(t, i);
            if (e.isNoteOn() || e.isNoteOff())
                out.push_back({e.tick, e.channel(), e.keyNumber(), e.velocity(), e.isNoteOn()});
        }
    return out;
}

std::vector<lgtest::CsvNote> chartNotes(const Stem& stem) {
    std::vector<lgtest::CsvNote> out;
    for (const Note& n : stem.notes)
        if (n.charted) {
            out.push_back({n.tick, n.channel, n.key, n.velocity, true});
            out.push_back({n.tick + n.length, n.channel, n.key, 64, false});
        }
    return out;
}

void sortNotes(std::vector<lgtest::CsvNote>& v) {
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
        return std::tie(a.tick, a.on, a.channel, a.key, a.velocity) <
               std::tie(b.tick, b.on, b.channel, b.key, b.velocity);
    });
}

class GeneratedLevels : public ::testing::TestWithParam<LevelPlan> {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kLevels / "levels.json"))
            << "no generated levels under " << kLevels
            << ": run tools/generate-levels.sh <build>/tools/levelgen/levelgen";
    }
};

}  // namespace

TEST_P(GeneratedLevels, StemsAreEqualWholeBarsThatWrapSmoothly) {
    const LevelPlan& level = GetParam();
    Located          at    = locate(level);
    std::ifstream    in(at.manifest);
    ASSERT_TRUE(in) << at.manifest;
    nlohmann::json doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc["songMetaData"][0]["bpm"].get<float>(), float(level.style.bpm));
    const int64_t expected = int64_t(kSampleRate) * 60 / level.style.bpm * kBeatsPerBar * level.style.bars;
    ASSERT_EQ(doc["stems"].size(), level.style.voices.size());
    for (const auto& stem : doc["stems"]) {
        std::string file = stem["file"];
        SCOPED_TRACE(file);
        std::vector<float> samples;
        int                channels = 0;
        ASSERT_TRUE(decodeAudioFile((at.base / file).string(), samples, channels));
        ASSERT_EQ(channels, 2);
        EXPECT_EQ(int64_t(samples.size() / 2), expected);
        std::vector<float> m = lgtest::mono(samples);
        EXPECT_LE(lgtest::wrapStep(m), lgtest::largestInnerStep(m));
        EXPECT_LE(lgtest::wrapStep(m), 1.5f * lgtest::largestInnerStep(m, kSampleRate / 50));
        EXPECT_TRUE(fs::exists(at.base / stem["midi"].get<std::string>()));
    }
    EXPECT_EQ(fs::exists(at.base / "background.frag"), level.shader != nullptr && !level.standalone);
}

TEST_P(GeneratedLevels, MidiFilesReadCleanlyAgreeWithMidicsvAndHoldTheChart) {
    const LevelPlan& level = GetParam();
    Song             song  = composeSong(level.style);
    makePlayable(song);
    for (const Stem& stem : song.stems) {
        fs::path path = locate(level).base / ((level.standalone ? level.folder + "/" : "") + stem.name + ".mid");
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in);
        MidiFile file;
        ASSERT_TRUE(file.parse(in));
        std::vector<lgtest::CsvNote> ours = readerNotes(file), theirs;
        std::string                  csv;
        ASSERT_TRUE(lgtest::midicsvNotes(path, theirs, csv)) << csv;
        EXPECT_EQ(ours, theirs);
        std::vector<lgtest::CsvNote> chart = chartNotes(stem);
        sortNotes(ours);
        sortNotes(chart);
        EXPECT_TRUE(ours == chart) << "the file is not what the composer writes now: regenerate the levels";
        file.computeEventTimes();
        file.pairNotes();
        file.mergeTracks();
        for (int i = 0; i < file.eventCount(0); ++i) {
            const MidiTrackEvent& e = file.event(0, i);
            if (e.isNoteOn()) EXPECT_NE(e.link, nullptr) << "unpaired note-on at tick " << e.tick;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, GeneratedLevels, ::testing::ValuesIn(levelCatalogue()), [](const auto& info) {
    std::string name = info.param.folder;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});
