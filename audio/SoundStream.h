// A long sound read from its file while it plays. A decoder thread of its own
// keeps a few seconds of 44100 Hz stereo 16-bit frames ahead of the mix in a
// ring, converted there from the file's rate and channels, so a ten-minute
// stem costs its ring rather than its whole PCM. The mix takes frames without
// a lock and never waits: frames not decoded in time play as silence, are
// counted, and the first such underrun is logged. A looping stream wraps to
// its first frame at the end with nothing dropped or added, so it stays on the
// same sample as a fully decoded twin and as the other stems. One consumer at
// a time (the Mixer plays a stream with one voice); restart and destruction
// come from the owner's thread while no voice plays it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct StreamDecoder;

class SoundStream {
public:
    static constexpr uint64_t kRingFrames    = uint64_t{1} << 17;  // about 3 s
    static constexpr uint64_t kPrefillFrames = kRingFrames / 2;

    SoundStream();
    ~SoundStream();  // stops and joins the decoder
    SoundStream(const SoundStream&)            = delete;
    SoundStream& operator=(const SoundStream&) = delete;

    // Opens the file and starts decoding when it lasts at least minSeconds;
    // false, with nothing started, when it is shorter, of unknown length,
    // unreadable or not audio (a whole decode then says why).
    bool     open(const std::string& path, double minSeconds);
    uint64_t frameCount() const;  // of one pass, at the mix rate
    void     setLooping(bool looping);

    // Mix side. The next frames, interleaved; silence past what is decoded.
    // Returns how many were due, fewer only at the end of a non-looping pass.
    size_t read(int16_t* out, size_t frames);
    // The same, first waiting up to the timeout for them: for an offline mix,
    // which may run ahead of real time.
    size_t readWaiting(int16_t* out, size_t frames, std::chrono::milliseconds timeout);

    // Owner side. Back to the first frame (nothing happens when no frame has
    // been taken since); the decoder refills from there.
    void     restart();
    bool     waitFilled(std::chrono::milliseconds timeout);  // prefilled, or the pass ended
    uint64_t underruns() const;

private:
    std::unique_ptr<StreamDecoder> decoder_;
};
