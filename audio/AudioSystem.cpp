#include "audio/AudioSystem.h"

#include "audio/Sound.h"
#include "game/GameLogic.h"
#include "midi/MidiFile.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

constexpr float kDefaultBpm     = 120.0f;
constexpr int   kCentrePan      = 64;
constexpr int   kMidiChannels   = 16;
constexpr int   kPanController  = 10;
constexpr float kSameTempoSlack = 0.01f;

// The first tempo event of the merged track decides the chart's BPM; later
// ones only shape the events' seconds.
float firstTempo(MidiFile& file) {
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& event = file.event(t, i);
            if (!event.isTempo()) continue;
            const float bpm = static_cast<float>(event.tempoBpm());
            std::printf("Found MIDI tempo: %.1f BPM", bpm);
            std::printf("\n");
            return bpm;
        }
    }
    return kDefaultBpm;
}

// Every note-on and note-off in file order, each with the pan its channel had
// at that point.
std::vector<MidiNoteEvent> noteEvents(MidiFile& file) {
    std::vector<MidiNoteEvent> events;
    std::array<int, kMidiChannels> pan;
    pan.fill(kCentrePan);
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& event = file.event(t, i);
            const int channel = event.channel();
            const bool knownChannel = channel >= 0 && channel < kMidiChannels;
            if (event.isController() && event.controllerNumber() == kPanController && knownChannel) {
                pan[channel] = event.controllerValue();
            }
            if (!event.isNoteOn() && !event.isNoteOff()) continue;
            MidiNoteEvent note;
            note.note     = event.keyNumber();
            note.velocity = event.velocity();
            note.pan      = knownChannel ? pan[channel] : kCentrePan;
            note.time     = event.seconds;
            note.duration = event.isNoteOn() ? event.durationSeconds() : 0.0;
            note.tick     = event.tick;
            note.isNoteOn = event.isNoteOn();
            note.channel  = channel;
            note.track    = t;
            events.push_back(note);
        }
    }
    return events;
}

// This pass's window of the song. On a looping stem the window is taken on
// loop positions and may wrap past the loop end; otherwise it runs from the
// last dispatch to now. Open below, closed above, so an event never fires twice.
struct DispatchWindow {
    double from    = 0.0;
    double to      = 0.0;
    bool   wrapped = false;
};

using EventIterator = std::vector<MidiNoteEvent>::const_iterator;

EventIterator firstAfter(const std::vector<MidiNoteEvent>& events, double time) {
    return std::upper_bound(events.begin(), events.end(), time,
                            [](double t, const MidiNoteEvent& event) { return t < event.time; });
}

// The events of the window in list order, found by binary search in the
// time-sorted list: a wrapped window is the start of the song up to `to`,
// then everything after `from`.
template <typename Fn>
void forEachInWindow(const std::vector<MidiNoteEvent>& events, const DispatchWindow& window, Fn fire) {
    const EventIterator upTo = firstAfter(events, window.to);
    if (window.wrapped) {
        for (auto it = events.begin(); it != upTo; ++it) fire(*it);
        for (auto it = firstAfter(events, window.from); it != events.end(); ++it) fire(*it);
        return;
    }
    for (auto it = firstAfter(events, window.from); it < upTo; ++it) fire(*it);
}

DispatchWindow windowFor(const StemMidi& midi, double now, bool looping) {
    const double length = midi.lengthSeconds;
    if (!looping || length <= 0.0) return {midi.lastDispatchTime, now, false};
    const double position = std::fmod(now, length);
    const double previous = std::fmod(midi.lastDispatchTime, length);
    return {previous, position, previous > position};
}

void printLine(FILE* stream, const char* format, const char* text) {
    std::fprintf(stream, format, text);
    std::fprintf(stream, "\n");
}

}  // namespace

std::string normalizePath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c == '"') continue;
        out.push_back(c == '\\' ? '/' : c);
    }
    return out;
}

std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fileExists(const std::string& path) {
    void* data = SDL_LoadFile(path.c_str(), nullptr);
    if (!data) return false;
    SDL_free(data);
    return true;
}

