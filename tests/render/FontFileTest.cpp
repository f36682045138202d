// Font files the atlas cannot use fail before any GL call, with their message
// and without reading past the file (this runs under the address sanitizer).
#include "render/RenderState.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

std::string loadFailure(const std::string& path, int pixelHeight = 32) {
    RenderState render;
    CaptureStderr();
    EXPECT_FALSE(render.loadFontAtlas(path, pixelHeight));
    EXPECT_EQ(render.fontTexture, 0u);
    EXPECT_TRUE(render.glyphs.empty());
    return GetCapturedStderr();
}

class FontFiles : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& bytes) {
        const std::string path = (dir.path() / name).string();
        testsupport::writeFile(path, bytes);
        return path;
    }
    std::string robotoBytes() {
        return testsupport::readFile(std::string(LUMOKA_ASSETS_DIR) + "/fonts/Roboto-Regular.ttf");
    }
    testsupport::TempDir dir;
};

TEST_F(FontFiles, MissingOrEmptyFileCannotBeLoaded) {
    const std::string missing = (dir.path() / "absent.ttf").string();
    EXPECT_EQ(loadFailure(missing), "Failed to load font file: " + missing + "\n");
    const std::string empty = file("empty.ttf", "");
    EXPECT_EQ(loadFailure(empty), "Failed to load font file: " + empty + "\n");
}

TEST_F(FontFiles, NonFontAndTruncatedFontsFailToInitialize) {
    const std::string text = file("notes.ttf", "this is a text file, not a font");
    EXPECT_EQ(loadFailure(text), "Failed to initialize font: " + text + "\n");

    const std::string roboto = robotoBytes();
    ASSERT_GT(roboto.size(), 1000u);
    for (const size_t length : {size_t{4}, size_t{12}, size_t{200}, roboto.size() / 2}) {
        const std::string cut = file("cut" + std::to_string(length) + ".ttf", roboto.substr(0, length));
        EXPECT_EQ(loadFailure(cut), "Failed to initialize font: " + cut + "\n") << length << " bytes";
    }
}

TEST_F(FontFiles, TooLargeForTheAtlasFailsToBake) {
    const std::string roboto = file("Roboto.ttf", robotoBytes());
    EXPECT_EQ(loadFailure(roboto, 200), "Failed to bake font bitmap: " + roboto + "\n");
}

}  // namespace
