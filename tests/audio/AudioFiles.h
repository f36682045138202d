// Small audio files written in memory for the mixer's tests and benchmarks,
// so no binary fixture is ever checked in. WAV is written by hand, which
// checks the decoder against a writer of our own; every other format goes
// through libsndfile's encoders.
#pragma once

#include "audio/Sound.h"

#include <string>
#include <vector>

namespace testaudio {

using Bytes = std::vector<unsigned char>;

// A 32-bit float WAV of interleaved frames.
Bytes floatWav(const std::vector<float>& interleaved, int channels, int rate);
// A 16-bit PCM WAV; samples are rounded to the nearest step of 1/32768.
Bytes pcm16Wav(const std::vector<float>& interleaved, int channels, int rate);
// Any file libsndfile writes, format being SF_FORMAT_<major> | SF_FORMAT_<subtype>.
// Empty when the encoder refuses.
Bytes encoded(const std::vector<float>& interleaved, int channels, int rate, int format);

// A value rounded to the 16-bit step a Sound keeps (1/32768): frames made of
// such values play back exactly as they were written.
float onGrid(float value);
// Sample `index` of the sound's interleaved frames, as the mixer hears it.
float sampleAt(const Sound& sound, uint64_t index);

// Stereo frames on the 16-bit grid whose every sample differs from its
// neighbours (up to scale * 16384 frames), so an offset of one frame, a
// swapped channel or a gap shows.
std::vector<float> distinctStereo(int frames, float scale = 0.5f);
// A stereo sine, the same on both channels.
std::vector<float> sineStereo(int frames, double hz, float amplitude, int rate = Sound::kSampleRate);

// A Sound made from 44100 Hz stereo frames through the float WAV path; the
// frames come back unchanged. Fails the current test on any error.
Sound soundFrom(const std::vector<float>& stereo, bool looping = false);

// What SDL's disk driver wrote: raw interleaved floats.
std::vector<float> readFloats(const std::string& path);
// SDL reads its environment once, into a copy of its own; a variable set later
// with setenv would go unseen.
void setSdlEnvironment(const char* name, const std::string& value);

}  // namespace testaudio
