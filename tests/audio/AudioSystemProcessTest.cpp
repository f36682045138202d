// The real game binary with an audio driver that cannot open: start-up ends
// at the audio system, before any window, with the failure chain on stderr.
#include "audio/Mixer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(AudioStartUp, UnopenableDriverEndsStartUpBeforeAnyWindow) {
    testsupport::TempDir dir;
    testsupport::copyAssets(dir.path());
    testsupport::GameProcess         game(dir.path(), {{"SDL_AUDIO_DRIVER", "nosuchdriver"}});
    const testsupport::ProcessResult result = game.wait(60s);
    EXPECT_EQ(result.exitCode, -1);

    const std::string engineLine =
        "Failed to initialize SoLoud: Error code " + std::to_string(Mixer::kDeviceFailed) + "\n";
    const std::vector<std::string> lines = {"Failed to open the audio device: ", engineLine,
                                            "Failed to initialize audio system\n",
                                            "Failed to initialize application\n"};
    EXPECT_TRUE(testsupport::containsInOrder(result.err, lines));
    EXPECT_EQ(testsupport::endOfLinesInOrder(result.err, lines), result.err.size())
        << "nothing after the application's line:\n"
        << result.err;
    EXPECT_NE(result.out.find("SDL initialized successfully."), std::string::npos);
    EXPECT_EQ(result.out.find("SoLoud audio system initialized successfully."), std::string::npos);
    EXPECT_EQ(result.out.find("OpenGL render system initialized successfully!"), std::string::npos)
        << "the render system (and its window) must not have started";
}
