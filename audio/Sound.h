// A decoded sound: a whole audio file turned into 44100 Hz stereo 16-bit frames
// once, at load, so nothing is decoded while the music plays. 16-bit halves
// the memory of float (a 10-minute stem takes 106 MB) and is below hearing
// for a game; full scale is 32768. Decoding goes through libsndfile (WAV,
// AIFF, FLAC, Ogg Vorbis, Opus, MP3), the rate and channel conversion through
// SDL. Playing it is the Mixer's business; the Mixer shares the frames, so a
// voice stays safe even if its Sound goes first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class Sound {
public:
    // loadMem results; 0 is success.
    static constexpr unsigned kOk            = 0;
    static constexpr unsigned kNoData        = 1;  // null pointer or zero bytes
    static constexpr unsigned kUnrecognised  = 2;  // not a format the decoder knows
    static constexpr unsigned kDecodeFailed  = 3;  // damaged, truncated or empty stream
    static constexpr unsigned kTooLong       = 4;  // over 2 GiB of decoded samples
    static constexpr unsigned kConvertFailed = 5;  // rate or channel conversion failed

    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels   = 2;

    Sound()                        = default;
    Sound(const Sound&)            = delete;
    Sound& operator=(const Sound&) = delete;
    Sound(Sound&&)                 = default;
    Sound& operator=(Sound&&)      = default;

    // Decodes a whole file image; the bytes are not kept. On failure the sound
    // is left empty and the code says why.
    unsigned                                loadMem(const void* data, size_t size);
    double                                  getLength() const;         // seconds; 0 when empty
    void                                    setLooping(bool looping);  // taken by each voice when it starts
    bool                                    isLooping() const { return looping_; }
    uint64_t                                frameCount() const { return frames_; }
    const int16_t*                          samples() const { return pcm_.get(); }  // interleaved left, right
    const std::shared_ptr<const int16_t[]>& sharedSamples() const { return pcm_; }

private:
    std::shared_ptr<const int16_t[]> pcm_;
    uint64_t                         frames_  = 0;
    bool                             looping_ = false;
};
