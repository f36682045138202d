// The note dispatcher against the real group clock of the offline mixer: two
// looping 10-second stems, passes taken after chunks of the mix, and the
// window rules at the song's start, across the loop end and after a stem has
// sat out part of the song.
#include "AudioSystemFixture.h"

#include "tests/midi/MidiWriter.h"
#include "game/GameLogic.h"
#include "render/RenderState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

using namespace audiotest;

namespace {

constexpr double kStemSeconds = 10.0;

// The first chunk whose end the clock reaches at or after this song time.
int chunkReaching(double seconds) { return static_cast<int>(std::ceil(seconds / kChunkSeconds)); }

std::vector<double> timesOf(const std::vector<MidiNoteEvent>& events) {
    std::vector<double> out;
    for (const MidiNoteEvent& e : events) out.push_back(e.time);
    return out;
}

class Dispatch : public OfflineAudio {
protected:
    void SetUp() override {
        OfflineAudio::SetUp();
        const std::vector<float> tenSeconds(2 * static_cast<size_t>(kStemSeconds * Mixer::kSampleRate), 0.1f);
        addStem("drums.wav", tenSeconds);
        addStem("bass.wav", tenSeconds);
        ASSERT_EQ(audio.stems[0].midi.lengthSeconds, kStemSeconds);
        game.noteCallback = [this](const MidiNoteEvent& e, RenderState* r) {
            heard.push_back(e);
            EXPECT_EQ(r, &render);
        };
    }

    // Note-ons at these times (sorted, as the loader leaves them), keys 0, 1, ...
    void giveChart(int stem, const std::vector<double>& times) {
        StemMidi& midi = audio.stems[stem].midi;
        midi.events.clear();
        for (size_t i = 0; i < times.size(); ++i) {
            MidiNoteEvent e;
            e.note     = static_cast<int32_t>(i);
            e.velocity = 100;
            e.time     = times[i];
            e.isNoteOn = true;
            midi.events.push_back(e);
        }
        midi.loaded = true;
    }

    void start(std::initializer_list<int> activeStems) {
        audio.playAll();
        for (int stem : activeStems) audio.fadeInStem(stem, 0.0f);
        audio.update(0.016f);
    }

    // One dispatch pass; what it fired.
    std::vector<MidiNoteEvent> pass() {
        game.triggeredEvents.clear();
        game.takeDispatch(audio.dispatchMidi(game.noteCallback, &render));
        return game.triggeredEvents;
    }

    void mixTo(int chunk) {
        while (clock() < static_cast<double>(chunk * kChunk) / Mixer::kSampleRate) mixChunks(1);
    }

    GameLogic                  game;
    RenderState                render;
    std::vector<MidiNoteEvent> heard;
};

}  // namespace

