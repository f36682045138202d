// Streamed sounds: the ring against the file it reads, frame for frame, over
// loop points and ring wraps; a stream next to a fully decoded twin; what an
// underrun plays; restarts and closing while the decoder fills; and an
// audio system whose long stems stream and start again from their first frame.
#include "audio/SoundStream.h"

#include "AudioFiles.h"
#include "audio/AudioSystem.h"
#include "audio/Mixer.h"
#include "audio/Sound.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 5000ms;

// Never zero and different from frame to frame, on both channels, so silence,
// a frame out of step or swapped channels all show.
// They stay below the limiter's knee, so a mix at full volume keeps them as they are.
int16_t leftAt(uint64_t frame) { return static_cast<int16_t>(1 + (frame * 7919) % 26003); }
int16_t rightAt(uint64_t frame) { return static_cast<int16_t>(-1 - static_cast<int>((frame * 104729) % 25997)); }

fs::path writeWav(const fs::path& path, const std::vector<float>& interleaved, int channels, int rate) {
    const testaudio::Bytes bytes = testaudio::pcm16Wav(interleaved, channels, rate);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

fs::path writePattern(const fs::path& path, uint64_t frames) {
    std::vector<float> samples(2 * frames);
    for (uint64_t i = 0; i < frames; ++i) {
        samples[2 * i]     = leftAt(i) / 32768.0f;
        samples[2 * i + 1] = rightAt(i) / 32768.0f;
    }
    return writeWav(path, samples, 2, Sound::kSampleRate);
}

// Reads `frames` frames in mix-sized pieces, waiting for the decoder.
std::vector<int16_t> readAll(SoundStream& stream, uint64_t frames) {
    std::vector<int16_t> out(2 * frames);
    for (uint64_t at = 0; at < frames; at += Mixer::kChunkFrames) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(Mixer::kChunkFrames, frames - at));
        stream.readWaiting(out.data() + 2 * at, n, kWait);
    }
    return out;
}

// The frame at `position` of the stream equals the pattern's frame `frame`.
::testing::AssertionResult onPattern(const std::vector<int16_t>& read, uint64_t position, uint64_t frame) {
    if (read[2 * position] == leftAt(frame) && read[2 * position + 1] == rightAt(frame))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "position " << position << " holds " << read[2 * position] << ", "
                                         << read[2 * position + 1] << " instead of frame " << frame;
}

class Streams : public ::testing::Test {
protected:
    testsupport::TempDir dir;
};

}  // namespace

// Longer than the ring and not a multiple of any read size: the ring wraps
// mid-read and the loop point falls inside a piece.
TEST_F(Streams, ALoopingStreamWrapsToItsFirstFrameWithNothingDroppedOrAdded) {
    constexpr uint64_t kFrames = SoundStream::kRingFrames + 54321;
    const fs::path     file    = writePattern(dir.path() / "long.wav", kFrames);
    SoundStream        stream;
    ASSERT_TRUE(stream.open(file.string(), 0.0));
    stream.setLooping(true);
    EXPECT_EQ(stream.frameCount(), kFrames);

    const std::vector<int16_t> read = readAll(stream, 2 * kFrames + 5000);
    for (uint64_t position = 0; position < read.size() / 2; ++position)
        ASSERT_TRUE(onPattern(read, position, position % kFrames));
    EXPECT_EQ(stream.underruns(), 0u);
}

TEST_F(Streams, APassThatDoesNotLoopEndsOnItsLastFrameAndTheVoiceWithIt) {
    constexpr uint64_t kFrames = 3 * Mixer::kChunkFrames + 77;
    const fs::path     file    = writePattern(dir.path() / "once.wav", kFrames);
    Sound              sound;
    ASSERT_TRUE(sound.openStream(file.string(), 0.0));
    ASSERT_TRUE(sound.stream());

    Mixer mixer;
    ASSERT_EQ(mixer.init(0, Mixer::Output::None), Mixer::kOk);
    const uint32_t voice = mixer.play(sound, 1.0f, 0.0f);
    ASSERT_NE(voice, 0u);
    EXPECT_EQ(mixer.play(sound), 0u) << "a stream has one read position: a second voice would steal its frames";
    std::vector<float> mixed(2 * 5 * Mixer::kChunkFrames);
    ASSERT_TRUE(mixer.mix(mixed.data(), mixed.size() / 2));
    for (uint64_t frame = 0; frame < kFrames; ++frame) {
        ASSERT_EQ(mixed[2 * frame], leftAt(frame) / 32768.0f) << "frame " << frame;
        ASSERT_EQ(mixed[2 * frame + 1], rightAt(frame) / 32768.0f) << "frame " << frame;
    }
    for (size_t i = 2 * kFrames; i < mixed.size(); ++i) ASSERT_EQ(mixed[i], 0.0f) << "sample " << i;
    EXPECT_FALSE(mixer.isValidVoiceHandle(voice));
    EXPECT_NE(mixer.play(sound), 0u) << "once its voice ended the stream may play again";
    mixer.deinit();
}

