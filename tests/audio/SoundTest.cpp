#include "audio/Sound.h"

#include "AudioFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <limits>
#include <string>

using testaudio::Bytes;
using testaudio::sampleAt;

namespace {

unsigned load(Sound& sound, const Bytes& bytes) { return sound.loadMem(bytes.data(), bytes.size()); }

double rms(const Sound& sound, int channel) {
    double sum = 0;
    for (uint64_t i = 0; i < sound.frameCount(); ++i) sum += std::pow(sampleAt(sound, 2 * i + channel), 2);
    return std::sqrt(sum / static_cast<double>(sound.frameCount()));
}

std::vector<float> interleaveMono(const std::vector<float>& stereo) {
    std::vector<float> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = stereo[2 * i];
    return mono;
}

}  // namespace

TEST(SoundDecode, FloatWavAtMixRateKeepsEverySample) {
    const std::vector<float> frames = testaudio::distinctStereo(1000);
    Sound                    sound;
    ASSERT_EQ(load(sound, testaudio::floatWav(frames, 2, 44100)), Sound::kOk);
    ASSERT_EQ(sound.frameCount(), 1000u);
    EXPECT_DOUBLE_EQ(sound.getLength(), 1000.0 / 44100.0);
    for (size_t i = 0; i < frames.size(); ++i) ASSERT_EQ(sampleAt(sound, i), frames[i]) << "sample " << i;
}

TEST(SoundDecode, MonoGoesToBothChannelsAtFullLevel) {
    const std::vector<float> mono = interleaveMono(testaudio::distinctStereo(500));
    Sound                    sound;
    ASSERT_EQ(load(sound, testaudio::floatWav(mono, 1, 44100)), Sound::kOk);
    ASSERT_EQ(sound.frameCount(), 500u);
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(sampleAt(sound, 2 * i), mono[i]) << "frame " << i;
        ASSERT_EQ(sampleAt(sound, 2 * i + 1), mono[i]) << "frame " << i;
    }
}

TEST(SoundDecode, OtherRatesAreResampledOnceKeepingLengthAndPitch) {
    // 100 Hz at 22050 Hz: after resampling, a cycle must still span 441 frames.
    const std::vector<float> source = testaudio::sineStereo(22050, 100.0, 0.5f, 22050);
    Sound                    sound;
    ASSERT_EQ(load(sound, testaudio::floatWav(source, 2, 22050)), Sound::kOk);
    EXPECT_NEAR(sound.getLength(), 1.0, 0.01);
    int upwardCrossings = 0;
    for (uint64_t i = 1000; i + 1 < 1000 + 44100 / 2; ++i)
        upwardCrossings += sound.samples()[2 * i] < 0 && sound.samples()[2 * i + 2] >= 0;
    EXPECT_EQ(upwardCrossings, 50);
    EXPECT_NEAR(rms(sound, 1), 0.5 / std::sqrt(2.0), 0.01);
}

TEST(SoundDecode, NonFiniteSamplesAreSilencedAndPastFullScaleClipped) {
    std::vector<float> frames(8, 0.25f);
    frames[1] = std::numeric_limits<float>::quiet_NaN();
    frames[4] = std::numeric_limits<float>::infinity();
    frames[5] = 7.5f;
    frames[6] = -1.5f;
    Sound sound;
    ASSERT_EQ(load(sound, testaudio::floatWav(frames, 2, 44100)), Sound::kOk);
    EXPECT_EQ(sound.samples()[1], 0);
    EXPECT_EQ(sound.samples()[4], 0);
    EXPECT_EQ(sound.samples()[5], 32767);
    EXPECT_EQ(sound.samples()[6], -32768);
    EXPECT_EQ(sampleAt(sound, 0), 0.25f);
}

// A 16-bit file is what a Sound keeps: it comes back bit for bit, extremes
// included, so keeping stems as 16-bit costs such files nothing.
TEST(SoundDecode, SixteenBitFilesComeBackExactly) {
    std::vector<float> frames;
    for (int v : {-32768, -32767, -1, 0, 1, 12345, 32766, 32767}) frames.push_back(static_cast<float>(v) / 32768.0f);
    Sound sound;
    ASSERT_EQ(load(sound, testaudio::pcm16Wav(frames, 2, 44100)), Sound::kOk);
    ASSERT_EQ(sound.frameCount(), 4u);
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(sampleAt(sound, i), frames[i]) << "sample " << i;
}

TEST(SoundDecode, LoopingIsAFlagOfTheSound) {
    Sound sound = testaudio::soundFrom(testaudio::distinctStereo(10));
    EXPECT_FALSE(sound.isLooping());
    sound.setLooping(true);
    EXPECT_TRUE(sound.isLooping());
}

// Every container and codec a level may use, one second of a 440 Hz tone.
struct Codec {
    const char* name;
    int         format;
    int         rate;
    bool        lossless;
};

void PrintTo(const Codec& codec, std::ostream* os) { *os << codec.name; }

