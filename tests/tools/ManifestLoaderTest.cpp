// Every generated manifest read by the game's own level loader: it parses, its
// stems come out in unlocking order with their files next to the manifest,
// and the song's tempo is the one the level was composed at.
#include "level/LevelManifest.h"
#include "tools/levelgen/Catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(GeneratedManifests, ParseWithTheGamesLevelLoader) {
    const fs::path levels = fs::path(LUMOKA_ASSETS_DIR) / "levels";
    ASSERT_TRUE(fs::exists(levels / "levels.json")) << "run tools/generate-levels.sh <build>/tools/levelgen/levelgen";
    for (const levelgen::LevelPlan& level : levelgen::levelCatalogue()) {
        SCOPED_TRACE(level.folder);
        fs::path manifest = level.standalone ? levels / "level.json" : levels / level.folder / "level.json";
        std::vector<StemEntry> entries;
        float                  bpm = 0.0f;
        ASSERT_TRUE(parseLevelManifest(manifest.string(), entries, bpm));
        EXPECT_FLOAT_EQ(bpm, float(level.style.bpm));
        ASSERT_EQ(entries.size(), level.style.voices.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].startOrder, int(i));
            EXPECT_TRUE(entries[i].playsNotes);
            EXPECT_TRUE(fs::exists(manifest.parent_path() / entries[i].file)) << entries[i].file;
            EXPECT_TRUE(fs::exists(manifest.parent_path() / entries[i].midi)) << entries[i].midi;
            EXPECT_GT(entries[i].peak, entries[i].base);
            EXPECT_LT(entries[i].red + entries[i].green + entries[i].blue,
                      3.0f);  // a colour of its own, not the default white
        }
    }
}