// A low-rate mono file is converted on the decoder thread in pieces and as a
// whole by the full decode; played side by side (stream on the left, twin on
// the right) they must agree on every sample over two loops.
TEST_F(Streams, AResampledStreamStaysOnTheSampleOfItsFullyDecodedTwinOverTwoLoops) {
    constexpr int      kRate       = 11025;
    constexpr uint64_t kFileFrames = 25013;
    std::vector<float> mono(kFileFrames);
    for (uint64_t i = 0; i < kFileFrames; ++i) mono[i] = leftAt(i) / 32768.0f;
    const fs::path file = writeWav(dir.path() / "low.wav", mono, 1, kRate);

    Sound streamed;
    ASSERT_TRUE(streamed.openStream(file.string(), 0.0));
    ASSERT_TRUE(streamed.stream());
    std::ifstream          in(file, std::ios::binary);
    const testaudio::Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Sound                  twin;
    ASSERT_EQ(twin.loadMem(bytes.data(), bytes.size()), Sound::kOk);
    EXPECT_NEAR(static_cast<double>(streamed.frameCount()), static_cast<double>(twin.frameCount()), 1.0);

    Mixer mixer;
    ASSERT_EQ(mixer.init(0, Mixer::Output::None), Mixer::kOk);
    streamed.setLooping(true);
    twin.setLooping(true);
    const uint32_t group = mixer.createVoiceGroup();
    const uint32_t left  = mixer.play(streamed, 1.0f, -1.0f, true);
    const uint32_t right = mixer.play(twin, 1.0f, 1.0f, true);
    ASSERT_TRUE(mixer.addVoiceToGroup(group, left));
    ASSERT_TRUE(mixer.addVoiceToGroup(group, right));
    mixer.setPause(group, false);
    std::vector<float> mixed(2 * (2 * twin.frameCount() + 3000));
    ASSERT_TRUE(mixer.mix(mixed.data(), mixed.size() / 2));
    for (size_t frame = 0; frame < mixed.size() / 2; ++frame)
        ASSERT_EQ(mixed[2 * frame], mixed[2 * frame + 1]) << "frame " << frame << " of " << twin.frameCount();
    EXPECT_NE(mixed[2 * twin.frameCount() + 100], 0.0f) << "the second loop is heard";
    mixer.deinit();
}

// The mix asks for more than the ring can ever hold: what was not decoded is
// silence, never stale frames of the ring, and the stream comes back on time.
TEST_F(Streams, AnUnderrunPlaysSilenceAndTheStreamComesBackOnItsOwnFrame) {
    constexpr uint64_t kFrames = 6 * SoundStream::kRingFrames + 999;
    const fs::path     file    = writePattern(dir.path() / "under.wav", kFrames);
    ::testing::internal::CaptureStderr();
    SoundStream stream;
    ASSERT_TRUE(stream.open(file.string(), 0.0));
    ASSERT_TRUE(stream.waitFilled(kWait));

    constexpr uint64_t   kGreedy = 4 * SoundStream::kRingFrames;
    std::vector<int16_t> read(2 * kGreedy, 123);
    ASSERT_EQ(stream.read(read.data(), kGreedy), kGreedy);
    uint64_t heard = 0;
    while (heard < kGreedy && read[2 * heard] != 0) {
        ASSERT_TRUE(onPattern(read, heard, heard));
        ++heard;
    }
    ASSERT_LE(heard, SoundStream::kRingFrames);
    for (uint64_t position = heard; position < kGreedy; ++position) {
        ASSERT_EQ(read[2 * position], 0) << "position " << position;
        ASSERT_EQ(read[2 * position + 1], 0) << "position " << position;
    }
    EXPECT_EQ(stream.underruns(), 1u);

    const std::vector<int16_t> after = readAll(stream, 3 * Mixer::kChunkFrames);
    for (uint64_t position = 0; position < after.size() / 2; ++position)
        ASSERT_TRUE(onPattern(after, position, kGreedy + position));

    // A second underrun is counted but not logged again.
    ASSERT_EQ(stream.read(read.data(), kGreedy), kGreedy);
    EXPECT_EQ(stream.underruns(), 2u);
    readAll(stream, 3 * Mixer::kChunkFrames);
    const std::string log   = ::testing::internal::GetCapturedStderr();
    const std::string line  = "Audio stream fell behind the mix, silence played: " + file.string() + "\n";
    const size_t      first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
}

