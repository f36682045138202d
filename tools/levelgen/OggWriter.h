// Encodes interleaved stereo float samples as Ogg Vorbis through libsndfile, in
// memory. libsndfile gives every stream a random serial number; it is replaced
// by a fixed one (and each page's checksum recomputed) so that the same samples
// always give the same bytes. Also decodes any file libsndfile reads, for checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace levelgen {

std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& stereo, int sampleRate);  // empty on failure
// Interleaved samples of the file, with its channel count; false when it cannot be read.
bool decodeAudioFile(const std::string& path, std::vector<float>& samples, int& channels);

}  // namespace levelgen
