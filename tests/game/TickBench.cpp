// One logic tick as the logic thread runs it (under the game-state lock: MIDI
// dispatch by the mixer's clock, the audio following the layer rules; spawning
// is the frame's, by the judge's cursor) on a busy level:
// 8 audible stems of 500, 5,000 or 50,000 notes each (the argument) and 50 live
// circles; the notes are equally dense in every case, only the chart grows.
// Each repetition is one tick, so the median and p99 over repetitions are those
// of single ticks.
#include "app/App.h"
#include "app/LogicThread.h"
#include "audio/Sound.h"
#include "support/LevelFiles.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int    kStems        = 8;
constexpr double kNoteSpacing  = 0.2;  // six notes per stem inside the one-second lead
constexpr int    kLiveCircles  = 50;
constexpr double kClockSeconds = 3.0;

// The mixer runs without a device; its clock is moved by mixing frames by hand.
std::unique_ptr<App> makeBusyApp(Sound& clockSound, int notesPerStem) {
    auto         app   = std::make_unique<App>();
    AudioSystem& audio = app->audio;
    audio.engine.init(Mixer::kClipRoundoff, Mixer::Output::None);
    audio.voiceGroup = audio.engine.createVoiceGroup();
    audio.looping    = true;
    audio.playing    = true;

    const std::string wav = levelfiles::wavBytes(1.0);
    clockSound.loadMem(wav.data(), wav.size());
    clockSound.setLooping(true);
    audio.engine.addVoiceToGroup(audio.voiceGroup, audio.engine.play(clockSound, 0.0f));
    std::vector<float> chunk(2 * Mixer::kChunkFrames);
    for (int i = 0; i < static_cast<int>(kClockSeconds * Mixer::kSampleRate / Mixer::kChunkFrames); ++i)
        audio.engine.mix(chunk.data(), Mixer::kChunkFrames);

    for (int s = 0; s < kStems; ++s) {
        Stem stem;
        stem.index              = static_cast<uint32_t>(s);
        stem.name               = "stem" + std::to_string(s);
        stem.active             = true;
        stem.midi.loaded        = true;
        stem.midi.lengthSeconds = notesPerStem * kNoteSpacing;
        for (int n = 0; n < notesPerStem; ++n) {
            MidiNoteEvent event;
            event.time     = n * kNoteSpacing + 0.01 * s;
            event.note     = 30 + (n * 7 + s * 11) % 80;
            event.velocity = 40 + n % 80;
            event.isNoteOn = true;
            event.duration = 0.1;
            stem.midi.events.push_back(event);
        }
        audio.stems.push_back(std::move(stem));
    }

    GameLogic& game = app->game;
    game.reset(kStems);
    game.inGame        = true;
    app->render.width  = 1920;
    app->render.height = 1080;
    game.streamTime    = audio.engine.getStreamTime(audio.voiceGroup);
    game.update(app->render, app->audio);
    while (static_cast<int>(game.circles.size()) < kLiveCircles) {
        MidiNoteEvent extra;
        extra.note = 100;
        game.spawnCircle(extra, 0, game.streamTime + 0.5 + 0.02 * static_cast<double>(game.circles.size()), 1920, 1080);
    }
    return app;
}

void BM_LogicTick(benchmark::State& state) {
    static Sound                               clockSound;
    static std::map<int, std::unique_ptr<App>> apps;
    const int                                  notesPerStem = static_cast<int>(state.range(0));
    std::unique_ptr<App>&                      app          = apps[notesPerStem];
    if (!app) app = makeBusyApp(clockSound, notesPerStem);
    for (auto _ : state) runLogicTick(*app);
    state.counters["circles"] = static_cast<double>(app->game.circles.size());
    state.counters["clock"]   = app->game.streamTime;
}

double percentile99(const std::vector<double>& values) {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<size_t>(0.99 * static_cast<double>(sorted.size() - 1))];
}

BENCHMARK(BM_LogicTick)
    ->ArgName("notesPerStem")
    ->Arg(500)
    ->Arg(5000)
    ->Arg(50000)
    ->Iterations(1)
    ->Repetitions(3000)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("p99", percentile99)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
