// The stem mixer: plays decoded Sounds on SDL's default playback device as
// 44100 Hz stereo float, mixed in chunks of 2048 frames. Voices and voice
// groups are named by 32-bit handles, 0 meaning none; a call on a stale or
// unknown handle does nothing. Voices move forward only inside the mix pass,
// all by the same frames, so voices started between the same two chunks stay
// sample-aligned for good. Every call takes the mixer's own lock, so the main
// thread, the logic thread and the device thread may all use it. A voice keeps
// its sound's samples alive; when it ends in the mix they stay in its slot
// until play, stopAll or deinit frees them on the caller's thread, outside the
// lock. Fades, stems and what the clock means are left to the audio system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class Sound;
struct MixerEngine;

class Mixer {
public:
    static constexpr unsigned kClipRoundoff = 1;  // init flag: smooth limiter rather than a hard clip

    // init results; 0 is success.
    static constexpr unsigned kOk             = 0;
    static constexpr unsigned kAlreadyStarted = 1;
    static constexpr unsigned kDeviceFailed   = 2;  // a one-line message with SDL's reason went to stderr

    static constexpr int kSampleRate  = 44100;
    static constexpr int kChannels    = 2;
    static constexpr int kChunkFrames = 2048;
    static constexpr int kMaxVoices   = 64;
    static constexpr int kMaxGroups   = 16;

    // Device: SDL's default playback device pulls the mix. None: nothing is
    // opened and mix() pulls it (tests, benchmarks).
    enum class Output { Device, None };

    Mixer();
    ~Mixer();  // shuts down if still running
    Mixer(const Mixer&)            = delete;
    Mixer& operator=(const Mixer&) = delete;

    // init and deinit come from one thread (the main thread); the rest from any.
    unsigned init(unsigned flags = kClipRoundoff, Output output = Output::Device);
    void     deinit();  // closes the device, stops every voice, forgets every group

    uint32_t createVoiceGroup();  // 0 when none is left
    bool     addVoiceToGroup(uint32_t group, uint32_t voice);
    bool     isVoiceGroup(uint32_t group) const;
    void     destroyVoiceGroup(uint32_t group);  // its voices play on

    // Starts at the next chunk; 0 when not started, the sound is empty or
    // every voice is busy. Pan -1 is left only, 0 both at full, 1 right only.
    // The device may mix a chunk between two plays: voices that must start in
    // the same sample are played paused, grouped, and the group unpaused.
    uint32_t play(const Sound& sound, float volume = 1.0f, float pan = 0.0f, bool paused = false);
    // These three take a voice or a group (then every voice in it). A change
    // of volume glides over the next chunk, so cuts and fades never click; a
    // voice not mixed yet takes it at once.
    void setVolume(uint32_t handle, float volume);
    void setRelativePlaySpeed(uint32_t handle, float speed);  // > 0; 1 is native
    void setPause(uint32_t handle, bool paused);              // a paused voice keeps its place and its clock
    bool isValidVoiceHandle(uint32_t voice) const;            // false for groups
    void stopAll();
    void setGlobalVolume(float volume);
    // Seconds of audio mixed for the voice while unpaused, in whole chunks;
    // for a group, its first live voice's. Keeps growing across loops.
    double getStreamTime(uint32_t handle) const;
    // The same clock at what the speaker plays now: from the device's latest
    // taking of audio it runs on in real time, less the audio queued ahead of
    // the speaker; never past what is mixed, never back by less than a chunk.
    // Without a device it is the stream time, exact and deterministic.
    double getPlaybackTime(uint32_t handle);

    // Output::None only: the next frames of the mix, interleaved stereo.
    // False (and silence) when the mixer is not started that way.
    bool mix(float* out, size_t frames);

private:
    std::unique_ptr<MixerEngine> engine_;
};
