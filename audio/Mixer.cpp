#include "audio/Mixer.h"

#include "audio/Sound.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <mutex>

namespace {

constexpr int      kSamplesPerChunk = Mixer::kChunkFrames * Mixer::kChannels;
constexpr int      kFrameBytes      = Mixer::kChannels * static_cast<int>(sizeof(float));
constexpr int      kSlotBits        = 6;  // enough for kMaxVoices and kMaxGroups
constexpr uint32_t kSlotMask        = (1u << kSlotBits) - 1;
constexpr uint32_t kGroupTag        = 0x80000000u;
constexpr uint32_t kSerialMask      = (kGroupTag - 1) >> kSlotBits;
// Below the knee the limiter leaves samples alone; above it they bend smoothly
// toward full scale and never reach past it.
constexpr float kKnee = 0.8f;
// Sounds keep 16-bit samples; the gain ramps carry the step to full scale, so
// the inner loops cost no more than they did on float samples.
constexpr float kSampleScale = 1.0f / 32768.0f;

static_assert(Mixer::kMaxVoices <= (1 << kSlotBits) && Mixer::kMaxGroups <= (1 << kSlotBits));

using Samples = std::shared_ptr<const int16_t[]>;
// Samples taken out of voice slots under the lock, dropped by the caller after
// it lets go: freeing a whole stem is slow, and it must never happen on the
// device thread or while the device thread waits for the lock.
using ReleasedSamples = std::array<Samples, Mixer::kMaxVoices>;

struct Voice {
    uint32_t handle = 0;  // 0: slot free (it may still hold the samples of its last voice)
    Samples  pcm;
    uint64_t frames           = 0;
    double   position         = 0;  // in source frames
    uint64_t streamFrames     = 0;
    float    volume           = 1;
    float    pan              = 0;
    float    speed            = 1;
    float    gainLeft         = 0;  // gains reached at the end of the last chunk
    float    gainRight        = 0;
    bool     looping          = false;
    bool     paused           = false;
    bool     heard            = false;  // mixed at least once; before that gains jump
    double   lastPlaybackTime = 0;      // what getPlaybackTime last said, for monotony
};

struct Group {
    uint32_t                                handle = 0;  // 0: slot free
    int                                     count  = 0;
    std::array<uint32_t, Mixer::kMaxVoices> members{};
};

float leftGain(const Voice& v) { return v.volume * (v.pan > 0 ? 1 - v.pan : 1); }
float rightGain(const Voice& v) { return v.volume * (v.pan < 0 ? 1 + v.pan : 1); }

float softLimit(float s) {
    const float magnitude = std::fabs(s);
    if (magnitude <= kKnee) return s;
    const float bent = kKnee + (1 - kKnee) * std::tanh((magnitude - kKnee) / (1 - kKnee));
    return std::copysign(std::min(bent, 1.0f), s);
}

// Linear gain ramp over one chunk, reaching `to` on its last frame; it
// applies to 16-bit samples, hence the scale.
struct Ramp {
    float from, step;
    Ramp(float fromGain, float toGain)
        : from(fromGain * kSampleScale), step((toGain - fromGain) * kSampleScale / Mixer::kChunkFrames) {}
    float at(int frame) const { return from + step * static_cast<float>(frame + 1); }
};

// Native speed from a whole-frame position: plain adds, wrapping to frame 0
// within the same chunk when looping, so a loop has no gap.
void mixNative(Voice& v, float* out, const Ramp& left, const Ramp& right) {
    const int16_t* pcm = v.pcm.get();
    uint64_t       pos = static_cast<uint64_t>(v.position);
    int            i   = 0;
    while (i < Mixer::kChunkFrames) {
        if (pos >= v.frames) {
            if (!v.looping) break;
            pos = 0;
        }
        const int      run = static_cast<int>(std::min<uint64_t>(Mixer::kChunkFrames - i, v.frames - pos));
        const int16_t* src = pcm + pos * 2;
        for (int k = 0; k < run; ++k) {
            out[2 * (i + k)] += left.at(i + k) * src[2 * k];
            out[2 * (i + k) + 1] += right.at(i + k) * src[2 * k + 1];
        }
        i += run;
        pos += static_cast<uint64_t>(run);
    }
    if (v.looping && pos >= v.frames) pos = 0;
    v.position = static_cast<double>(pos);
}

// Any other speed: linear interpolation; across the loop point the last frame
// blends into the first.
void mixResampled(Voice& v, float* out, const Ramp& left, const Ramp& right) {
    const int16_t* pcm    = v.pcm.get();
    const double   length = static_cast<double>(v.frames);
    double         pos    = v.position;
    for (int i = 0; i < Mixer::kChunkFrames; ++i) {
        if (pos >= length) {
            if (!v.looping) break;
            pos = std::fmod(pos, length);
        }
        const uint64_t i0      = static_cast<uint64_t>(pos);
        const float    frac    = static_cast<float>(pos - static_cast<double>(i0));
        const bool     hasNext = i0 + 1 < v.frames || v.looping;
        const uint64_t i1      = i0 + 1 < v.frames ? i0 + 1 : 0;
        const float    l0 = pcm[2 * i0], r0 = pcm[2 * i0 + 1];
        const float    l1 = hasNext ? pcm[2 * i1] : 0, r1 = hasNext ? pcm[2 * i1 + 1] : 0;
        out[2 * i] += left.at(i) * (l0 + frac * (l1 - l0));
        out[2 * i + 1] += right.at(i) * (r0 + frac * (r1 - r0));
        pos += v.speed;
    }
    if (v.looping && pos >= length) pos = std::fmod(pos, length);
    v.position = pos;
}

bool validSpeed(float speed) { return std::isfinite(speed) && speed > 0; }

}  // namespace

