#include "audio/SoundStream.h"

#include "audio/Sound.h"
#include "audio/SoundFile.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint64_t kNoEnd       = UINT64_MAX;
constexpr int      kBlockFrames = 4096;  // frames of mix output per decoding step
constexpr int      kFrameBytes  = Sound::kChannels * static_cast<int>(sizeof(int16_t));
// A full ring lasts seconds, so a decoder that finds it full may sleep a while.
constexpr auto kIdleWait = 10ms;

struct CloseIo {
    void operator()(SDL_IOStream* io) const { SDL_CloseIO(io); }
};
struct DestroyConverter {
    void operator()(SDL_AudioStream* stream) const { SDL_DestroyAudioStream(stream); }
};

}  // namespace

// Positions count frames of the stream since the last restart; the ring slot
// of position p is p % kRingFrames. The decoder alone moves `written`, the mix
// alone moves `taken`; a slot is written only once the mix has passed the
// position a ring length before it. After an underrun `taken` runs ahead of
// `written` and the decoder's frames below it are never read: the stream
// stays on time and catches up.
struct StreamDecoder {
    std::string                                          path;
    std::unique_ptr<SDL_IOStream, CloseIo>               io;
    soundfile::Handle                                    file;
    SF_INFO                                              info{};
    std::unique_ptr<SDL_AudioStream, DestroyConverter>   converter;
    std::vector<float>                                   fileBlock;
    std::vector<int16_t>                                 fileSamples;
    std::array<int16_t, kBlockFrames * Sound::kChannels> block{};
    bool                                                 flushed = false;
    uint64_t                                             frames  = 0;

    std::unique_ptr<int16_t[]> ring = std::make_unique<int16_t[]>(SoundStream::kRingFrames * Sound::kChannels);
    std::atomic<uint64_t>      written{0};
    std::atomic<uint64_t>      taken{0};
    std::atomic<uint64_t>      end{kNoEnd};  // where a non-looping pass ends, once the decoder got there
    std::atomic<bool>          looping{false};
    std::atomic<uint64_t>      underruns{0};
    bool                       underrunLogged = false;

    std::mutex              mutex;  // the file, the converter and restarts; a device's mix never takes it
    std::condition_variable wake;
    std::condition_variable filled;
    bool                    stopping = false;
    std::thread             thread;

    bool open(double minSeconds) {
        io.reset(SDL_IOFromFile(path.c_str(), "rb"));
        if (!io || soundfile::open(io.get(), info, file) != Sound::kOk) return false;
        if (!soundfile::knownFrameCount(info.frames)) return false;
        if (static_cast<double>(info.frames) / info.samplerate < minSeconds) return false;
        const SDL_AudioSpec from{SDL_AUDIO_S16, info.channels, info.samplerate};
        const SDL_AudioSpec to{SDL_AUDIO_S16, Sound::kChannels, Sound::kSampleRate};
        converter.reset(SDL_CreateAudioStream(&from, &to));
        if (!converter) return false;
        frames = info.samplerate == Sound::kSampleRate
                     ? static_cast<uint64_t>(info.frames)
                     : static_cast<uint64_t>(
                           std::llround(static_cast<double>(info.frames) * Sound::kSampleRate / info.samplerate));
        const size_t fileBlockFrames =
            static_cast<size_t>(kBlockFrames) * static_cast<size_t>(info.samplerate) / Sound::kSampleRate + 1;
        fileBlock.resize(fileBlockFrames * static_cast<size_t>(info.channels));
        fileSamples.resize(fileBlock.size());
        return true;
    }

    // The next block of converted frames of this pass; 0 once the pass is
    // over. The converter is flushed at the end of the file, so a pass yields
    // exactly what converting the whole file at once would.
    size_t decodeBlock() {
        const int wanted = kBlockFrames * kFrameBytes;
        while (!flushed && SDL_GetAudioStreamAvailable(converter.get()) < wanted) {
            const sf_count_t got =
                sf_readf_float(file.get(), fileBlock.data(), static_cast<sf_count_t>(fileBlock.size()) / info.channels);
            if (got <= 0) {
                SDL_FlushAudioStream(converter.get());
                flushed = true;
                break;
            }
            const size_t samples = static_cast<size_t>(got) * static_cast<size_t>(info.channels);
            std::transform(fileBlock.begin(), fileBlock.begin() + static_cast<std::ptrdiff_t>(samples),
                           fileSamples.begin(), soundfile::toSample);
            SDL_PutAudioStreamData(converter.get(), fileSamples.data(), static_cast<int>(samples * sizeof(int16_t)));
        }
        const int got = SDL_GetAudioStreamData(converter.get(), block.data(), wanted);
        return got > 0 ? static_cast<size_t>(got / kFrameBytes) : 0;
    }

    void rewindFile() {
        sf_seek(file.get(), 0, SEEK_SET);
        SDL_ClearAudioStream(converter.get());
        flushed = false;
    }

    void store(uint64_t position, size_t count) {
        const size_t slot  = static_cast<size_t>(position % SoundStream::kRingFrames);
        const size_t first = std::min<size_t>(count, SoundStream::kRingFrames - slot);
        std::memcpy(ring.get() + slot * Sound::kChannels, block.data(), first * kFrameBytes);
        std::memcpy(ring.get(), block.data() + first * Sound::kChannels, (count - first) * kFrameBytes);
    }