TEST_F(Dispatch, NoteAtZeroWaitsForTheNextLoopAndReturnsWithEveryLoop) {
    giveChart(0, {0.0, 0.02, 5.0});
    start({0});
    std::map<int, std::vector<int>> firedAt;  // key → chunks whose pass fired it
    testing::internal::CaptureStdout();
    for (int chunk = 0; chunk <= chunkReaching(20.05); ++chunk) {
        mixTo(chunk);
        for (const MidiNoteEvent& e : pass()) firedAt[e.note].push_back(chunk);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(firedAt[0], (std::vector<int>{chunkReaching(10.0), chunkReaching(20.0)})) << "never on the first pass";
    EXPECT_EQ(firedAt[1], (std::vector<int>{1, chunkReaching(10.02), chunkReaching(20.02)}));
    EXPECT_EQ(firedAt[2], (std::vector<int>{chunkReaching(5.0), chunkReaching(15.0)}));
    EXPECT_EQ(out.find("MIDI: Triggered"), std::string::npos) << "no pass fired more than 2";
    EXPECT_EQ(audio.stems[0].midi.loopCount, 0u) << "the clock never ran backwards";
}

TEST_F(Dispatch, PassAcrossTheLoopEndFiresTheEndOfThisLoopAndTheStartOfTheNext) {
    giveChart(0, {0.0, 0.02, 0.031, 0.04, 9.95, 9.99, 10.0, 12.0});
    start({0});
    mixTo(215);  // 9.985 s
    ASSERT_NEAR(clock(), 9.98, 0.01);
    EXPECT_EQ(timesOf(pass()), (std::vector<double>{0.02, 0.031, 0.04, 9.95}));

    mixTo(216);  // 10.031 s
    ASSERT_NEAR(clock(), 10.03, 0.01);
    testing::internal::CaptureStdout();
    const std::vector<MidiNoteEvent> fired = pass();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MIDI: Triggered 6 events (master clock)\n");
    // 12.0 lies past the stem's end: it can only fire in a wrapping pass.
    EXPECT_EQ(timesOf(fired), (std::vector<double>{0.0, 0.02, 0.031, 9.99, 10.0, 12.0}));
    EXPECT_EQ(game.streamTime, clock());
    EXPECT_EQ(audio.stems[0].midi.lastDispatchTime, clock());
}

TEST_F(Dispatch, StemUnlockedLateCatchesUpOnEverythingItMissed) {
    giveChart(0, {1.0});
    giveChart(1, {0.0, 0.5, 1.5, 2.5, 3.5, 4.5, 6.0});
    start({0});
    for (int chunk = 1; chunk <= chunkReaching(5.0); ++chunk) {
        mixTo(chunk);
        for (const MidiNoteEvent& e : pass()) EXPECT_EQ(e.stemIndex, 0);
    }
    const StemMidi& late = audio.stems[1].midi;
    EXPECT_EQ(late.lastDispatchTime, 0.0) << "an inactive stem's cursor stays put";
    EXPECT_EQ(late.lastStreamTime, 0.0);

    audio.fadeInStem(1, 1.0f);
    heard.clear();
    testing::internal::CaptureStdout();
    const std::vector<MidiNoteEvent> burst = pass();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MIDI: Triggered 5 events (master clock)\n");
    EXPECT_EQ(timesOf(burst), (std::vector<double>{0.5, 1.5, 2.5, 3.5, 4.5}));
    ASSERT_EQ(heard.size(), burst.size());
    for (size_t i = 0; i < burst.size(); ++i) {
        EXPECT_EQ(burst[i].stemIndex, 1);
        EXPECT_EQ(heard[i].time, burst[i].time);
    }
    EXPECT_TRUE(pass().empty()) << "the clock has not moved since";
}

TEST_F(Dispatch, NothingIsDispatchedWhileNotPlaying) {
    giveChart(0, {0.02, 0.05});
    audio.fadeInStem(0, 0.0f);
    game.streamTime = -1.0;
    EXPECT_TRUE(pass().empty());

    start({});
    mixChunks(3);
    audio.stopAll();
    EXPECT_TRUE(pass().empty());
    EXPECT_EQ(game.streamTime, -1.0);
    EXPECT_EQ(audio.stems[0].midi.lastDispatchTime, 0.0);

    // Playing, but the clock's group is gone: dispatching stops silently.
    start({});
    mixChunks(3);
    audio.engine.destroyVoiceGroup(audio.voiceGroup);
    EXPECT_TRUE(pass().empty());
    EXPECT_EQ(game.streamTime, -1.0);
    EXPECT_TRUE(heard.empty());
}

TEST_F(Dispatch, RestartRewindsTheCursorsAndFiresTheSongAgain) {
    giveChart(0, {0.02, 0.5});
    start({0});
    std::vector<double> fired;
    for (int chunk = 1; chunk <= chunkReaching(0.6); ++chunk) {
        mixTo(chunk);
        for (const MidiNoteEvent& e : pass()) fired.push_back(e.time);
    }
    audio.stopAll();
    const StemMidi& midi = audio.stems[0].midi;
    EXPECT_EQ(midi.lastDispatchTime, 0.0);
    EXPECT_EQ(midi.lastStreamTime, 0.0);

    audio.playAll();
    mixTo(1);
    for (const MidiNoteEvent& e : pass()) fired.push_back(e.time);
    EXPECT_EQ(fired, (std::vector<double>{0.02, 0.5, 0.02}));
}

TEST_F(Dispatch, StemWithoutChartNeitherFiresNorMovesTheGameClock) {
    start({0, 1});
    mixChunks(3);
    game.streamTime = -1.0;
    EXPECT_TRUE(pass().empty());
    EXPECT_EQ(game.streamTime, -1.0);
}

TEST_F(Dispatch, FiredNotesGoToTheCallbackAndAreAddedToTheGamesList) {
    giveChart(0, {0.02, 0.02});
    giveChart(1, {0.01});
    start({0, 1});
    mixChunks(1);
    MidiNoteEvent earlier;
    earlier.note         = 99;
    game.triggeredEvents = {earlier};
    testing::internal::CaptureStdout();
    game.takeDispatch(audio.dispatchMidi(game.noteCallback, &render));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MIDI: Triggered 3 events (master clock)\n");
    ASSERT_EQ(game.triggeredEvents.size(), 4u);
    EXPECT_EQ(game.triggeredEvents[0].note, 99) << "the list is appended to, not replaced";
    const std::vector<int> stemOrder = {0, 0, 1};
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(game.triggeredEvents[i + 1].stemIndex, stemOrder[i]);
        EXPECT_EQ(heard[i].stemIndex, stemOrder[i]);
        EXPECT_EQ(heard[i].note, game.triggeredEvents[i + 1].note);
    }
    EXPECT_EQ(heard.size(), 3u);
    EXPECT_EQ(audio.stems[0].midi.events[0].stemIndex, 0) << "only the copies carry the stem";
    EXPECT_EQ(audio.stems[1].midi.events[0].stemIndex, 0);

    // Without a render state the notes are still handed over, the callback is not called.
    heard.clear();
    mixChunks(chunkReaching(1.0));
    giveChart(0, {1.0});
    game.triggeredEvents.clear();
    game.takeDispatch(audio.dispatchMidi(game.noteCallback, nullptr));
    EXPECT_EQ(game.triggeredEvents.size(), 1u);
    EXPECT_TRUE(heard.empty());
}