using Clock = std::chrono::steady_clock;

// The device's latest taking of audio: the mix frame it began with, when, and
// how many frames lay ahead of that frame on the way to the speaker (queued
// on the stream plus the device's own buffer).
struct HandOver {
    bool              seen  = false;
    uint64_t          frame = 0;
    Clock::time_point at;
    double            framesAhead = 0;
};

struct MixerEngine {
    mutable std::mutex                   lock;
    bool                                 started      = false;
    bool                                 roundoff     = true;
    Mixer::Output                        output       = Mixer::Output::None;
    SDL_AudioStream*                     stream       = nullptr;
    float                                globalVolume = 1;
    uint32_t                             serial       = 0;
    std::array<Voice, Mixer::kMaxVoices> voices;
    std::array<Group, Mixer::kMaxGroups> groups;
    std::array<float, kSamplesPerChunk>  chunk{};
    int                                  chunkFramesUsed    = Mixer::kChunkFrames;
    uint64_t                             mixedFrames        = 0;  // every chunk mixed so far: the mix cursor
    uint64_t                             handedFrames       = 0;  // of those, handed out
    int                                  deviceBufferFrames = 0;
    HandOver                             handOver;

    uint32_t nextHandle(uint32_t tag, int slot) {
        serial = (serial + 1) & kSerialMask;
        if (serial == 0) serial = 1;
        return tag | serial << kSlotBits | static_cast<uint32_t>(slot);
    }

    Voice* voice(uint32_t handle) {
        if (handle == 0 || (handle & kGroupTag)) return nullptr;
        Voice& v = voices[handle & kSlotMask];
        return v.handle == handle ? &v : nullptr;
    }
    const Voice* voice(uint32_t handle) const { return const_cast<MixerEngine*>(this)->voice(handle); }

    Group* group(uint32_t handle) {
        if (!(handle & kGroupTag) || (handle & kSlotMask) >= Mixer::kMaxGroups) return nullptr;
        Group& g = groups[handle & kSlotMask];
        return g.handle == handle ? &g : nullptr;
    }
    const Group* group(uint32_t handle) const { return const_cast<MixerEngine*>(this)->group(handle); }

    // Runs fn on the voice, or on every live voice of the group.
    template <typename Fn>
    void forEachVoice(uint32_t handle, Fn fn) {
        if (Group* g = group(handle)) {
            for (int i = 0; i < g->count; ++i)
                if (Voice* v = voice(g->members[i])) fn(*v);
        } else if (Voice* v = voice(handle)) {
            fn(*v);
        }
    }

