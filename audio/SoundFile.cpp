#include "audio/SoundFile.h"

#include "audio/Sound.h"

#include <SDL3/SDL_iostream.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

sf_count_t ioLength(void* user) { return SDL_GetIOSize(static_cast<SDL_IOStream*>(user)); }

sf_count_t ioSeek(sf_count_t offset, int whence, void* user) {
    const SDL_IOWhence from = whence == SEEK_CUR   ? SDL_IO_SEEK_CUR
                              : whence == SEEK_END ? SDL_IO_SEEK_END
                                                   : SDL_IO_SEEK_SET;
    return SDL_SeekIO(static_cast<SDL_IOStream*>(user), offset, from);
}

sf_count_t ioRead(void* dst, sf_count_t count, void* user) {
    if (count <= 0) return 0;
    return static_cast<sf_count_t>(SDL_ReadIO(static_cast<SDL_IOStream*>(user), dst, static_cast<size_t>(count)));
}

sf_count_t ioWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t ioTell(void* user) { return SDL_TellIO(static_cast<SDL_IOStream*>(user)); }

bool readAt(SDL_IOStream* io, int64_t offset, unsigned char* dst, size_t size) {
    return SDL_SeekIO(io, offset, SDL_IO_SEEK_SET) == offset && SDL_ReadIO(io, dst, size) == size;
}

uint32_t read32(const unsigned char* p, bool littleEndian) {
    return littleEndian ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                        : uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}

// libsndfile plays whatever is left of a WAV or AIFF file that was cut short;
// a stem that suddenly ends early would put its loop out of step, so we look
// at the sample-data chunk ourselves. Sizes 0 and 0xFFFFFFFF are what
// streaming writers leave behind, not a cut. Only chunk headers are read.
bool sampleChunkCutShort(SDL_IOStream* io) {
    const int64_t size = SDL_GetIOSize(io);
    unsigned char head[12];
    if (size < 12 || !readAt(io, 0, head, sizeof head)) return false;
    const bool wav  = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(head, "FORM", 4) == 0 &&
                      (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
    if (!wav && !aiff) return false;
    const char*   sampleChunk = wav ? "data" : "SSND";
    int64_t       pos         = 12;
    unsigned char chunk[8];
    while (size - pos >= 8 && readAt(io, pos, chunk, sizeof chunk)) {
        const uint32_t chunkSize = read32(chunk + 4, wav);
        if (std::memcmp(chunk, sampleChunk, 4) == 0)
            return chunkSize != 0 && chunkSize != 0xFFFFFFFFu && chunkSize > static_cast<uint64_t>(size - pos - 8);
        const int64_t next = pos + 8 + chunkSize + (chunkSize & 1);  // chunks pad to even
        if (next > size) return false;
        pos = next;
    }
    return false;
}

}  // namespace

namespace soundfile {

unsigned open(SDL_IOStream* io, SF_INFO& info, Handle& file) {
    if (sampleChunkCutShort(io)) return Sound::kDecodeFailed;
    if (SDL_SeekIO(io, 0, SDL_IO_SEEK_SET) != 0) return Sound::kDecodeFailed;
    static SF_VIRTUAL_IO callbacks{ioLength, ioSeek, ioRead, ioWrite, ioTell};
    info = SF_INFO{};
    file.reset(sf_open_virtual(&callbacks, SFM_READ, &info, io));
    if (!file || info.channels <= 0 || info.samplerate <= 0) return Sound::kUnrecognised;
    return Sound::kOk;
}

// Full scale is 32768, the step libsndfile reads 16-bit files with, so those
// come back exactly. Float files can carry anything: past full scale is
// clipped, NaN and infinities become silence.
int16_t toSample(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int16_t>(std::lrintf(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

bool knownFrameCount(sf_count_t frames) { return frames > 0 && frames < SF_COUNT_MAX; }

}  // namespace soundfile
