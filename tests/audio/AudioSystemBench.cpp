// One dispatch pass over a full level: 8 active stems of 5,000 note events
// each, spread over a 3-minute song, on the offline mixer's clock. The quiet
// pass finds nothing due (the scan alone); the tick pass covers one logic
// tick's worth of song (8.333 ms) and hands its notes to a callback.
#include "AudioSystemFixture.h"

#include "game/GameLogic.h"
#include "render/RenderState.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int    kStems       = 8;
constexpr int    kEvents      = 5000;
constexpr double kSongSeconds = 180.0;
constexpr double kTickSeconds = 0.008333;

// The audio system's progress lines (and the burst line of every pass) would
// bury the report, so standard output goes to /dev/null while a level lives.
class MutedStdout {
public:
    MutedStdout() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~MutedStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

struct Level {
    MutedStdout          muted;
    testsupport::TempDir dir;
    AudioSystem          audio;
    GameLogic            game;
    RenderState          render;
    int64_t              notesHeard = 0;

    Level() {
        audio.init(Mixer::Output::None);
        const std::vector<float> second(2 * Mixer::kSampleRate, 0.1f);
        for (int s = 0; s < kStems; ++s) {
            audio.loadStem(audiotest::writeStem(dir, "stem" + std::to_string(s) + ".wav", second));
            StemMidi& midi = audio.stems.back().midi;
            // The chart's loop length is the song's, whatever the short audio says.
            midi.lengthSeconds = kSongSeconds;
            midi.loaded        = true;
            for (int e = 0; e < kEvents; ++e) {
                MidiNoteEvent note;
                note.note     = 36 + (e * 7 + s) % 60;
                note.time     = kSongSeconds * (e + 0.125 * s) / kEvents;
                note.isNoteOn = e % 2 == 0;
                midi.events.push_back(note);
            }
            audio.fadeInStem(s, 0.0f);
        }
        game.noteCallback = [this](const MidiNoteEvent&, RenderState*) { ++notesHeard; };
        audio.playAll();
        audio.update(0.016f);
        std::vector<float> mix(2 * Mixer::kChunkFrames);
        for (int i = 0; i < 100; ++i) audio.engine.mix(mix.data(), Mixer::kChunkFrames);  // about 4.6 s in
        // The catch-up burst; every cursor is now at the clock.
        game.takeDispatch(audio.dispatchMidi(game.noteCallback, &render));
        game.triggeredEvents.clear();
    }
    ~Level() { audio.shutdown(); }
};

void BM_DispatchQuietPass(benchmark::State& state) {
    Level level;
    for (auto _ : state) {
        level.game.takeDispatch(level.audio.dispatchMidi(level.game.noteCallback, &level.render));
        benchmark::DoNotOptimize(level.game.triggeredEvents.data());
    }
    state.counters["events"] = kStems * kEvents;
}
BENCHMARK(BM_DispatchQuietPass);

void BM_DispatchTickPass(benchmark::State& state) {
    Level   level;
    int64_t fired = 0;
    for (auto _ : state) {
        for (Stem& stem : level.audio.stems) stem.midi.lastDispatchTime = stem.midi.lastStreamTime - kTickSeconds;
        level.game.triggeredEvents.clear();
        level.game.takeDispatch(level.audio.dispatchMidi(level.game.noteCallback, &level.render));
        fired += static_cast<int64_t>(level.game.triggeredEvents.size());
    }
    state.counters["fired/pass"] = benchmark::Counter(static_cast<double>(fired) / state.iterations());
    state.counters["events"]     = kStems * kEvents;
}
BENCHMARK(BM_DispatchTickPass);

}  // namespace

BENCHMARK_MAIN();
