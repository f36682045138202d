// The GUI scale: the display's content scale, never below 1 and never more than
// the window has room for.
#include "ui/UISystem.h"

#include <gtest/gtest.h>

namespace {

TEST(GuiScale, FollowsTheContentScaleWithinTheWindowsRoom) {
    EXPECT_FLOAT_EQ(UISystem::scaleFor(1.0f, 3840, 2160), 1.0f);
    EXPECT_FLOAT_EQ(UISystem::scaleFor(0.8f, 1920, 1080), 1.0f);
    EXPECT_FLOAT_EQ(UISystem::scaleFor(2.0f, 1920, 1080), 1.2f);
    EXPECT_FLOAT_EQ(UISystem::scaleFor(2.0f, 3840, 2160), 2.0f);
    EXPECT_FLOAT_EQ(UISystem::scaleFor(3.0f, 800, 600), 1.0f);
}

}  // namespace
