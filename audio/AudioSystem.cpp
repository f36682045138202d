#include "audio/AudioSystem.h"

#include "audio/Sound.h"
#include "audio/SoundStream.h"
#include "base/Log.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>

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

// Opening is enough: a ten-minute stem is not read just to see it is there.
bool fileExists(const std::string& path) {
    SDL_IOStream* io = SDL_IOFromFile(path.c_str(), "rb");
    if (!io) return false;
    SDL_CloseIO(io);
    return true;
}

Stem::Stem()                           = default;
Stem::~Stem()                          = default;
Stem::Stem(Stem&&) noexcept            = default;
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
        std::cerr << "Failed to create voice group"
                  << "\n";
        return false;
    }
    playing      = false;
    looping      = true;
    bpm          = kDefaultBpm;
    speedFactor  = 1.0f;
    masterVolume = 1.0f;
    setMusicVolume(1.0f);
    std::cout << "SoLoud audio system initialized successfully."
              << "\n";
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
    std::cout << "SoLoud audio system shut down."
              << "\n";
}

namespace {

// The whole file, read and decoded at once: short stems, and the files a
// stream would not open (whose failure is reported here).
bool decodeWhole(const std::string& path, const std::string& normalized, Sound& sound) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path.c_str(), &size);
    if (!data) {
        base::logError("SDL_LoadFile failed for: %s, Error: %s)", path.c_str(), SDL_GetError());
        return false;
    }
    if (size == 0) {
        base::logError("File loaded via SDL is empty (0 bytes): %s", path.c_str());
        SDL_free(data);
        return false;
    }
    const unsigned code = sound.loadMem(data, size);
    SDL_free(data);
    if (code != 0) {
        base::logError("Failed to load audio file: %s  (Error: %u)", normalized.c_str(), code);
        return false;
    }
    return true;
}

constexpr auto kRefillWait = std::chrono::seconds(2);

// Streams go back to their first frame; with wait, playing starts only once
// each has refilled from there. Done after the mixer stopped every voice.
void rewindStreams(std::vector<Stem>& stems, bool wait) {
    for (Stem& stem : stems)
        if (stem.sound && stem.sound->stream()) stem.sound->stream()->restart();
    if (!wait) return;
    for (Stem& stem : stems)
        if (stem.sound && stem.sound->stream() && !stem.sound->stream()->waitFilled(kRefillWait))
            base::logError("Stem not refilled in time: %s", stem.name.c_str());
}

}  // namespace

// A long stem streams from its file; the caller's path is used for the file,
// so a quote that normalising dropped makes it fail rather than load some
// other file.
bool decodeStem(const std::string& path, Stem& stem) {
    const std::string n = normalizePath(path);
    base::logInfo("Loading stem: %s", n.c_str());
    if (!fileExists(n)) {
        base::logError("Error: File does not exist: %s", n.c_str());
        return false;
    }
    auto sound = std::make_unique<Sound>();
    if (!sound->openStream(path) && !decodeWhole(path, n, *sound)) return false;
    stem                    = Stem{};
    stem.midi.lengthSeconds = sound->getLength();
    stem.sound              = std::move(sound);
    stem.name               = fileName(n);
    base::logInfo("Successfully loaded stem: %s", stem.name.c_str());
    return true;
}

bool AudioSystem::loadStem(const std::string& path) {
    Stem stem;
    if (!decodeStem(path, stem)) return false;
    if (looping) stem.sound->setLooping(true);
    stem.index = static_cast<uint32_t>(stems.size());
    stems.push_back(std::move(stem));
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
    std::cout << "Playing all stems with voice group."
              << "\n";
    if (stems.empty()) {
        std::cout << "No stems to play."
                  << "\n";
        return;
    }
    engine.stopAll();
    for (Stem& stem : stems) {
        stem.voice = 0;
        stem.midi.rewind();
    }
    rewindStreams(stems, true);
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
    std::cout << "Playback initiated for " << stems.size() << " stem(s) using voice group."
              << "\n";
}

void AudioSystem::stopAll() {
    std::cout << "Stopping all stems."
              << "\n";
    engine.stopAll();
    for (Stem& stem : stems) {
        stem.voice = 0;
        stem.midi.rewind();
    }
    rewindStreams(stems, false);  // refilled while nothing plays, so the next start need not wait
    playing = false;
    std::cout << "Playback stopped."
              << "\n";
}

void AudioSystem::activateFirstStem() {
    if (stems.empty()) return;
    fadeInStem(0, 1.0f);
    std::cout << "Activated first stem"
              << "\n";
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
    std::cout << "Fading in stem: " << stem.name << " over " << seconds << "s"
              << "\n";
}

void AudioSystem::deactivateStem(int index) {
    if (index < 0 || static_cast<size_t>(index) >= stems.size()) return;
    Stem& stem        = stems[static_cast<size_t>(index)];
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
            stem.fadeProgress  = instant ? 1.0f : stem.fadeProgress + dt / stem.fadeDuration;
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
        std::cout << "Set BPM to " << bpm << " (native tempo, speed factor: " << speedFactor << ")"
                  << "\n";
        if (voiceGroup != 0 && engine.isVoiceGroup(voiceGroup)) engine.setRelativePlaySpeed(voiceGroup, speedFactor);
    } else {
        std::cout << "BPM set to " << bpm << " (no playback speed change needed)"
                  << "\n";
    }
}

// Judging and the circles' timing between two ticks read the clock as it is
// at the frame, not as the last tick saw it; it moves only where dispatching
// would move it.
void AudioSystem::updateStreamTime(double& streamTime, uint64_t& readNs) {
    if (!playing || voiceGroup == 0 || !engine.isVoiceGroup(voiceGroup)) return;
    const bool charted =
        std::any_of(stems.begin(), stems.end(), [](const Stem& stem) { return stem.active && stem.midi.loaded; });
    if (charted) streamTime = playbackTimeNow(engine, voiceGroup, readNs);
}

// The reading's moment is the middle of the call, which may wait for the mixer's lock.
double playbackTimeNow(Mixer& mixer, uint32_t handle, uint64_t& readNs) {
    const uint64_t before = SDL_GetTicksNS();
    const double   time   = mixer.getPlaybackTime(handle);
    readNs                = before + (SDL_GetTicksNS() - before) / 2;
    return time;
}
