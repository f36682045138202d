// Loading stems and their charts: the path helpers, every failure message on
// bad audio and bad MIDI files, the chart built from a MIDI file (tempo, pan,
// order, lengths) and its scaling to the song's tempo.
#include "AudioSystemFixture.h"

#include "tests/midi/MidiWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace audiotest;
using testaudio::distinctStereo;

namespace {

struct Said {
    bool        result = false;
    std::string out;
    std::string err;
};

Said run(const std::function<bool()>& action) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Said said;
    said.result = action();
    said.out    = testing::internal::GetCapturedStdout();
    said.err    = testing::internal::GetCapturedStderr();
    return said;
}

std::string bytesOf(const testaudio::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class Loading : public OfflineAudio {
protected:
    // Every failure must leave the list as it was; one good stem is there first.
    void SetUp() override {
        OfflineAudio::SetUp();
        addStem("good.wav", distinctStereo(4410));
    }

    std::string file(const std::string& name, const std::string& bytes) {
        testsupport::writeFile(dir.path() / name, bytes);
        return (dir.path() / name).string();
    }
    std::string midi(const std::string& name, const miditest::MidiWriter& writer) {
        const miditest::Bytes bytes = writer.bytes();
        return file(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string wav() { return bytesOf(testaudio::floatWav(distinctStereo(2205), 2, Sound::kSampleRate)); }

    // A failed audio load: false, this one line on stderr, the list untouched.
    void expectRefused(const std::string& path, const std::string& line) {
        const Said said = run([&] { return audio.loadStem(path); });
        EXPECT_FALSE(said.result);
        EXPECT_EQ(said.err, line + "\n");
        EXPECT_EQ(said.out, "Loading stem: " + normalizePath(path) + "\n");
        ASSERT_EQ(audio.stems.size(), 1u);
        EXPECT_EQ(audio.stems[0].name, "good.wav");
    }

    // A failed chart load: false, the stem kept without a chart.
    void expectStemWithoutChart(const std::string& midiPath, const std::string& line) {
        const size_t before = audio.stems.size();
        const Said   said   = run([&] { return audio.loadStemWithMidi(file("stem.wav", wav()), midiPath); });
        EXPECT_FALSE(said.result);
        EXPECT_NE(said.err.find(line + "\n"), std::string::npos) << said.err;
        ASSERT_EQ(audio.stems.size(), before + 1);
        const StemMidi& chart = audio.stems.back().midi;
        EXPECT_FALSE(chart.loaded);
        EXPECT_TRUE(chart.events.empty());
        EXPECT_EQ(chart.bpm, 120.0f);
    }
};

// A chart that exercises every rule of the note list: a tempo change, pan
// controllers on two channels (one set from another track), a note-off written
// as a velocity-0 note-on, an unpaired note-on and events that are no notes.
miditest::MidiWriter richChart() {
    miditest::MidiWriter writer(1, 480);
    writer.addTrack()
        .tempo(0, 666667)    // 90 BPM
        .tempo(960, 428571)  // 140 BPM from tick 960
        .endOfTrack();
    writer.addTrack()
        .controller(0, 2, 10, 20)
        .meta(0, 0x01, {'h', 'i'})
        .message(0, {0xC2, 5})  // program change
        .noteOn(480, 2, 60, 100)
        .noteOn(480, 3, 62, 80)  // tick 960
        .noteOn(0, 2, 60, 0)     // tick 960: ends key 60
        .noteOn(480, 2, 64, 90)  // tick 1440, never ended
        .noteOff(480, 3, 62)     // tick 1920
        .endOfTrack();
    writer.addTrack()
        .controller(1200, 3, 10, 100)  // between channel 3's note-on and note-off
        .sysex(0, 0xF0, {0x7E, 0x7F, 0xF7})
        .endOfTrack();
    return writer;
}

double seconds90(int ticks) { return ticks / 480.0 * 0.666667; }
double seconds(int tick) { return tick <= 960 ? seconds90(tick) : seconds90(960) + (tick - 960) / 480.0 * 0.428571; }

}  // namespace

TEST(PathHelpers, NormaliseNameAndExistence) {
    EXPECT_EQ(normalizePath(R"(levels\song\"bass".ogg)"), "levels/song/bass.ogg");
    EXPECT_EQ(fileName("levels/song\\bass.ogg"), "bass.ogg");
    EXPECT_EQ(fileName("levels\\song/bass.ogg"), "bass.ogg");
    EXPECT_EQ(fileName("bass.ogg"), "bass.ogg");
    EXPECT_EQ(fileName("levels/"), "");
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "empty", "");
    EXPECT_TRUE(fileExists((dir.path() / "empty").string()));
    EXPECT_FALSE(fileExists((dir.path() / "missing").string()));
    EXPECT_FALSE(fileExists(dir.path().string())) << "a folder is no file";
}

TEST_F(Loading, GoodStemGetsItsNameIndexLengthAndLoop) {
    const std::string path = file("kick.wav", wav());
    const Said        said = run([&] { return audio.loadStem(path); });
    ASSERT_TRUE(said.result) << said.err;
    EXPECT_EQ(said.out, "Loading stem: " + path + "\nSuccessfully loaded stem: kick.wav\n");
    EXPECT_EQ(said.err, "");
    ASSERT_EQ(audio.stems.size(), 2u);
    const Stem& stem = audio.stems[1];
    EXPECT_EQ(stem.name, "kick.wav");
    EXPECT_EQ(stem.index, 1u);
    EXPECT_EQ(stem.volume, 1.0f);
    EXPECT_FALSE(stem.active);
    EXPECT_EQ(stem.fadeDuration, 1.0f);
    EXPECT_EQ(stem.voice, 0u);
    EXPECT_TRUE(stem.sound->isLooping());
    EXPECT_DOUBLE_EQ(stem.midi.lengthSeconds, 0.05);
    EXPECT_FALSE(stem.midi.loaded);
    EXPECT_EQ(stem.midi.bpm, 120.0f);
}

TEST_F(Loading, BadAudioIsRefusedWithItsOwnMessage) {
    const std::string missing = (dir.path() / "missing.wav").string();
    expectRefused(missing, "Error: File does not exist: " + missing);
    expectRefused(dir.path().string(), "Error: File does not exist: " + dir.path().string());

    const std::string empty = file("empty.wav", "");
    expectRefused(empty, "File loaded via SDL is empty (0 bytes): " + empty);

    const std::string text = file("notes.wav", "this is not audio at all, just text");
    expectRefused(text,
                  "Failed to load audio file: " + text + "  (Error: " + std::to_string(Sound::kUnrecognised) + ")");

    const std::string whole     = wav();
    const std::string cutHeader = file("cut-header.wav", whole.substr(0, 20));
    expectRefused(cutHeader, "Failed to load audio file: " + cutHeader +
                                 "  (Error: " + std::to_string(Sound::kUnrecognised) + ")");
    const std::string noFrames = file("no-frames.wav", whole.substr(0, 44));
    expectRefused(noFrames,
                  "Failed to load audio file: " + noFrames + "  (Error: " + std::to_string(Sound::kDecodeFailed) + ")");
}

TEST_F(Loading, QuoteInThePathPassesTheExistenceTestButFailsTheRead) {
    file("quoted.wav", wav());
    const std::string path = (dir.path() / "\"quoted.wav").string();
    const Said        said = run([&] { return audio.loadStem(path); });
    EXPECT_FALSE(said.result);
    const std::string prefix = "SDL_LoadFile failed for: " + path + ", Error: ";
    EXPECT_EQ(said.err.rfind(prefix, 0), 0u) << said.err;
    EXPECT_EQ(said.err.substr(said.err.size() - 2), ")\n");
    EXPECT_EQ(said.err.find('\n'), said.err.size() - 1);
    EXPECT_EQ(audio.stems.size(), 1u);
}

TEST_F(Loading, ChartIsEveryNoteInTimeOrderWithPanAndLength) {
    const std::string path = midi("chart.mid", richChart());
    const Said        said = run([&] { return audio.loadStemWithMidi(file("lead.wav", wav()), path); });
    ASSERT_TRUE(said.result) << said.err;
    EXPECT_NE(said.out.find("Loading MIDI file: " + path + "\nLoaded MIDI file: " + path +
                            "\nFound MIDI tempo: 90.0 BPM\n"
                            "Successfully loaded MIDI file: chart.mid with 5 note events (native BPM: 90.0)\n"),
              std::string::npos)
        << said.out;
    const StemMidi& chart = audio.stems.back().midi;
    EXPECT_TRUE(chart.loaded);
    EXPECT_EQ(chart.path, path);
    EXPECT_NEAR(chart.bpm, 90.0f, 1e-3f) << "the first tempo decides";

    struct Expected {
        int    tick, note, velocity, pan, channel;
        bool   on;
        double duration;
    };
    // Tick 960 holds two events whose order the sort leaves open.
    const std::vector<Expected> expected = {
        {480, 60, 100, 20, 2, true, seconds(960) - seconds(480)},
        {960, 62, 80, 64, 3, true, seconds(1920) - seconds(960)},
        {960, 60, 0, 20, 2, false, 0.0},
        {1440, 64, 90, 20, 2, true, 0.0},
        {1920, 62, 64, 100, 3, false, 0.0},
    };
    ASSERT_EQ(chart.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expected& want  = expected[i];
        auto            match = [&](const MidiNoteEvent& e) { return e.tick == want.tick && e.note == want.note; };
        const auto      found = std::find_if(chart.events.begin(), chart.events.end(), match);
        ASSERT_NE(found, chart.events.end()) << "tick " << want.tick << " note " << want.note;
        SCOPED_TRACE("tick " + std::to_string(want.tick) + " note " + std::to_string(want.note));
        EXPECT_EQ(found->velocity, want.velocity);
        EXPECT_EQ(found->pan, want.pan);
        EXPECT_EQ(found->channel, want.channel);
        EXPECT_EQ(found->isNoteOn, want.on);
        EXPECT_EQ(found->track, 0);
        EXPECT_NEAR(found->time, seconds(want.tick), 1e-5);
        EXPECT_NEAR(found->duration, want.duration, 1e-5);
        if (i > 0) EXPECT_LE(chart.events[i - 1].time, chart.events[i].time);
    }
}

TEST_F(Loading, ChartWithoutTempoKeepsTheDefaultBpm) {
    miditest::MidiWriter writer(0, 480);
    writer.addTrack().noteOn(960, 0, 40, 50).noteOff(480, 0, 40).endOfTrack();
    const Said said = run([&] { return audio.loadStemWithMidi(file("pad.wav", wav()), midi("pad.mid", writer)); });
    ASSERT_TRUE(said.result) << said.err;
    EXPECT_EQ(said.out.find("Found MIDI tempo"), std::string::npos);
    const StemMidi& chart = audio.stems.back().midi;
    EXPECT_EQ(chart.bpm, 120.0f);
    ASSERT_EQ(chart.events.size(), 2u);
    EXPECT_DOUBLE_EQ(chart.events[0].time, 1.0);
    EXPECT_DOUBLE_EQ(chart.events[0].duration, 0.5);
}

TEST_F(Loading, BadChartsLeaveTheStemWithoutMidi) {
    const std::string missing = (dir.path() / "missing.mid").string();
    expectStemWithoutChart(missing, "Error: MIDI file does not exist: " + missing);

    auto refused = [&](const std::string& name, const std::string& bytes) {
        SCOPED_TRACE(name);
        const std::string path = file(name, bytes);
        expectStemWithoutChart(path, "Failed to load MIDI file using asset loader: " + path);
    };
    refused("empty.mid", "");
    refused("text.mid", "MThd? no, just a text file");
    const miditest::Bytes good = richChart().bytes();
    refused("truncated.mid", std::string(good.begin(), good.begin() + static_cast<long>(good.size() / 2)));

    miditest::MidiWriter hugeMeta;
    hugeMeta.addTrack().raw({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'x'});  // 32 MiB of text promised
    miditest::MidiWriter endlessDelta;
    endlessDelta.addTrack().raw({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 60, 100});
    miditest::MidiWriter noStatus;
    noStatus.addTrack().raw({0x00, 60, 100}).endOfTrack();
    miditest::MidiWriter phantomTracks;
    phantomTracks.addTrack().endOfTrack();
    phantomTracks.declareTrackCount(65535);
    for (const auto& [name, writer] :
         {std::pair{"huge-meta.mid", &hugeMeta}, std::pair{"endless-delta.mid", &endlessDelta},
          std::pair{"no-status.mid", &noStatus}, std::pair{"phantom-tracks.mid", &phantomTracks}}) {
        const miditest::Bytes bytes = writer->bytes();
        refused(name, std::string(bytes.begin(), bytes.end()));
    }
}

TEST_F(Loading, FailedReloadKeepsThePreviousChart) {
    ASSERT_TRUE(audio.loadStemWithMidi(file("lead.wav", wav()), midi("chart.mid", richChart())));
    StemMidi&                        chart  = audio.stems.back().midi;
    const std::vector<MidiNoteEvent> before = chart.events;
    const Said                       said   = run([&] { return chart.load(file("broken.mid", "MThd")); });
    EXPECT_FALSE(said.result);
    EXPECT_TRUE(chart.loaded);
    EXPECT_NEAR(chart.bpm, 90.0f, 1e-3f);
    ASSERT_EQ(chart.events.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(chart.events[i].time, before[i].time);
}

class Scaling : public Loading {
protected:
    void SetUp() override {
        Loading::SetUp();
        miditest::MidiWriter writer(0, 480);
        writer.addTrack()
            .noteOn(480, 0, 50, 90)
            .noteOff(480, 0, 50)
            .noteOn(960, 1, 52, 90)
            .noteOff(240, 1, 52)
            .endOfTrack();
        ASSERT_TRUE(audio.loadStemWithMidi(file("lead.wav", wav()), midi("lead.mid", writer)));
        original = chart().events;
    }
    StemMidi& chart() { return audio.stems.back().midi; }
    void      expectTimesScaledBy(double ratio) {
             ASSERT_EQ(chart().events.size(), original.size());
             for (size_t i = 0; i < original.size(); ++i) {
                 EXPECT_EQ(chart().events[i].time, original[i].time * ratio);
                 EXPECT_EQ(chart().events[i].duration, original[i].duration * ratio);
                 EXPECT_EQ(chart().events[i].tick, original[i].tick);
        }
    }
    std::vector<MidiNoteEvent> original;
};

TEST_F(Scaling, SameOrNearlySameTempoLeavesTheTimesAlone) {
    Said said = run([&] {
        chart().scaleToBpm(120.0f);
        return true;
    });
    EXPECT_EQ(said.out, "MIDI BPM (120.0) matches audio BPM (120.0), no scaling needed\n");
    said = run([&] {
        chart().scaleToBpm(121.0f);
        return true;
    });
    EXPECT_EQ(said.out, "MIDI BPM (120.0) matches audio BPM (121.0), no scaling needed\n");
    expectTimesScaledBy(1.0);
    EXPECT_EQ(chart().bpm, 120.0f);
}

TEST_F(Scaling, OtherTempoStretchesEveryTimeAndLength) {
    const Said said = run([&] {
        chart().scaleToBpm(118.0f);
        return true;
    });
    EXPECT_EQ(said.out,
              "Scaling MIDI timing: MIDI BPM 120.0 -> Audio BPM 118.0 (ratio: 1.017)\n"
              "MIDI events scaled to match audio BPM (118.0)\n");
    expectTimesScaledBy(120.0f / 118.0f);
    EXPECT_EQ(chart().bpm, 118.0f);
}

TEST_F(Scaling, NonsenseSongTempoIsRefusedAndTheFileTimingKept) {
    for (const float bad : {0.0f, -90.0f, std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min()}) {
        SCOPED_TRACE(bad);
        const Said said = run([&] {
            chart().scaleToBpm(bad);
            return true;
        });
        EXPECT_EQ(said.out, "");
        EXPECT_EQ(said.err.rfind("Cannot scale MIDI timing to a song BPM of ", 0), 0u) << said.err;
        EXPECT_EQ(said.err.find('\n'), said.err.size() - 1) << said.err;
        expectTimesScaledBy(1.0);
        EXPECT_EQ(chart().bpm, 120.0f);
    }
}
