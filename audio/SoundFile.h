// libsndfile reading through SDL's IO streams, shared by whole decoding (a
// file image in memory) and streaming (a file read as it plays), so both see
// a file the same way. Internal to audio/: decoding into frames and playing
// them are Sound's, SoundStream's and the Mixer's.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>

struct SDL_IOStream;

namespace soundfile {

struct Close {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using Handle = std::unique_ptr<SNDFILE, Close>;

// Opens the stream from its start; a Sound load code (Sound::kOk when open).
// The stream must outlive the handle.
unsigned open(SDL_IOStream* io, SF_INFO& info, Handle& file);
int16_t  toSample(float value);
bool     knownFrameCount(sf_count_t frames);

}  // namespace soundfile
