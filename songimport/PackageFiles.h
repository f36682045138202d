// The files of an imported song's level package: the manifest (level.json:
// stems in unlocking order, their charts, background pulse and colour, the
// song's tempo), the stem files' names, and the stems themselves, written as
// FLAC through libsndfile block by block by StemAudioWriter. FLAC because it
// is lossless (the bands still add up to the song as stored) and some five
// times faster to encode than Ogg Vorbis, which kept a four-minute import
// over ten seconds on two cores; the price is about 7 MB a minute for three
// bands against 1.2.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct sf_private_tag;

struct PackageStem {
    std::string audioFile;  // inside the package folder
    std::string midiFile;   // empty: the stem carries no notes
};

std::string levelManifestText(float bpm, const std::vector<PackageStem>& stems);
std::string stemFileName(size_t index, const std::string& sourcePath, const std::string& extension);

// FLAC, 16 bits, 44100 Hz stereo. Every failure leaves a one-line reason.
class StemAudioWriter {
public:
    StemAudioWriter() = default;
    ~StemAudioWriter();
    StemAudioWriter(const StemAudioWriter&)            = delete;
    StemAudioWriter& operator=(const StemAudioWriter&) = delete;

    bool open(const std::string& path, std::string& why);
    bool write(const float* stereo, size_t frames, std::string& why);
    bool close(std::string& why);

private:
    sf_private_tag* file_ = nullptr;
    std::string     path_;
};
