// prefs.json in a preference folder of the test's own: defaults and their
// messages, the exact file the saves write, and saves that merge into (or
// recover from) what is already there.
#include "persistence/Prefs.h"

#include "persistence/FileSave.h"

#include "support/TestSupport.h"

#include <SDL3/SDL_stdinc.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testsupport::readFile;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

class PrefsFile : public ::testing::Test {
protected:
    // SDL puts the preference folder under XDG_DATA_HOME, read from its own
    // copy of the environment.
    void SetUp() override {
        SDL_SetEnvironmentVariable(SDL_GetEnvironment(), "XDG_DATA_HOME", home.path().c_str(), true);
    }
    void TearDown() override { SDL_UnsetEnvironmentVariable(SDL_GetEnvironment(), "XDG_DATA_HOME"); }

    fs::path path() const { return home.path() / "KOV" / "Lumoka" / "prefs.json"; }
    void     store(const std::string& text) const { writeFile(path(), text); }

    testsupport::TempDir home;
};

TEST_F(PrefsFile, NoFileOrAnEmptyOneGivesTheDefaultsWithOneLineEach) {
    for (const bool emptyFile : {false, true}) {
        if (emptyFile) store("");
        CaptureStdout();
        EXPECT_EQ(Prefs::loadPlayerName("Player"), "Player");
        EXPECT_TRUE(Prefs::loadKeyboardGameplay(true));
        EXPECT_FALSE(Prefs::loadKeyboardGameplay(false));
        EXPECT_EQ(GetCapturedStdout(),
                  "No prefs file found \xE2\x80\x93 using default player name (Player)\n"
                  "No prefs file found \xE2\x80\x93 using default keyboard gameplay setting (enabled)\n"
                  "No prefs file found \xE2\x80\x93 using default keyboard gameplay setting (disabled)\n");
    }
}

TEST_F(PrefsFile, StoredValuesOfTheWrongTypeOrEmptyFallBackSilently) {
    store(R"({"playerName": "", "keyboardGameplay": "yes"})");
    CaptureStdout();
    CaptureStderr();
    EXPECT_EQ(Prefs::loadPlayerName("Player"), "Player");
    EXPECT_TRUE(Prefs::loadKeyboardGameplay(true));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(GetCapturedStdout(), "");

    store(R"({"playerName": "Ada", "keyboardGameplay": false})");
    EXPECT_EQ(Prefs::loadPlayerName("Player"), "Ada");
    EXPECT_FALSE(Prefs::loadKeyboardGameplay(true));

    store("{not json");
    CaptureStderr();
    EXPECT_EQ(Prefs::loadPlayerName("Player"), "Player");
    EXPECT_TRUE(Prefs::loadKeyboardGameplay(true));
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(err.find("Failed to parse prefs JSON: "), 0u) << err;
    EXPECT_NE(err.find("\nFailed to parse prefs JSON for keyboard gameplay: "), std::string::npos) << err;
}

TEST_F(PrefsFile, ALongNameIsCutToSixtyFourBytesAtACharacterBoundary) {
    const std::string exact(64, 'x');
    store(R"({"playerName": ")" + exact + R"("})");
    EXPECT_EQ(Prefs::loadPlayerName("Player"), exact);

    std::string accented = "a";
    for (int i = 0; i < 40; ++i) accented += "\u00e9";  // 2 bytes each: byte 64 is inside one
    store(R"({"playerName": ")" + accented + R"("})");
    EXPECT_EQ(Prefs::loadPlayerName("Player"), accented.substr(0, 63));
}

TEST_F(PrefsFile, SavesMergeIntoTheFileInKeyOrderWithFourSpaces) {
    store(R"({"zeta": [1, 2], "playerName": "Ünïcode"})");
    CaptureStdout();
    Prefs::saveKeyboardGameplay(false);
    EXPECT_EQ(GetCapturedStdout(), "Keyboard gameplay setting saved to " + path().string() + ": disabled\n");
    EXPECT_EQ(readFile(path()),
              "{\n    \"keyboardGameplay\": false,\n    \"playerName\": \"Ünïcode\",\n    \"zeta\": [\n"
              "        1,\n        2\n    ]\n}");

    fs::remove(path());
    CaptureStdout();
    Prefs::savePlayerName("Player");
    Prefs::saveKeyboardGameplay(true);
    EXPECT_EQ(GetCapturedStdout(), "Player name saved to " + path().string() + "\nKeyboard gameplay setting saved to " +
                                       path().string() + ": enabled\n");
    EXPECT_EQ(readFile(path()), "{\n    \"keyboardGameplay\": true,\n    \"playerName\": \"Player\"\n}");
}