class SoundCodecs : public testing::TestWithParam<Codec> {};

TEST_P(SoundCodecs, DecodeToOneSecondOfTheTone) {
    const Codec              codec = GetParam();
    const std::vector<float> tone  = testaudio::sineStereo(codec.rate, 440.0, 0.5f, codec.rate);
    const Bytes              file  = testaudio::encoded(tone, 2, codec.rate, codec.format);
    ASSERT_FALSE(file.empty()) << "libsndfile could not write " << codec.name;
    Sound sound;
    ASSERT_EQ(load(sound, file), Sound::kOk);
    EXPECT_NEAR(sound.getLength(), 1.0, 0.03);
    EXPECT_NEAR(rms(sound, 0), 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(rms(sound, 1), 0.5 / std::sqrt(2.0), 0.03);
    if (codec.lossless) {
        for (uint64_t i = 0; i < sound.frameCount(); ++i)
            ASSERT_NEAR(sampleAt(sound, 2 * i), tone[2 * i], 1.0 / 32768) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundCodecs,
                         testing::Values(Codec{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, true},
                                         Codec{"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 44100, true},
                                         Codec{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, true},
                                         Codec{"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, false},
                                         Codec{"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, false},
                                         Codec{"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, false}),
                         [](const testing::TestParamInfo<Codec>& info) { return std::string(info.param.name); });

// Bad data of every kind gives a non-zero code and an empty sound, even when
// the sound held audio before.
class SoundBadData : public testing::Test {
protected:
    void expectRefused(const Bytes& bytes, const char* what) {
        Sound sound = testaudio::soundFrom(testaudio::distinctStereo(100));
        EXPECT_NE(load(sound, bytes), Sound::kOk) << what;
        EXPECT_EQ(sound.frameCount(), 0u) << what;
        EXPECT_EQ(sound.getLength(), 0.0) << what;
        EXPECT_EQ(sound.samples(), nullptr) << what;
    }
    static Bytes cut(Bytes bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    }
    const std::vector<float> tone = testaudio::sineStereo(44100, 440.0, 0.5f);
};

TEST_F(SoundBadData, NothingAtAll) {
    Sound sound;
    EXPECT_EQ(sound.loadMem(nullptr, 100), Sound::kNoData);
    const unsigned char byte = 0;
    EXPECT_EQ(sound.loadMem(&byte, 0), Sound::kNoData);
}

TEST_F(SoundBadData, NotAudio) {
    expectRefused(Bytes(4000, 0x41), "text");
    const char midi[] = "MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0";
    expectRefused(Bytes(midi, midi + sizeof midi - 1), "a MIDI file");
}

TEST_F(SoundBadData, WavWithoutFrames) { expectRefused(testaudio::floatWav({}, 2, 44100), "empty data chunk"); }

TEST_F(SoundBadData, WavCutShortInsideItsData) {
    const Bytes wav = testaudio::pcm16Wav(tone, 2, 44100);
    expectRefused(cut(wav, wav.size() / 2), "half a WAV");
    expectRefused(cut(wav, wav.size() - 1), "a WAV one byte short");
    expectRefused(cut(wav, 30), "a WAV cut inside its header");
}

TEST_F(SoundBadData, AiffCutShortInsideItsData) {
    const Bytes aiff = testaudio::encoded(tone, 2, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    expectRefused(cut(aiff, aiff.size() / 2), "half an AIFF");
}

TEST_F(SoundBadData, CompressedStreamsCutShort) {
    for (const int format : {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_OGG | SF_FORMAT_VORBIS,
                             SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}) {
        const Bytes file = testaudio::encoded(tone, 2, 44100, format);
        expectRefused(cut(file, file.size() / 2), ("half a file of format " + std::to_string(format)).c_str());
    }
}

TEST_F(SoundBadData, TooManyChannelsToConvert) {
    expectRefused(testaudio::floatWav(std::vector<float>(16 * 100, 0.1f), 16, 44100), "16 channels");
}

// Whatever the cut, decoding stays inside the buffer (the sanitizer build
// checks that) and a cut inside the sample data is never taken for a whole file.
TEST_F(SoundBadData, EveryCutOfSmallFilesIsSafe) {
    const std::vector<float> shortTone = testaudio::sineStereo(4410, 440.0, 0.5f);
    const Bytes              wav       = testaudio::pcm16Wav(shortTone, 2, 44100);
    const Bytes              ogg       = testaudio::encoded(shortTone, 2, 44100, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    ASSERT_FALSE(ogg.empty());
    for (size_t size = 1; size < wav.size(); size += 7) {
        Sound sound;
        EXPECT_NE(load(sound, cut(wav, size)), Sound::kOk) << "WAV cut to " << size;
    }
    for (size_t size = 1; size < ogg.size(); ++size) {
        Sound          sound;
        const unsigned result = load(sound, cut(ogg, size));
        EXPECT_EQ(result == Sound::kOk, sound.frameCount() > 0) << "OGG cut to " << size;
    }
}
