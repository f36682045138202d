#include "MidiSamples.h"
#include "support/TestSupport.h"
#include "midi/MidiFile.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace miditest;

namespace {

// Collects SDL's log lines (and silences the reader's own messages) for one test.
class LogCapture {
public:
    LogCapture() {
        SDL_GetLogOutputFunction(&savedFunction_, &savedData_);
        SDL_SetLogOutputFunction(&LogCapture::collect, this);
        savedErr_ = std::cerr.rdbuf(errors_.rdbuf());
    }
    ~LogCapture() {
        SDL_SetLogOutputFunction(savedFunction_, savedData_);
        std::cerr.rdbuf(savedErr_);
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    static void collect(void* self, int, SDL_LogPriority, const char* message) {
        static_cast<LogCapture*>(self)->lines_.push_back(message);
    }

    SDL_LogOutputFunction    savedFunction_ = nullptr;
    void*                    savedData_     = nullptr;
    std::streambuf*          savedErr_      = nullptr;
    std::ostringstream       errors_;
    std::vector<std::string> lines_;
};

TEST(LoadMidiAsset, ReadsAFileFromDisk) {
    testsupport::TempDir dir;
    std::string          path = (dir.path() / "song.mid").string();
    ASSERT_TRUE(writeBytes(path, tempoMapFormat1()));
    MidiFile   file;
    LogCapture log;
    ASSERT_TRUE(loadMidiAsset(path, file));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(file.trackCount(), 3);
    EXPECT_EQ(file.ticksPerQuarterNote, 480);
    EXPECT_EQ(file.eventCount(1), 17);
}

TEST(LoadMidiAsset, MissingFile) {
    testsupport::TempDir dir;
    std::string          path = (dir.path() / "absent.mid").string();
    MidiFile             file;
    LogCapture           log;
    EXPECT_FALSE(loadMidiAsset(path, file));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("ERROR: Could not open MIDI file " + path + ": ", 0), 0u) << log.lines()[0];
}

TEST(LoadMidiAsset, FolderIsRefused) {
    testsupport::TempDir dir;
    MidiFile             file;
    LogCapture           log;
    EXPECT_FALSE(loadMidiAsset(dir.path().string(), file));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("ERROR: ", 0), 0u) << log.lines()[0];
}

TEST(LoadMidiAsset, EmptyTruncatedAndForeignFilesFailToParse) {
    testsupport::TempDir dir;
    Bytes                truncated = tempoMapFormat1();
    truncated.resize(truncated.size() / 2);
    std::vector<Bytes> contents = {{}, truncated, Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}};
    for (const Bytes& content : contents) {
        std::string path = (dir.path() / "bad.mid").string();
        ASSERT_TRUE(writeBytes(path, content));
        MidiFile   file;
        LogCapture log;
        EXPECT_FALSE(loadMidiAsset(path, file));
        EXPECT_FALSE(file.status);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"ERROR: MidiFile failed to parse data from " + path});
    }
}

}  // namespace
