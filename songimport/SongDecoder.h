// Decodes a song file the player picked into 44100 Hz stereo float frames.
// What the game's own decoder reads (libsndfile: WAV, AIFF, FLAC, Ogg
// Vorbis/Opus, MP3) goes through it, so such a file may be used as a stem as
// it is; anything else (.m4a, .wma, and files libsndfile stumbles on) through
// FFmpeg's libavformat/libavcodec, resampled by libswresample. The source file is only ever read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct DecodedSong {
    std::shared_ptr<const float[]> samples;  // interleaved left, right
    uint64_t                       frames        = 0;
    bool                           gamePlaysFile = false;  // the game's decoder read the file itself

    double seconds() const;
};

// False with a one-line reason naming neither the file nor the caller's step.
// A song over 30 minutes or under 8 kHz is refused before it is decoded whole.
bool decodeSong(const std::string& path, DecodedSong& out, std::string& why);
