// The committed button images are exactly what our generator draws, so a change
// to the generator cannot ship without its pictures (or the other way round).
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(ButtonImages, TheCommittedImagesAreTheGeneratorsOutput) {
    testsupport::TempDir dir;
    const std::string    command = std::string(LUMOKA_BUTTONGEN) + " '" + dir.path().string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int images = 0;
    for (const auto& drawn : fs::directory_iterator(dir.path())) {
        const fs::path committed = fs::path(LUMOKA_ASSETS_DIR) / "textures" / drawn.path().filename();
        EXPECT_TRUE(testsupport::readFile(drawn.path()) == testsupport::readFile(committed)) << committed;
        ++images;
    }
    EXPECT_EQ(images, 6);
}

}  // namespace