// The offset and the volume join the other members; values out of range or
// not whole give the defaults with one line each, and nothing is lost.
TEST_F(PrefsFile, OffsetAndVolumeAreKeptBesideTheOtherMembers) {
    store(R"({"playerName": "Ada", "keyboardGameplay": false})");
    EXPECT_EQ(Prefs::loadAudioOffsetMs(0), 0);
    EXPECT_EQ(Prefs::loadMusicVolume(100), 100);
    CaptureStdout();
    Prefs::saveAudioOffsetMs(-37);
    Prefs::saveMusicVolume(64);
    EXPECT_EQ(GetCapturedStdout(), "Audio offset saved to " + path().string() + ": -37 ms\nMusic volume saved to " +
                                       path().string() + ": 64 %\n");
    EXPECT_EQ(readFile(path()),
              "{\n    \"audioOffsetMs\": -37,\n    \"keyboardGameplay\": false,\n"
              "    \"musicVolume\": 64,\n    \"playerName\": \"Ada\"\n}");
    EXPECT_EQ(Prefs::loadAudioOffsetMs(0), -37);
    EXPECT_EQ(Prefs::loadMusicVolume(100), 64);

    store(R"({"audioOffsetMs": 12.5, "musicVolume": "64"})");
    CaptureStderr();
    EXPECT_EQ(Prefs::loadAudioOffsetMs(5), 5);
    EXPECT_EQ(Prefs::loadMusicVolume(80), 80);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Ignoring prefs value audioOffsetMs"), std::string::npos) << err;
    EXPECT_NE(err.find("Ignoring prefs value musicVolume"), std::string::npos) << err;

    // Out of range is clamped, with a line, whatever the size of the number.
    store(R"({"audioOffsetMs": -900, "musicVolume": 18446744073709551615})");
    CaptureStderr();
    EXPECT_EQ(Prefs::loadAudioOffsetMs(5), -300);
    EXPECT_EQ(Prefs::loadMusicVolume(80), 100);
    err = GetCapturedStderr();
    EXPECT_NE(err.find("Clamped prefs value audioOffsetMs: -900 to -300"), std::string::npos) << err;
    EXPECT_NE(err.find("Clamped prefs value musicVolume: 18446744073709551615 to 100"), std::string::npos) << err;
    store(R"({"audioOffsetMs": -300, "musicVolume": 0})");
    EXPECT_EQ(Prefs::loadAudioOffsetMs(5), -300);
    EXPECT_EQ(Prefs::loadMusicVolume(80), 0);
}

TEST_F(PrefsFile, ASaveOverAnUnreadableFileKeepsItAsideAndWhatCouldBeRead) {
    for (const char* stored : {"{broken", "[1, 2, 3]", "\"just a string\""}) {
        store(stored);
        CaptureStdout();
        CaptureStderr();
        Prefs::savePlayerName("Ada");
        const std::string err = GetCapturedStderr();
        GetCapturedStdout();
        EXPECT_EQ(readFile(path()), "{\n    \"playerName\": \"Ada\"\n}") << stored;
        if (std::string(stored) == "{broken")
            EXPECT_EQ(err.find("Failed to parse existing prefs when saving player name: "), 0u) << err;
        else EXPECT_EQ(err, "") << stored;
    }

    // One bad token: the name, volume and offset the player set survive the next save.
    const std::string damaged =
        R"({"playerName": "Zo\"e", "musicVolume": 35, "audioOffsetMs": -12, "speed": NaN, "keyboardGameplay": true})";
    for (const fs::directory_entry& entry : fs::directory_iterator(path().parent_path()))
        if (entry.path().filename() != "prefs.json") fs::remove(entry.path());
    store(damaged);
    CaptureStderr();
    EXPECT_EQ(Prefs::loadPlayerName("Player"), "Zo\"e");
    EXPECT_EQ(Prefs::loadMusicVolume(100), 35);
    CaptureStdout();
    Prefs::saveKeyboardGameplay(false);
    GetCapturedStdout();
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(readFile(path()), "{\n    \"audioOffsetMs\": -12,\n    \"keyboardGameplay\": false,\n"
                                "    \"musicVolume\": 35,\n    \"playerName\": \"Zo\\\"e\"\n}");
    std::vector<fs::path> aside;
    for (const fs::directory_entry& entry : fs::directory_iterator(path().parent_path()))
        if (entry.path().filename().string().rfind("prefs.json.corrupt-", 0) == 0) aside.push_back(entry.path());
    ASSERT_EQ(aside.size(), 1u) << err;
    EXPECT_EQ(readFile(aside.front()), damaged);
    EXPECT_NE(err.find("Kept the unreadable prefs file as " + aside.front().string()), std::string::npos) << err;
}

TEST_F(PrefsFile, AFailedWriteLeavesTheOldFileWhole) {
    store(R"({"playerName": "Kept"})");
    fs::create_directories(temporaryPathFor(path().string()));  // the temporary file cannot be written
    CaptureStderr();
    Prefs::savePlayerName("Lost");
    EXPECT_EQ(GetCapturedStderr().find("Failed to save prefs file: "), 0u);
    EXPECT_EQ(readFile(path()), R"({"playerName": "Kept"})");
}

}  // namespace
