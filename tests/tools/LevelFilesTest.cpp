// The files around the music: the level manifest and the level list in the
// exact form the game reads, the MIDI writer against Debian's midicsv, and what
// the generator does with a missing soundfont or an output folder it cannot write.
#include "LevelgenTestUtil.h"

#include "support/TestSupport.h"
#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Composer.h"
#include "tools/levelgen/Generator.h"
#include "tools/levelgen/Manifest.h"
#include "tools/levelgen/Playfield.h"
#include "tools/levelgen/SmfWriter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <regex>

using namespace levelgen;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
namespace fs = std::filesystem;

TEST(Manifest, NamesEveryStemWithTheKeysTheGameReads) {
    Song        song = composeSong(lgtest::shortLevel({Role::Bass, Role::Lead}).style);
    std::string text = manifestText(song, "default/");
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.find("\n    \"songMetaData\""), std::string::npos);  // indent of 4
    nlohmann::json doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc.dump(4), text);  // keys in ascending order, as the library writes them
    ASSERT_TRUE(doc["songMetaData"].is_array());
    EXPECT_EQ(doc["songMetaData"][0]["bpm"].get<float>(), 125.0f);
    ASSERT_EQ(doc["stems"].size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto& s = doc["stems"][i];
        EXPECT_EQ(s["file"], "default/" + song.stems[i].name + ".ogg");
        EXPECT_EQ(s["midi"], "default/" + song.stems[i].name + ".mid");
        EXPECT_EQ(s["startOrder"], int(i));
        EXPECT_EQ(s["playsNotes"], true);
        EXPECT_TRUE(s["instrument"].is_string());
        for (const char* key : {"base", "peak", "lerpSpeed"}) EXPECT_TRUE(s["animation"][key].is_number()) << key;
        EXPECT_GT(s["animation"]["peak"].get<float>(), s["animation"]["base"].get<float>());
        ASSERT_TRUE(s["color"].is_array());
        EXPECT_EQ(s["color"].size(), 3u);
    }
}

TEST(Manifest, TheLevelListReadsAsTheGamesPatternsReadIt) {
    std::string text = levelListText(levelCatalogue());
    // The game picks brace groups and "key": value pairs out of the text.
    std::regex               entry(R"(\{[^}]*\})");
    std::vector<std::string> names, files;
    std::vector<int>         difficulties;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it) {
        std::string candidate = it->str();
        std::smatch m;
        ASSERT_TRUE(std::regex_search(candidate, m, std::regex(R"re("name"\s*:\s*"([^"]+)")re")));
        names.push_back(m[1]);
        ASSERT_TRUE(std::regex_search(candidate, m, std::regex(R"re("file"\s*:\s*"([^"]+)")re")));
        files.push_back(m[1]);
        ASSERT_TRUE(std::regex_search(candidate, m, std::regex(R"re("difficulty"\s*:\s*([0-9]+))re")));
        difficulties.push_back(std::stoi(m[1]));
        ASSERT_TRUE(std::regex_search(candidate, m, std::regex(R"re("description"\s*:\s*"([^"]+)")re")));
        EXPECT_EQ(m[1].str().find('\n'), std::string::npos);
    }
    EXPECT_EQ(files, (std::vector<std::string>{"sample_a.zip", "sample_b.zip", "sample_c.zip"}));
    EXPECT_EQ(difficulties, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(names.size(), 3u);
}

TEST(MidiWriter, MidicsvReadsTheChartNoteForNote) {
    LevelPlan level = lgtest::shortLevel({Role::Bass, Role::Pad});
    Song      song  = composeSong(level.style);
    makePlayable(song);
    testsupport::TempDir dir;
    for (const Stem& stem : song.stems) {
        SCOPED_TRACE(stem.name);
        fs::path             path  = dir.path() / (stem.name + ".mid");
        std::vector<uint8_t> bytes = writeStemMidi(song, stem);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::vector<lgtest::CsvNote> notes;
        std::string                  csv;
        ASSERT_TRUE(lgtest::midicsvNotes(path, notes, csv)) << "midicsv (installed by tools/setup.sh) failed:\n" << csv;
        EXPECT_NE(csv.find("Header, 1, 2, 480"), std::string::npos);
        EXPECT_NE(csv.find("Tempo, 480000"), std::string::npos);
        auto firstCharted = std::find_if(stem.notes.begin(), stem.notes.end(), [](const Note& n) { return n.charted; });
        ASSERT_NE(firstCharted, stem.notes.end());
        EXPECT_NE(csv.find("Control_c, " + std::to_string(firstCharted->channel) + ", 10, " + std::to_string(stem.pan)),
                  std::string::npos);
        EXPECT_NE(csv.find("End_track"), std::string::npos);
        EXPECT_NE(csv.find(std::to_string(loopTicks(song)) + ", End_track"), std::string::npos);
        size_t ons = 0;
        for (const Note& n : stem.notes) {
            if (!n.charted) continue;
            ++ons;
            lgtest::CsvNote on{n.tick, n.channel, n.key, n.velocity, true};
            lgtest::CsvNote off{n.tick + n.length, n.channel, n.key, 64, false};
            EXPECT_NE(std::find(notes.begin(), notes.end(), on), notes.end()) << "note-on at " << n.tick;
            EXPECT_NE(std::find(notes.begin(), notes.end(), off), notes.end()) << "note-off at " << n.tick + n.length;
        }
        EXPECT_EQ(notes.size(), 2 * ons);
    }
}

TEST(BadInput, AMissingSoundfontIsNamedWithItsPackageAndNothingIsWritten) {
    testsupport::TempDir dir;
    GeneratorOptions     options{(dir.path() / "levels").string(), "/nonexistent/TimGM6mb.sf2", 2};
    CaptureStderr();
    EXPECT_FALSE(generateLevels(options));
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("/nonexistent/TimGM6mb.sf2"), std::string::npos) << err;
    EXPECT_NE(err.find("apt-get install timgm6mb-soundfont"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "levels"));
}

TEST(BadInput, ASoundfontFluidSynthCannotReadIsNamedToo) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "broken.sf2", "RIFF but not really a soundfont");
    GeneratorOptions options{(dir.path() / "levels").string(), (dir.path() / "broken.sf2").string(), 2};
    CaptureStderr();
    EXPECT_FALSE(generateLevels(options));
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("broken.sf2 cannot be read"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(fs::exists(dir.path() / "levels"));
}

TEST(BadInput, AnOutputFolderThatCannotBeMadeIsNamed) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "file", "not a folder");
    GeneratorOptions options{(dir.path() / "file" / "levels").string(), kDefaultSoundfont, 2};
    CaptureStderr();
    EXPECT_FALSE(generateLevels(options));
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find(options.outputDir), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}
