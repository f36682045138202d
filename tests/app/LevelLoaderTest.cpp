// The level loader's hand-over: only the level asked for last comes back, a
// cancelled one never does, and a package without a manifest comes back
// unparsed so that installing it fails the way a synchronous load fails; a
// tutorial song that will not load is asked for once per page, not every frame.
#include "app/App.h"
#include "app/LevelLoader.h"
#include "level/TutorialSong.h"
#include "support/AppRig.h"
#include "support/LevelFiles.h"
#include "ui/Gui.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

void writePackage(const fs::path& folder, int stems, double seconds) {
    std::string list;
    for (int i = 0; i < stems; ++i) {
        const std::string name = "stem" + std::to_string(i) + ".wav";
        levelfiles::writeWav(folder / name, seconds);
        list += (i ? ", " : "") + std::string(R"({"file": ")") + name + "\"}";
    }
    testsupport::writeFile(folder / "level.json", "{\"stems\": [" + list + "]}");
}

// Polls like the frame loop does, for at most `limit`.
std::optional<LevelLoader::Ready> waitForReady(LevelLoader& loader, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (std::optional<LevelLoader::Ready> ready = loader.takeReady()) return ready;
        std::this_thread::sleep_for(5ms);
    }
    return std::nullopt;
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override {
        writePackage(dir.path() / "levels" / "long", 8, 6.0);
        writePackage(dir.path() / "levels" / "short", 1, 0.5);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override {
        loader.shutdown();
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
    }

    testsupport::TempDir          dir;
    testsupport::WorkingDirectory inside{dir.path()};
    LevelLoader                   loader;
    std::string                   out, err;
};

}  // namespace

TEST_F(Loader, ALevelChosenWhileAnotherLoadsReplacesIt) {
    loader.request({"levels/long", "Long", LevelLoader::Purpose::Run});
    loader.request({"levels/short", "Short", LevelLoader::Purpose::Run});
    EXPECT_EQ(loader.pending()->levelName, "Short");

    std::optional<LevelLoader::Ready> ready = waitForReady(loader, 30s);
    ASSERT_TRUE(ready.has_value());
    EXPECT_EQ(ready->package.name, "short");
    EXPECT_EQ(ready->request.levelName, "Short");
    ASSERT_EQ(ready->level.stems.size(), 1u);
    EXPECT_FALSE(loader.loading());
    EXPECT_FALSE(waitForReady(loader, 300ms).has_value()) << "the replaced level is never handed over";
}

TEST_F(Loader, ACancelledLoadIsNeverHandedOverAndTheWorkerTakesTheNextOne) {
    loader.request({"levels/long", "Long", LevelLoader::Purpose::Run});
    std::this_thread::sleep_for(20ms);
    loader.cancel();
    EXPECT_FALSE(loader.loading());
    EXPECT_EQ(loader.progress(), 0.0f);
    EXPECT_FALSE(waitForReady(loader, 1500ms).has_value());

    loader.request({"levels/long", "Long", LevelLoader::Purpose::Tutorial});
    EXPECT_TRUE(loader.loading(LevelLoader::Purpose::Tutorial));
    EXPECT_FALSE(loader.loading(LevelLoader::Purpose::Run));
    std::optional<LevelLoader::Ready> ready = waitForReady(loader, 30s);
    ASSERT_TRUE(ready.has_value());
    EXPECT_EQ(ready->level.stems.size(), 8u);
    EXPECT_EQ(ready->request.purpose, LevelLoader::Purpose::Tutorial);
}

TEST_F(Loader, APackageWithoutAManifestComesBackUnparsedAndItsInstallFails) {
    fs::create_directories(dir.path() / "levels" / "empty");
    loader.request({"levels/empty", "Empty", LevelLoader::Purpose::Run});
    std::optional<LevelLoader::Ready> ready = waitForReady(loader, 10s);
    ASSERT_TRUE(ready.has_value());
    EXPECT_FALSE(ready->level.parsed);

    App app;
    app.game.reset(kLayerCap);
    EXPECT_FALSE(ready->package.install(std::move(ready->level), app.audio, app.render, app.game));
    const std::string log = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    EXPECT_NE(log.find("Failed to read level JSON: levels/empty/level.json"), std::string::npos) << log;
    EXPECT_NE(log.find("CRITICAL: Failed to load level from manifest: levels/empty/level.json"), std::string::npos)
        << log;
}

TEST_F(Loader, AMissingTutorialSongLeavesThePageSilentAndIsAskedForOncePerPage) {
    std::unique_ptr<App> app = testsupport::windowlessApp(Mixer::Output::None);
    ASSERT_TRUE(app);
    tutorialActive = true;
    for (const int page : {1, 2}) {
        tutorialPage = page;
        app->updateTutorialSong();
        for (int frame = 0; frame < 100; ++frame) {
            app->installLoadedLevel();
            std::this_thread::sleep_for(5ms);
        }
    }
    tutorialActive = false;
    app->levelLoader.shutdown();
    const std::string log = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    size_t asked = 0;
    for (size_t at = log.find("conventional paths in: levels/tutorialsong"); at != std::string::npos;
         at        = log.find("conventional paths in: levels/tutorialsong", at + 1))
        ++asked;
    EXPECT_EQ(asked, 2u) << log;
    EXPECT_NE(log.find("No stems to play."), std::string::npos) << log;
    EXPECT_FALSE(tutorialSongLoaded());
    EXPECT_FALSE(app->audio.playing);
    app->audio.shutdown();
}
