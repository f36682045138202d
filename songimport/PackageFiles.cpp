#include "songimport/PackageFiles.h"

#include "audio/Sound.h"
#include "level/LevelInstall.h"

#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <array>

namespace {

struct StemLook {
    std::array<double, 3> color;
    double                peak, lerpSpeed;
};

// Warm to cold in unlocking order, the first (low band, or the first file) pulsing slowest.
constexpr std::array<StemLook, 8> kLooks{{
    {{1.0, 0.35, 0.25}, 2.4, 12.0},
    {{1.0, 0.8, 0.2}, 2.1, 16.0},
    {{0.3, 0.85, 1.0}, 1.9, 22.0},
    {{0.6, 1.0, 0.4}, 2.0, 18.0},
    {{0.85, 0.45, 1.0}, 2.0, 18.0},
    {{1.0, 0.5, 0.75}, 2.0, 18.0},
    {{0.45, 0.6, 1.0}, 2.0, 18.0},
    {{1.0, 1.0, 1.0}, 2.0, 18.0},
}};

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string  name  = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot   = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::string levelManifestText(float bpm, const std::vector<PackageStem>& stems) {
    nlohmann::json list = nlohmann::json::array();
    for (size_t i = 0; i < stems.size(); ++i) {
        const StemLook& look = kLooks[i % kLooks.size()];
        nlohmann::json  stem = {{"file", stems[i].audioFile},
                                {"startOrder", int(i)},
                                {"playsNotes", !stems[i].midiFile.empty()},
                                {"animation", {{"base", 1.0}, {"peak", look.peak}, {"lerpSpeed", look.lerpSpeed}}},
                                {"color", look.color}};
        if (!stems[i].midiFile.empty()) stem["midi"] = stems[i].midiFile;
        list.push_back(stem);
    }
    return nlohmann::json{{"songMetaData", nlohmann::json::array({{{"bpm", bpm}}})}, {"stems", list}}.dump(4);
}

std::string stemFileName(size_t index, const std::string& sourcePath, const std::string& extension) {
    return std::to_string(index + 1) + "-" + levelSlug(baseNameOf(sourcePath)) + extension;
}

StemAudioWriter::~StemAudioWriter() {
    if (file_) sf_close(file_);
}

bool StemAudioWriter::open(const std::string& path, std::string& why) {
    SF_INFO info{};
    info.samplerate = Sound::kSampleRate;
    info.channels   = Sound::kChannels;
    info.format     = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    file_           = sf_open(path.c_str(), SFM_WRITE, &info);
    path_           = path;
    if (!file_) {
        why = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool StemAudioWriter::write(const float* stereo, size_t frames, std::string& why) {
    if (sf_writef_float(file_, stereo, sf_count_t(frames)) == sf_count_t(frames)) return true;
    why = "cannot write " + path_ + ": " + sf_strerror(file_);
    return false;
}

bool StemAudioWriter::close(std::string& why) {
    if (!file_) return true;
    const int error  = sf_error(file_);
    const int closed = sf_close(file_);
    file_            = nullptr;
    if (error == SF_ERR_NO_ERROR && closed == 0) return true;
    why = "cannot finish " + path_ + ": " + sf_error_number(error ? error : closed);
    return false;
}
