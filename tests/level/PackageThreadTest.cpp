// Level packages chosen and tutorial pages turned while the real logic thread
// dispatches a playing song through a live audio device (SDL's dummy driver):
// the packages decode on the level loader's worker and are installed by the
// frame loop. Under ThreadSanitizer any rebuild of the stems outside the
// game-state lock, or a worker touching game state, is reported.
#include "app/App.h"
#include "app/LogicThread.h"
#include "level/TutorialSong.h"
#include "ui/Gui.h"
#include "support/AppRig.h"
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <SDL3/SDL_hints.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

void writePackage(const fs::path& folder) {
    std::vector<levelfiles::Note> notes;
    for (int i = 0; i < 40; ++i) notes.push_back({0.05 * i, 0.02, 40 + i, 90});
    levelfiles::writeWav(folder / "lead.wav", 2.0);
    levelfiles::writeWav(folder / "pad.wav", 2.0);
    levelfiles::writeMidi(folder / "lead.mid", notes);
    levelfiles::writeMidi(folder / "pad.mid", notes);
    testsupport::writeFile(folder / "level.json", R"({"stems": [
        {"file": "lead.wav", "midi": "lead.mid"}, {"file": "pad.wav", "midi": "pad.mid", "startOrder": 1}]})");
}

TEST(PackageThread, PackagesAndTutorialPagesRebuildTheStemsWhileTheTickDispatches) {
    testsupport::TempDir dir;
    for (const char* name : {"one", "two", "tutorialsong"}) writePackage(dir.path() / "levels" / name);
    testsupport::WorkingDirectory inside(dir.path());
    SDL_SetHint(SDL_HINT_AUDIO_DRIVER, "dummy");

    std::unique_ptr<App> app = testsupport::windowlessApp();
    ASSERT_TRUE(app);

    ::testing::internal::CaptureStdout();
    std::thread logic(runLogicThread, app.get());
    size_t      mostCircles = 0;
    const auto  end         = std::chrono::steady_clock::now() + 2500ms;
    for (int frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
        {
            std::lock_guard<std::mutex> lock(gameStateMutex);
            if (frame % 40 == 0) {
                tutorialActive = false;
                app->levelLoader.request(
                    {frame % 80 == 0 ? "levels/one" : "levels/two", "Level", LevelLoader::Purpose::Run});
            } else if (frame % 40 == 20) {
                tutorialActive = true;
                tutorialPage   = frame / 40 % kTutorialPages;
                app->updateTutorialSong();
            }
            app->installLoadedLevel();
            app->audio.update(1.0f / 60.0f);
            app->game.updateCircles(1.0f / 60.0f);
            mostCircles = std::max(mostCircles, app->game.circles.size());
        }
        std::this_thread::sleep_for(8ms);
    }
    stopRequested = true;
    logic.join();
    app->levelLoader.shutdown();
    app->audio.shutdown();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_GT(mostCircles, 0u) << "the tick spawned circles from the dispatched clock";
    EXPECT_NE(out.find("Loading level package from conventional paths in: levels/tutorialsong"), std::string::npos);
    EXPECT_NE(out.find("Loaded stems successfully via level.json manifest."), std::string::npos);
}

}  // namespace