    void dropStaleMembers(Group& g) {
        const auto end = std::remove_if(g.members.begin(), g.members.begin() + g.count,
                                        [this](uint32_t h) { return voice(h) == nullptr; });
        g.count        = static_cast<int>(end - g.members.begin());
    }

    void mixVoice(Voice& v, float* out) {
        if (!v.heard) {
            v.gainLeft  = leftGain(v);
            v.gainRight = rightGain(v);
        }
        const Ramp left(v.gainLeft, leftGain(v)), right(v.gainRight, rightGain(v));
        if (v.speed == 1.0f && v.position == std::floor(v.position)) mixNative(v, out, left, right);
        else mixResampled(v, out, left, right);
        v.gainLeft  = leftGain(v);
        v.gainRight = rightGain(v);
        v.heard     = true;
        v.streamFrames += Mixer::kChunkFrames;
    }

    void mixChunk() {
        chunk.fill(0.0f);
        for (Voice& v : voices) {
            if (v.handle == 0 || v.paused) continue;
            mixVoice(v, chunk.data());
            if (!v.looping && v.position >= static_cast<double>(v.frames))
                v.handle = 0;  // samples stay for the game's thread
        }
        for (float& s : chunk) {
            s *= globalVolume;
            s = roundoff ? softLimit(s) : std::clamp(s, -1.0f, 1.0f);
        }
        chunkFramesUsed = 0;
        mixedFrames += Mixer::kChunkFrames;
    }

    // Mix frames heard by now: the frame handed over last reaches the speaker
    // once the frames ahead of it have played, and the speaker then moves on
    // in real time. Audio not mixed yet cannot be playing, whatever the wait.
    double framesHeard(Clock::time_point now) const {
        const double since = std::chrono::duration<double>(now - handOver.at).count();
        const double heard = static_cast<double>(handOver.frame) - handOver.framesAhead + since * Mixer::kSampleRate;
        return std::min(heard, static_cast<double>(mixedFrames));
    }

    // The voice's clock at what is heard now. It never steps back by less than
    // a chunk (the estimate wobbles with the device's timing); further back
    // means the device stalled or changed, and the estimate is taken as it is.
    double playbackTime(Voice& v, Clock::time_point now) {
        const double unheard      = static_cast<double>(mixedFrames) - framesHeard(now);
        double       time         = std::max(0.0, static_cast<double>(v.streamFrames) - unheard) / Mixer::kSampleRate;
        const double chunkSeconds = static_cast<double>(Mixer::kChunkFrames) / Mixer::kSampleRate;
        if (time < v.lastPlaybackTime && v.lastPlaybackTime - time <= chunkSeconds) time = v.lastPlaybackTime;
        v.lastPlaybackTime = time;
        return time;
    }

    // The next frames of the mix; a new chunk is mixed whenever the last one
    // has been handed out whole.
    void pull(float* out, size_t frames) {
        while (frames > 0) {
            if (chunkFramesUsed == Mixer::kChunkFrames) mixChunk();
            const size_t n = std::min<size_t>(frames, Mixer::kChunkFrames - chunkFramesUsed);
            std::memcpy(out, chunk.data() + chunkFramesUsed * Mixer::kChannels, n * kFrameBytes);
            out += n * Mixer::kChannels;
            frames -= n;
            chunkFramesUsed += static_cast<int>(n);
            handedFrames += n;
        }
    }

    // The first voice of a group, or the voice itself.
    Voice* clockVoice(uint32_t handle) {
        Voice* v = voice(handle);
        if (const Group* g = group(handle)) {
            for (int i = 0; i < g->count && !v; ++i) v = voice(g->members[i]);
        }
        return v;
    }

    void clearVoices(ReleasedSamples& released) {
        for (size_t i = 0; i < voices.size(); ++i) {
            released[i] = std::move(voices[i].pcm);
            voices[i]   = Voice{};
        }
    }

    void reset(ReleasedSamples& released) {
        clearVoices(released);
        groups.fill(Group{});
        globalVolume    = 1;
        chunkFramesUsed = Mixer::kChunkFrames;
        mixedFrames     = 0;
        handedFrames    = 0;
        handOver        = HandOver{};
        started         = false;
    }
};