// Closing while the decoder fills, restarting while it fills and restarting
// after frames were taken: each ends cleanly, and a restart reads from frame 0.
TEST_F(Streams, RestartAndCloseWhileTheDecoderFillsAreSafeAndARestartReadsFromTheStart) {
    constexpr uint64_t kFrames = 2 * SoundStream::kRingFrames;
    const fs::path     file    = writePattern(dir.path() / "busy.wav", kFrames);
    for (int round = 0; round < 20; ++round) {
        SoundStream closing;
        ASSERT_TRUE(closing.open(file.string(), 0.0));
        if (round % 2 == 0) continue;
        std::vector<int16_t> piece(2 * 1000);
        closing.read(piece.data(), 1000);
        closing.restart();
    }

    SoundStream stream;
    ASSERT_TRUE(stream.open(file.string(), 0.0));
    stream.setLooping(true);
    for (int round = 0; round < 5; ++round) {
        readAll(stream, 10000 + 3000 * static_cast<uint64_t>(round));
        stream.restart();
        ASSERT_TRUE(stream.waitFilled(kWait));
        const std::vector<int16_t> again = readAll(stream, 2 * Mixer::kChunkFrames);
        for (uint64_t position = 0; position < again.size() / 2; ++position)
            ASSERT_TRUE(onPattern(again, position, position)) << "round " << round;
    }
    EXPECT_EQ(stream.underruns(), 0u);
}

TEST_F(Streams, OnlyFilesOfTheGivenLengthOrLongerAreStreamed) {
    const fs::path file = writePattern(dir.path() / "short.wav", 44100);
    SoundStream    stream;
    EXPECT_FALSE(stream.open(file.string(), 1.5));
    EXPECT_FALSE(stream.open((dir.path() / "missing.wav").string(), 0.0));
    std::ofstream(dir.path() / "text.wav") << "not audio at all";
    EXPECT_FALSE(stream.open((dir.path() / "text.wav").string(), 0.0));
    EXPECT_TRUE(stream.open(file.string(), 1.0));
}

// A stem past the stream threshold is streamed by the loader; a run started
// again after some play begins from the stem's first frame, and a stop in
// between leaves it refilled.
TEST_F(Streams, ALongStemStreamsAndEveryStartOfTheRunBeginsOnItsFirstFrame) {
    const auto     frames = static_cast<uint64_t>((Sound::kStreamAfterSeconds + 1) * Sound::kSampleRate);
    const fs::path file   = writePattern(dir.path() / "stem.wav", frames);
    AudioSystem    audio;
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(audio.init(Mixer::Output::None));
    ASSERT_TRUE(audio.loadStem(file.string()));
    ASSERT_TRUE(audio.stems[0].sound->stream()) << "a stem this long is streamed";
    EXPECT_NEAR(audio.stems[0].midi.lengthSeconds, Sound::kStreamAfterSeconds + 1, 1e-9);
    audio.fadeInStem(0, 0.0f);
    std::vector<float> mixed(2 * 3 * Mixer::kChunkFrames);
    for (int start = 0; start < 3; ++start) {
        audio.playAll();
        audio.update(0.0f);
        for (int piece = 0; piece < 1 + 20 * start; ++piece)
            ASSERT_TRUE(audio.engine.mix(mixed.data(), mixed.size() / 2));
        const uint64_t last = (1 + 20 * static_cast<uint64_t>(start)) * 3 * Mixer::kChunkFrames - 1;
        EXPECT_EQ(mixed[mixed.size() - 2], leftAt(last) / 32768.0f) << "start " << start;
        if (start == 1) audio.stopAll();
    }
    audio.playAll();
    audio.update(0.0f);
    ASSERT_TRUE(audio.engine.mix(mixed.data(), mixed.size() / 2));
    for (uint64_t frame = 0; frame < 100; ++frame) ASSERT_EQ(mixed[2 * frame], leftAt(frame) / 32768.0f);
    audio.shutdown();
    ::testing::internal::GetCapturedStdout();
}