StemMidi::StemMidi() = default;
StemMidi::~StemMidi() = default;
StemMidi::StemMidi(StemMidi&&) noexcept = default;
StemMidi& StemMidi::operator=(StemMidi&&) noexcept = default;

void StemMidi::rewind() {
    lastDispatchTime = 0.0;
    loopCount        = 0;
    lastStreamTime   = 0.0;
    spawnedNotes.clear();
}

bool StemMidi::load(const std::string& midiPath) {
    const std::string n = normalizePath(midiPath);
    printLine(stdout, "Loading MIDI file: %s", n.c_str());
    if (!fileExists(n)) {
        printLine(stderr, "Error: MIDI file does not exist: %s", n.c_str());
        return false;
    }
    file = std::make_unique<MidiFile>();
    if (!loadMidiAsset(n, *file)) {
        printLine(stderr, "Failed to load MIDI file using asset loader: %s", n.c_str());
        return false;
    }
    printLine(stdout, "Loaded MIDI file: %s", n.c_str());
    path             = n;
    lastDispatchTime = 0.0;
    loaded           = true;

    file->computeEventTimes();
    file->pairNotes();
    file->mergeTracks();
    bpm    = firstTempo(*file);
    events = noteEvents(*file);
    std::sort(events.begin(), events.end(),
              [](const MidiNoteEvent& a, const MidiNoteEvent& b) { return a.time < b.time; });

    std::printf("Successfully loaded MIDI file: %s with %zu note events (native BPM: %.1f)",
                fileName(n).c_str(), events.size(), bpm);
    std::printf("\n");
    return true;
}

void StemMidi::scaleToBpm(float songBpm) {
    if (!loaded || events.empty()) return;
    const float ratio = bpm / songBpm;
    // A tempo of 0, below 0 or not a number would push every note to infinity
    // (or nowhere) and silently empty the level; the file's own timing is the
    // better fallback.
    if (!(songBpm > 0.0f) || !std::isfinite(songBpm) || !std::isfinite(ratio)) {
        std::fprintf(stderr, "Cannot scale MIDI timing to a song BPM of %.1f, keeping the MIDI file's own %.1f BPM",
                     songBpm, bpm);
        std::fprintf(stderr, "\n");
        return;
    }
    if (std::fabs(ratio - 1.0f) < kSameTempoSlack) {
        std::printf("MIDI BPM (%.1f) matches audio BPM (%.1f), no scaling needed", bpm, songBpm);
        std::printf("\n");
        return;
    }
    std::printf("Scaling MIDI timing: MIDI BPM %.1f -> Audio BPM %.1f (ratio: %.3f)", bpm, songBpm, ratio);
    std::printf("\n");
    for (MidiNoteEvent& event : events) {
        event.time *= ratio;
        event.duration *= ratio;
    }
    bpm = songBpm;
    std::printf("MIDI events scaled to match audio BPM (%.1f)", songBpm);
    std::printf("\n");
}

Stem::Stem() = default;
Stem::~Stem() = default;
Stem::Stem(Stem&&) noexcept = default;
Stem& Stem::operator=(Stem&&) noexcept = default;

bool AudioSystem::init() { return init(Mixer::Output::Device); }

bool AudioSystem::init(Mixer::Output output) {
    const unsigned code = engine.init(Mixer::kClipRoundoff, output);
    if (code != 0) {
        std::cerr << "Failed to initialize SoLoud: Error code " << code << "\n";
        return false;
    }
    voiceGroup = engine.createVoiceGroup();
    if (voiceGroup == 0) {
        std::cerr << "Failed to create voice group" << "\n";
        return false;
    }
    playing      = false;
    looping      = true;
    bpm          = kDefaultBpm;
    speedFactor  = 1.0f;
    masterVolume = 1.0f;
    setMusicVolume(1.0f);
    std::cout << "SoLoud audio system initialized successfully." << "\n";
    return true;
}

void AudioSystem::shutdown() {
    engine.stopAll();
    if (voiceGroup != 0) {
        engine.destroyVoiceGroup(voiceGroup);
        voiceGroup = 0;
    }
    clearStems();
    engine.deinit();
    std::cout << "SoLoud audio system shut down." << "\n";
}

