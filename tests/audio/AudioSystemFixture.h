// An AudioSystem on the offline mixer, with stems written as WAV files into a
// temporary folder and loaded through the real loader; tests pull the mix
// chunk by chunk, which is also what moves the master clock.
#pragma once

#include "audio/AudioSystem.h"

#include "AudioFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace audiotest {

constexpr int    kChunk        = Mixer::kChunkFrames;
constexpr double kChunkSeconds = static_cast<double>(kChunk) / Mixer::kSampleRate;

inline std::string writeFile(const testsupport::TempDir& dir, const std::string& name, const testaudio::Bytes& bytes) {
    const std::filesystem::path path = dir.path() / name;
    testsupport::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path.string();
}

inline std::string writeStem(const testsupport::TempDir& dir, const std::string& name,
                             const std::vector<float>& stereo) {
    return writeFile(dir, name, testaudio::floatWav(stereo, 2, Sound::kSampleRate));
}

// Stereo frames unlike distinctStereo's: falling instead of rising, so two
// stems made of the two never share a sample pattern.
inline std::vector<float> fallingStereo(int frames, float scale) {
    std::vector<float> out = testaudio::distinctStereo(frames, scale);
    for (float& s : out) s = testaudio::onGrid(-s * 0.75f);
    return out;
}

class OfflineAudio : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(audio.init(Mixer::Output::None)); }
    void TearDown() override { audio.shutdown(); }

    // Loads a stem made of these frames; fails the test if it does not load.
    void addStem(const std::string& name, const std::vector<float>& stereo) {
        ASSERT_TRUE(audio.loadStem(writeStem(dir, name, stereo)));
    }

    std::vector<float> mixChunks(int count) {
        std::vector<float> out(2 * static_cast<size_t>(kChunk) * count);
        EXPECT_TRUE(audio.engine.mix(out.data(), out.size() / 2));
        return out;
    }

    double clock() const { return audio.engine.getStreamTime(audio.voiceGroup); }

    testsupport::TempDir dir;
    AudioSystem          audio;
};

}  // namespace audiotest
