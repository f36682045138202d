// The real game binary with an audio driver that cannot open: start-up ends
// at the audio system, before any window, with the failure chain on stderr.
#include "audio/Mixer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(AudioStartUp, UnopenableDriverEndsStartUpBeforeAnyWindow) {
    testsupport::TempDir dir;
    testsupport::copyAssets(dir.path());
    testsupport::GameProcess game(dir.path(), {{"SDL_AUDIO_DRIVER", "nosuchdriver"}});
    const testsupport::ProcessResult result = game.wait(60s);
    EXPECT_EQ(result.exitCode, -1);

    size_t at = 0;
    const std::string engineLine = "Failed to initialize SoLoud: Error code " + std::to_string(Mixer::kDeviceFailed) + "\n";
    for (const std::string& line : {std::string("Failed to open the audio device: "), engineLine,
                                    std::string("Failed to initialize audio system\n"),
                                    std::string("Failed to initialize application\n")}) {
        const size_t found = testsupport::findAfter(result.err, line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n--- stderr ---\n" << result.err;
        at = found + line.size();
    }
    EXPECT_EQ(at, result.err.size()) << "nothing after the application's line:\n" << result.err;
    EXPECT_NE(result.out.find("SDL initialized successfully."), std::string::npos);
    EXPECT_EQ(result.out.find("SoLoud audio system initialized successfully."), std::string::npos);
    EXPECT_EQ(result.out.find("OpenGL render system initialized successfully!"), std::string::npos)
        << "the render system (and its window) must not have started";
}