    // One block into the ring, with the lock held; false when the ring is
    // full or the pass has ended.
    bool step() {
        if (end.load(std::memory_order_relaxed) != kNoEnd) {
            if (!looping.load(std::memory_order_relaxed)) return false;
            end.store(kNoEnd, std::memory_order_release);  // looping came on after the pass ended: wrap now
        }
        const uint64_t at   = written.load(std::memory_order_relaxed);
        const uint64_t mix  = taken.load(std::memory_order_acquire);
        const uint64_t held = at > mix ? at - mix : 0;
        if (held + kBlockFrames > SoundStream::kRingFrames) return false;
        size_t count = decodeBlock();
        if (count == 0 && looping.load(std::memory_order_relaxed)) {
            rewindFile();
            count = decodeBlock();
        }
        if (count == 0) {
            end.store(at, std::memory_order_release);
            filled.notify_all();
            return false;
        }
        store(at, count);
        written.store(at + count, std::memory_order_release);
        filled.notify_all();
        return true;
    }

    void logFirstUnderrun() {
        if (underrunLogged || underruns.load(std::memory_order_relaxed) == 0) return;
        underrunLogged = true;
        std::cerr << "Audio stream fell behind the mix, silence played: " << path << '\n';
    }

    void run() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            const bool decoded = step();
            logFirstUnderrun();
            if (!decoded) wake.wait_for(lock, kIdleWait);
        }
        lock.unlock();
        SDL_CleanupTLS();  // SDL keeps a failed call's error text per thread
    }

    // Where the pass ends for the mix: a stream that loops now has no end,
    // even while its decoder has yet to see it was switched on.
    uint64_t lastFrame() const {
        const uint64_t last = end.load(std::memory_order_acquire);
        return looping.load(std::memory_order_relaxed) ? kNoEnd : last;
    }

    bool holds(uint64_t frames) const {
        const uint64_t at  = written.load(std::memory_order_acquire);
        const uint64_t mix = taken.load(std::memory_order_relaxed);
        return lastFrame() != kNoEnd || (at > mix && at - mix >= frames);
    }

    size_t read(int16_t* out, size_t count) {
        const uint64_t from  = taken.load(std::memory_order_relaxed);
        const uint64_t last  = lastFrame();
        const uint64_t at    = written.load(std::memory_order_acquire);
        const uint64_t due   = last > from ? std::min<uint64_t>(count, last - from) : 0;
        const uint64_t ready = at > from ? std::min(due, at - from) : 0;
        const size_t   slot  = static_cast<size_t>(from % SoundStream::kRingFrames);
        const size_t   first = std::min<size_t>(ready, SoundStream::kRingFrames - slot);
        std::memcpy(out, ring.get() + slot * Sound::kChannels, first * kFrameBytes);
        std::memcpy(out + first * Sound::kChannels, ring.get(), (ready - first) * kFrameBytes);
        std::memset(out + ready * Sound::kChannels, 0, (count - ready) * kFrameBytes);
        if (ready < due) underruns.fetch_add(1, std::memory_order_relaxed);
        taken.store(from + due, std::memory_order_release);
        return due;
    }
};

SoundStream::SoundStream() : decoder_(std::make_unique<StreamDecoder>()) {}

SoundStream::~SoundStream() {
    if (!decoder_->thread.joinable()) return;
    {
        std::lock_guard lock(decoder_->mutex);
        decoder_->stopping = true;
    }
    decoder_->wake.notify_one();
    decoder_->thread.join();
}

bool SoundStream::open(const std::string& path, double minSeconds) {
    if (decoder_->thread.joinable()) return false;
    decoder_->path = path;
    if (!decoder_->open(minSeconds)) {
        decoder_ = std::make_unique<StreamDecoder>();
        return false;
    }
    decoder_->thread = std::thread(&StreamDecoder::run, decoder_.get());
    return true;
}

uint64_t SoundStream::frameCount() const { return decoder_->frames; }

void SoundStream::setLooping(bool looping) {
    decoder_->looping = looping;
    decoder_->wake.notify_one();  // a pass that already ended goes on into the next
}

size_t SoundStream::read(int16_t* out, size_t frames) { return decoder_->read(out, frames); }

size_t SoundStream::readWaiting(int16_t* out, size_t frames, std::chrono::milliseconds timeout) {
    StreamDecoder& d = *decoder_;
    d.wake.notify_one();  // no need to wait for the decoder's idle timer: this caller may wait
    {
        std::unique_lock lock(d.mutex);
        d.filled.wait_for(lock, timeout, [&d, frames] { return d.holds(frames); });
    }
    return d.read(out, frames);
}

void SoundStream::restart() {
    StreamDecoder& d = *decoder_;
    if (!d.thread.joinable()) return;
    {
        std::lock_guard lock(d.mutex);
        if (d.taken.load(std::memory_order_relaxed) == 0) return;
        d.rewindFile();
        d.written.store(0, std::memory_order_relaxed);
        d.taken.store(0, std::memory_order_relaxed);
        d.end.store(kNoEnd, std::memory_order_relaxed);
    }
    d.wake.notify_one();
}

bool SoundStream::waitFilled(std::chrono::milliseconds timeout) {
    StreamDecoder&   d = *decoder_;
    std::unique_lock lock(d.mutex);
    return d.thread.joinable() &&
           d.filled.wait_for(lock, timeout, [&d] { return d.holds(SoundStream::kPrefillFrames); });
}

uint64_t SoundStream::underruns() const { return decoder_->underruns.load(std::memory_order_relaxed); }