bool AudioSystem::loadStem(const std::string& path) {
    const std::string n = normalizePath(path);
    printLine(stdout, "Loading stem: %s", n.c_str());
    if (!fileExists(n)) {
        printLine(stderr, "Error: File does not exist: %s", n.c_str());
        return false;
    }
    // The read uses the caller's path: a quote that normalising dropped makes
    // it fail here rather than load some other file.
    size_t size = 0;
    void* data = SDL_LoadFile(path.c_str(), &size);
    if (!data) {
        std::fprintf(stderr, "SDL_LoadFile failed for: %s, Error: %s)", path.c_str(), SDL_GetError());
        std::fprintf(stderr, "\n");
        return false;
    }
    if (size == 0) {
        printLine(stderr, "File loaded via SDL is empty (0 bytes): %s", path.c_str());
        SDL_free(data);
        return false;
    }
    auto sound = std::make_unique<Sound>();
    const unsigned code = sound->loadMem(data, size);
    SDL_free(data);
    if (code != 0) {
        std::fprintf(stderr, "Failed to load audio file: %s  (Error: %u)", n.c_str(), code);
        std::fprintf(stderr, "\n");
        return false;
    }
    if (looping) sound->setLooping(true);

    Stem stem;
    stem.midi.lengthSeconds = sound->getLength();
    stem.sound = std::move(sound);
    stem.name  = fileName(n);
    stem.index = static_cast<uint32_t>(stems.size());
    stems.push_back(std::move(stem));
    printLine(stdout, "Successfully loaded stem: %s", stems.back().name.c_str());
    return true;
}

bool AudioSystem::loadStemWithMidi(const std::string& audioPath, const std::string& midiPath) {
    if (!loadStem(audioPath)) return false;
    return stems.back().midi.load(midiPath);
}

void AudioSystem::clearStems() { stems.clear(); }

// Voices are started paused and released together through the group: the
// device thread may mix a chunk between two plays, and stems that started a
// chunk apart would stay a chunk apart for the whole song.
void AudioSystem::setMusicVolume(float volume) {
    musicVolume = std::clamp(volume, 0.0f, 1.0f);
    engine.setGlobalVolume(musicVolume);
}

void AudioSystem::playAll() {
    std::cout << "Playing all stems with voice group." << "\n";
    if (stems.empty()) {
        std::cout << "No stems to play." << "\n";
        return;
    }
    engine.stopAll();
    for (Stem& stem : stems) {
        stem.voice = 0;
        stem.midi.rewind();
    }
    for (Stem& stem : stems) {
        if (!stem.sound) continue;
        stem.sound->setLooping(looping);
        stem.voice = engine.play(*stem.sound, 0.0f, 0.0f, true);
        if (stem.voice == 0) continue;
        engine.addVoiceToGroup(voiceGroup, stem.voice);
        engine.setVolume(stem.voice, (stem.active ? stem.volume : 0.0f) * masterVolume);
        engine.setRelativePlaySpeed(stem.voice, speedFactor);
    }
    engine.setPause(voiceGroup, false);
    playing = true;
    std::cout << "Playback initiated for " << stems.size() << " stem(s) using voice group." << "\n";
}

void AudioSystem::stopAll() {
    std::cout << "Stopping all stems." << "\n";
    engine.stopAll();
    for (Stem& stem : stems) {
        stem.voice = 0;
        stem.midi.rewind();
    }
    playing = false;
    std::cout << "Playback stopped." << "\n";
}

void AudioSystem::activateFirstStem() {
    if (stems.empty()) return;
    fadeInStem(0, 1.0f);
    std::cout << "Activated first stem" << "\n";
}

void AudioSystem::fadeInStem(int index, float seconds) {
    if (index < 0 || static_cast<size_t>(index) >= stems.size()) return;
    Stem& stem = stems[static_cast<size_t>(index)];
    if (stem.active) return;
    stem.fadeDuration = seconds;
    stem.active       = true;
    stem.fading       = true;
    stem.fadeProgress = 0.0f;
    stem.volume       = 0.0f;
    std::cout << "Fading in stem: " << stem.name << " over " << seconds << "s" << "\n";
}

