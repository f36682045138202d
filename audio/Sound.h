// A sound for the Mixer, as 44100 Hz stereo 16-bit frames. A short one is a
// whole audio file decoded once, at load, so nothing is decoded while it
// plays; a long one (openStream) is read from its file ahead of the mix on a
// thread of its own, so a ten-minute stem costs a ring of a few seconds
// instead of 106 MB (audio/SoundStream.h). 16-bit is below hearing for a
// game; full scale is 32768. Decoding goes through libsndfile (WAV, AIFF,
// FLAC, Ogg Vorbis, Opus, MP3), the rate and channel conversion through SDL.
// Playing it is the Mixer's business; the Mixer shares the frames or the
// stream, so a voice stays safe even if its Sound goes first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class SoundStream;

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
    // Files at least this long are streamed rather than decoded whole.
    static constexpr double kStreamAfterSeconds = 30.0;

    Sound()                        = default;
    Sound(const Sound&)            = delete;
    Sound& operator=(const Sound&) = delete;
    Sound(Sound&&)                 = default;
    Sound& operator=(Sound&&)      = default;

    // Decodes a whole file image; the bytes are not kept. On failure the sound
    // is left empty and the code says why.
    unsigned loadMem(const void* data, size_t size);
    // The file image's own rate and frame count from its header, nothing
    // decoded (frames 0 when the header does not say); false when unreadable.
    static bool probe(const void* data, size_t size, int& sampleRate, uint64_t& frames);
    // Streams the file when it lasts at least minSeconds, returning once the
    // decoder has filled what plays first; false leaves the sound empty and
    // the file to loadMem (too short, or unreadable: loadMem says why).
    bool           openStream(const std::string& path, double minSeconds = kStreamAfterSeconds);
    double         getLength() const;         // seconds; 0 when empty
    void           setLooping(bool looping);  // taken by each voice when it starts
    bool           isLooping() const { return looping_; }
    uint64_t       frameCount() const { return frames_; }  // of one pass
    const int16_t* samples() const { return pcm_.get(); }  // interleaved left, right
    const std::shared_ptr<const int16_t[]>& sharedSamples() const { return pcm_; }
    const std::shared_ptr<SoundStream>&     stream() const { return stream_; }  // null unless streamed

private:
    std::shared_ptr<const int16_t[]> pcm_;
    std::shared_ptr<SoundStream>     stream_;
    uint64_t                         frames_  = 0;
    bool                             looping_ = false;
};
