// The composer: the same style always gives the same notes; every level's tempo
// has a beat of whole samples; the parts follow the harmony (bass roots on the
// downbeats, the melody on chord tones where it lands on a beat) and stay inside
// the loop.
#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Composer.h"

#include <gtest/gtest.h>

#include <set>

using namespace levelgen;

namespace {

bool sameNotes(const Song& a, const Song& b) {
    if (a.stems.size() != b.stems.size()) return false;
    for (size_t s = 0; s < a.stems.size(); ++s) {
        const auto& x = a.stems[s].notes;
        const auto& y = b.stems[s].notes;
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); ++i)
            if (x[i].tick != y[i].tick || x[i].length != y[i].length || x[i].key != y[i].key ||
                x[i].velocity != y[i].velocity || x[i].channel != y[i].channel || x[i].charted != y[i].charted)
                return false;
    }
    return true;
}

const Stem& stemNamed(const Song& song, const std::string& name) {
    for (const Stem& s : song.stems)
        if (s.name == name) return s;
    ADD_FAILURE() << "no stem " << name;
    return song.stems.front();
}

LevelPlan catalogueLevel(const std::string& folder) {
    for (const LevelPlan& l : levelCatalogue())
        if (l.folder == folder) return l;
    ADD_FAILURE() << "no level " << folder;
    return {};
}

}  // namespace

TEST(Composer, SameStyleSameNotesAndAnotherSeedOthers) {
    SongStyle style = catalogueLevel("sample_b.zip").style;
    EXPECT_TRUE(sameNotes(composeSong(style), composeSong(style)));
    SongStyle other = style;
    other.seed += 1;
    EXPECT_FALSE(sameNotes(composeSong(style), composeSong(other)));
}

TEST(Composer, EveryLevelHasAValidTempoAndBeatsOfWholeSamples) {
    for (const LevelPlan& level : levelCatalogue()) {
        SCOPED_TRACE(level.folder);
        std::string why;
        EXPECT_TRUE(styleIsValid(level.style, why)) << why;
        EXPECT_EQ((kSampleRate * 60) % level.style.bpm, 0);
        EXPECT_EQ(60000000 % level.style.bpm, 0);  // the MIDI tempo is exact too
    }
    std::string why;
    SongStyle   odd = catalogueLevel("sample_a.zip").style;
    odd.bpm         = 128;  // 20671.875 samples a beat
    EXPECT_FALSE(styleIsValid(odd, why));
    EXPECT_NE(why.find("128"), std::string::npos);
}

TEST(Composer, DifficultyRisesFromAToC) {
    double lastRate = 0.0, lastHoldShare = -1.0;
    int    lastBpm = 0;
    for (const char* folder : {"sample_a.zip", "sample_b.zip", "sample_c.zip"}) {
        SCOPED_TRACE(folder);
        LevelPlan l     = catalogueLevel(folder);
        Song      song  = composeSong(l.style);
        size_t    notes = 0;
        for (const Stem& s : song.stems) notes += s.notes.size();
        double rate = double(notes) / tickToSeconds(loopTicks(song), song.bpm);
        EXPECT_GT(rate, lastRate);
        EXPECT_GT(l.style.bpm, lastBpm);
        EXPECT_GT(l.style.holdShare, lastHoldShare);
        lastRate      = rate;
        lastBpm       = l.style.bpm;
        lastHoldShare = l.style.holdShare;
    }
}

TEST(Composer, NotesStayInsideTheLoopAndHoldsAreLong) {
    for (const LevelPlan& level : levelCatalogue()) {
        SCOPED_TRACE(level.folder);
        Song song = composeSong(level.style);
        EXPECT_GE(song.stems.size(), level.folder == "tutorialsong" ? 2u : 4u);
        EXPECT_LE(song.stems.size(), 6u);
        for (const Stem& s : song.stems)
            for (const Note& n : s.notes) {
                EXPECT_GE(n.tick, 0);
                EXPECT_GT(n.length, 0);
                EXPECT_LE(n.tick + n.length, loopTicks(song)) << s.name;
                if (n.charted && n.channel == kHoldChannel) EXPECT_GE(tickToSeconds(n.length, song.bpm), 0.5) << s.name;
            }
    }
}

TEST(Composer, BassPlaysTheChordRootOnEveryDownbeat) {
    LevelPlan l             = catalogueLevel("default");
    Song      song          = composeSong(l.style);
    const int minorScale[7] = {0, 2, 3, 5, 7, 8, 10};
    for (int bar = 0; bar < song.bars; ++bar) {
        int  degree = l.style.progression[size_t(bar) % l.style.progression.size()];
        int  pc     = (l.style.tonic + minorScale[degree]) % 12;
        bool found  = false;
        for (const Note& n : stemNamed(song, "bass").notes)
            if (n.tick == bar * kTicksPerBar) found = found || n.key % 12 == pc;
        EXPECT_TRUE(found) << "bar " << bar;
    }
}

TEST(Composer, MelodyStaysInTheKeyAndLandsOnChordTonesOnTheBeat) {
    LevelPlan           l        = catalogueLevel("sample_a.zip");  // D major
    Song                song     = composeSong(l.style);
    const std::set<int> scale    = {2, 4, 6, 7, 9, 11, 1};
    const int           major[7] = {0, 2, 4, 5, 7, 9, 11};
    const Stem&         lead     = stemNamed(song, "lead");
    ASSERT_GE(lead.notes.size(), 16u);
    std::set<int> pitches;
    for (const Note& n : lead.notes) {
        EXPECT_TRUE(scale.count(n.key % 12)) << n.key;
        pitches.insert(n.key);
        if (n.tick % kTicksPerBar != 0) continue;
        int           degree = l.style.progression[size_t(n.tick / kTicksPerBar) % l.style.progression.size()];
        std::set<int> chord;
        for (int k : {0, 2, 4}) chord.insert((l.style.tonic + major[(degree + k) % 7]) % 12);
        EXPECT_TRUE(chord.count(n.key % 12)) << "downbeat note " << n.key << " at " << n.tick;
    }
    EXPECT_GE(pitches.size(), 5u);  // a tune, not one note
}