void AudioSystem::deactivateStem(int index) {
    if (index < 0 || static_cast<size_t>(index) >= stems.size()) return;
    Stem& stem = stems[static_cast<size_t>(index)];
    stem.active       = false;
    stem.fading       = false;
    stem.volume       = 0.0f;
    stem.fadeProgress = 0.0f;
    if (stem.voice != 0 && engine.isValidVoiceHandle(stem.voice)) engine.setVolume(stem.voice, 0.0f);
    std::cout << "Deactivated stem: " << stem.name << "\n";
}

void AudioSystem::update(float dt) {
    for (Stem& stem : stems) {
        if (stem.fading) {
            // A fade of no length (or a nonsense one) completes at once; dividing
            // by it could leave the progress NaN and the stem silent for good.
            const bool instant = !(stem.fadeDuration > 0.0f) || !std::isfinite(stem.fadeDuration);
            stem.fadeProgress = instant ? 1.0f : stem.fadeProgress + dt / stem.fadeDuration;
            if (stem.fadeProgress >= 1.0f) {
                stem.fadeProgress = 1.0f;
                stem.fading       = false;
            }
            stem.volume = stem.fadeProgress;
        }
        if (stem.voice != 0 && engine.isValidVoiceHandle(stem.voice)) {
            engine.setVolume(stem.voice, stem.active ? masterVolume * stem.volume : 0.0f);
        }
    }
}

void AudioSystem::setBpm(float newBpm) {
    bpm = newBpm;
    if (std::fabs(1.0f - speedFactor) > 0.01f) {
        speedFactor = 1.0f;
        std::cout << "Set BPM to " << bpm << " (native tempo, speed factor: " << speedFactor << ")" << "\n";
        if (voiceGroup != 0 && engine.isVoiceGroup(voiceGroup)) engine.setRelativePlaySpeed(voiceGroup, speedFactor);
    } else {
        std::cout << "BPM set to " << bpm << " (no playback speed change needed)" << "\n";
    }
}

// Judging and the circles' timing between two ticks read the clock as it is
// at the frame, not as the last tick saw it; it moves only where dispatching
// would move it.
void AudioSystem::updateStreamTime(GameLogic& game) {
    if (!playing || voiceGroup == 0 || !engine.isVoiceGroup(voiceGroup)) return;
    const bool charted = std::any_of(stems.begin(), stems.end(),
                                     [](const Stem& stem) { return stem.active && stem.midi.loaded; });
    if (!charted) return;
    game.streamTime = playbackTimeNow(engine, voiceGroup, game.streamClockNs);
}

// The reading's moment is the middle of the call, which may wait for the mixer's lock.
double playbackTimeNow(Mixer& mixer, uint32_t handle, uint64_t& readNs) {
    const uint64_t before = SDL_GetTicksNS();
    const double   time   = mixer.getPlaybackTime(handle);
    readNs                = before + (SDL_GetTicksNS() - before) / 2;
    return time;
}

void AudioSystem::dispatchMidi(GameLogic& game, RenderState* render) {
    if (!playing || voiceGroup == 0 || !engine.isVoiceGroup(voiceGroup)) return;
    const double now = engine.getPlaybackTime(voiceGroup);
    std::vector<MidiNoteEvent> fired;
    for (size_t i = 0; i < stems.size(); ++i) {
        StemMidi& midi = stems[i].midi;
        if (!midi.loaded || !stems[i].active) continue;
        if (looping && midi.lengthSeconds > 0.0 && now < midi.lastStreamTime) {
            ++midi.loopCount;
            midi.lastDispatchTime = 0.0;
        }
        midi.lastStreamTime = now;
        game.streamTime     = now;
        game.streamClockNs  = SDL_GetTicksNS();
        forEachInWindow(midi.events, windowFor(midi, now, looping), [&](const MidiNoteEvent& event) {
            MidiNoteEvent copy = event;
            copy.stemIndex = static_cast<int32_t>(i);
            fired.push_back(copy);
            if (game.noteCallback && render) game.noteCallback(copy, render);
        });
        midi.lastDispatchTime = now;
    }
    if (fired.size() > 2) std::cout << "MIDI: Triggered " << fired.size() << " events (master clock)" << "\n";
    game.triggeredEvents.insert(game.triggeredEvents.end(), fired.begin(), fired.end());
}