TEST_F(Dispatch, RefusedSongTempoKeepsTheChartPlayable) {
    miditest::MidiWriter writer(0, 480);
    writer.addTrack().noteOn(960, 0, 60, 100).noteOff(480, 0, 60).endOfTrack();
    const std::string chart = writeFile(dir, "chart.mid", writer.bytes());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(audio.stems[0].midi.load(chart));
    audio.stems[0].midi.scaleToBpm(0.0f);
    testing::internal::GetCapturedStderr();

    start({0});
    std::vector<double> fired;
    for (int chunk = 1; chunk <= chunkReaching(1.6); ++chunk) {
        mixTo(chunk);
        for (const MidiNoteEvent& e : pass()) fired.push_back(e.time);
    }
    EXPECT_EQ(fired, (std::vector<double>{1.0, 1.5}));
}

// The dispatcher visits only the events inside each pass's window; whatever the
// jumps of the clock, the wraps of a short loop, ties in time or a stem that
// joins late, it must fire exactly what a scan of every event fires, in the
// same order.
TEST_F(Dispatch, FiresWhatAScanOfEveryEventFiresInTheSameOrder) {
    std::mt19937 random(11);
    for (int stem = 0; stem < 2; ++stem) {
        std::vector<double> times;
        for (int i = 0; i < 300; ++i) {
            // Half the notes on chunk boundaries (the window's closed end), some beyond the loop.
            const double t = std::uniform_real_distribution<double>(0.0, 2.2)(random);
            times.push_back(i % 2 == 0 ? std::round(t / kChunkSeconds) * kChunkSeconds : t);
        }
        std::sort(times.begin(), times.end());
        giveChart(stem, times);
        audio.stems[stem].midi.lengthSeconds = 1.9;
    }
    struct Cursor {
        double last = 0.0, lastClock = 0.0;
    };
    std::array<Cursor, 2> reference{};
    start({0});
    testing::internal::CaptureStdout();
    int chunk = 0;
    for (int passNumber = 0; passNumber < 400; ++passNumber) {
        chunk += std::uniform_int_distribution<int>(0, passNumber % 50 == 0 ? 60 : 3)(random);
        mixTo(chunk);
        if (passNumber == 150) audio.fadeInStem(1, 0.0f);
        const double                     now = clock();
        std::vector<std::pair<int, int>> expected;  // stem, key
        for (int stem = 0; stem < 2; ++stem) {
            if (!audio.stems[stem].active) continue;
            Cursor&      c      = reference[stem];
            const double length = audio.stems[stem].midi.lengthSeconds;
            if (now < c.lastClock) c.last = 0.0;
            c.lastClock     = now;
            const double to = std::fmod(now, length), from = std::fmod(c.last, length);
            for (const MidiNoteEvent& e : audio.stems[stem].midi.events) {
                const bool fires = from <= to ? from < e.time && e.time <= to : e.time > from || e.time <= to;
                if (fires) expected.emplace_back(stem, e.note);
            }
            c.last = now;
        }
        std::vector<std::pair<int, int>> fired;
        for (const MidiNoteEvent& e : pass()) fired.emplace_back(e.stemIndex, e.note);
        ASSERT_EQ(fired, expected) << "pass " << passNumber << " at " << now;
    }
    testing::internal::GetCapturedStdout();
}