namespace {

// SDL asks for bytes on its device thread; we answer in whole frames. What is
// still queued on the stream plays before what we add now.
void SDLCALL feedDevice(void* user, SDL_AudioStream* stream, int additionalBytes, int) {
    auto*                               engine       = static_cast<MixerEngine*>(user);
    const Clock::time_point             now          = Clock::now();
    const int                           queuedFrames = std::max(SDL_GetAudioStreamQueued(stream), 0) / kFrameBytes;
    std::array<float, kSamplesPerChunk> buffer;
    int                                 wanted = (additionalBytes + kFrameBytes - 1) / kFrameBytes;
    bool                                first  = true;
    while (wanted > 0) {
        const int n = std::min(wanted, Mixer::kChunkFrames);
        {
            std::lock_guard guard(engine->lock);
            if (first && engine->started)
                engine->handOver = {true, engine->handedFrames, now,
                                    static_cast<double>(queuedFrames + engine->deviceBufferFrames)};
            if (engine->started) engine->pull(buffer.data(), static_cast<size_t>(n));
            else std::fill_n(buffer.begin(), n * Mixer::kChannels, 0.0f);
        }
        first = false;
        SDL_PutAudioStreamData(stream, buffer.data(), n * kFrameBytes);
        wanted -= n;
    }
}

SDL_AudioStream* openDevice(MixerEngine* engine) {
    if (!SDL_InitSubSystem(SDL_INIT_AUDIO)) return nullptr;
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_SAMPLE_FRAMES, "2048");
    const SDL_AudioSpec format{SDL_AUDIO_F32, Mixer::kChannels, Mixer::kSampleRate};
    SDL_AudioStream* stream = SDL_OpenAudioDeviceStream(SDL_AUDIO_DEVICE_DEFAULT_PLAYBACK, &format, feedDevice, engine);
    if (!stream) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return stream;
}

// The device's own buffer, in frames; the hint's size when SDL will not say.
int deviceBufferFrames(SDL_AudioStream* stream) {
    SDL_AudioSpec format{};
    int           frames = 0;
    if (!SDL_GetAudioDeviceFormat(SDL_GetAudioStreamDevice(stream), &format, &frames) || frames <= 0)
        return Mixer::kChunkFrames;
    return frames;
}

}  // namespace

Mixer::Mixer() : engine_(std::make_unique<MixerEngine>()) {}

Mixer::~Mixer() { deinit(); }

// SDL is never called with our lock held: its device thread holds SDL's own
// lock while it waits for ours in the callback. The device opens paused, so
// nothing is pulled before the state below is set.
unsigned Mixer::init(unsigned flags, Output output) {
    {
        std::lock_guard guard(engine_->lock);
        if (engine_->started) return kAlreadyStarted;
    }
    SDL_AudioStream* stream       = nullptr;
    int              bufferFrames = 0;
    if (output == Output::Device) {
        stream = openDevice(engine_.get());
        if (!stream) {
            std::cerr << "Failed to open the audio device: " << SDL_GetError() << '\n';
            return kDeviceFailed;
        }
        bufferFrames = deviceBufferFrames(stream);
    }
    ReleasedSamples released;
    {
        std::lock_guard guard(engine_->lock);
        engine_->reset(released);
        engine_->roundoff           = (flags & kClipRoundoff) != 0;
        engine_->output             = output;
        engine_->stream             = stream;
        engine_->deviceBufferFrames = bufferFrames;
        engine_->started            = true;
    }
    if (stream) SDL_ResumeAudioStreamDevice(stream);
    return kOk;
}

// The stream is destroyed outside the lock, for the same reason.
void Mixer::deinit() {
    SDL_AudioStream* stream = nullptr;
    ReleasedSamples  released;
    {
        std::lock_guard guard(engine_->lock);
        if (!engine_->started) return;
        stream          = engine_->stream;
        engine_->stream = nullptr;
        engine_->reset(released);
    }
    if (stream) {
        SDL_DestroyAudioStream(stream);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

uint32_t Mixer::createVoiceGroup() {
    std::lock_guard guard(engine_->lock);
    if (!engine_->started) return 0;
    for (int slot = 0; slot < kMaxGroups; ++slot) {
        Group& g = engine_->groups[slot];
        if (g.handle != 0) continue;
        g        = Group{};
        g.handle = engine_->nextHandle(kGroupTag, slot);
        return g.handle;
    }
    return 0;
}

bool Mixer::addVoiceToGroup(uint32_t group, uint32_t voice) {
    std::lock_guard guard(engine_->lock);
    Group*          g = engine_->group(group);
    if (!g || !engine_->voice(voice)) return false;
    engine_->dropStaleMembers(*g);
    const auto end = g->members.begin() + g->count;
    if (std::find(g->members.begin(), end, voice) != end) return true;
    g->members[g->count++] = voice;  // room is certain: at most kMaxVoices live voices
    return true;
}

bool Mixer::isVoiceGroup(uint32_t group) const {
    std::lock_guard guard(engine_->lock);
    return engine_->group(group) != nullptr;
}

void Mixer::destroyVoiceGroup(uint32_t group) {
    std::lock_guard guard(engine_->lock);
    if (Group* g = engine_->group(group)) *g = Group{};
}

uint32_t Mixer::play(const Sound& sound, float volume, float pan, bool paused) {
    Samples         previous;  // of the slot's last voice, dropped after the lock
    std::lock_guard guard(engine_->lock);
    if (!engine_->started || sound.frameCount() == 0) return 0;
    for (int slot = 0; slot < kMaxVoices; ++slot) {
        Voice& v = engine_->voices[slot];
        if (v.handle != 0) continue;
        previous  = std::move(v.pcm);
        v         = Voice{};
        v.handle  = engine_->nextHandle(0, slot);
        v.pcm     = sound.sharedSamples();
        v.frames  = sound.frameCount();
        v.looping = sound.isLooping();
        v.paused  = paused;
        v.volume  = std::isfinite(volume) ? std::max(volume, 0.0f) : 0.0f;
        v.pan     = std::isfinite(pan) ? std::clamp(pan, -1.0f, 1.0f) : 0.0f;
        return v.handle;
    }
    return 0;
}

void Mixer::setVolume(uint32_t handle, float volume) {
    if (!std::isfinite(volume)) return;
    std::lock_guard guard(engine_->lock);
    engine_->forEachVoice(handle, [volume](Voice& v) { v.volume = std::max(volume, 0.0f); });
}

void Mixer::setRelativePlaySpeed(uint32_t handle, float speed) {
    if (!validSpeed(speed)) return;
    std::lock_guard guard(engine_->lock);
    engine_->forEachVoice(handle, [speed](Voice& v) { v.speed = speed; });
}

void Mixer::setPause(uint32_t handle, bool paused) {
    std::lock_guard guard(engine_->lock);
    engine_->forEachVoice(handle, [paused](Voice& v) { v.paused = paused; });
}

bool Mixer::isValidVoiceHandle(uint32_t voice) const {
    std::lock_guard guard(engine_->lock);
    return engine_->voice(voice) != nullptr;
}

void Mixer::stopAll() {
    ReleasedSamples released;
    std::lock_guard guard(engine_->lock);
    engine_->clearVoices(released);
    for (Group& g : engine_->groups) g.count = 0;
}

void Mixer::setGlobalVolume(float volume) {
    if (!std::isfinite(volume)) return;
    std::lock_guard guard(engine_->lock);
    engine_->globalVolume = std::max(volume, 0.0f);
}

double Mixer::getStreamTime(uint32_t handle) const {
    std::lock_guard guard(engine_->lock);
    const Voice*    v = engine_->clockVoice(handle);
    return v ? static_cast<double>(v->streamFrames) / kSampleRate : 0.0;
}

double Mixer::getPlaybackTime(uint32_t handle) {
    std::lock_guard guard(engine_->lock);
    Voice*          v = engine_->clockVoice(handle);
    if (!v) return 0.0;
    if (engine_->output != Output::Device || !engine_->handOver.seen)
        return static_cast<double>(v->streamFrames) / kSampleRate;
    return engine_->playbackTime(*v, Clock::now());
}

bool Mixer::mix(float* out, size_t frames) {
    if (!out) return false;
    std::lock_guard guard(engine_->lock);
    if (!engine_->started || engine_->output != Output::None) {
        std::fill_n(out, frames * kChannels, 0.0f);
        return false;
    }
    engine_->pull(out, frames);
    return true;
}
