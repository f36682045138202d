#include "app/App.h"

#include "level/LevelInstall.h"
#include "level/LevelList.h"
#include "level/LevelManifest.h"
#include "level/LevelPackage.h"
#include "level/PackagePaths.h"
#include "level/TutorialSong.h"
#include "net/HttpDatabase.h"
#include "persistence/Leaderboard.h"
#include "persistence/Prefs.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/filebrowser/FileDialogs.h"

#include <SDL3/SDL.h>
#include <GL/glcorearb.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <iostream>

#include "render/GLFunctions.h"

std::atomic<bool> stopRequested{false};
std::mutex        gameStateMutex;

namespace {

constexpr float   kMaxFrameStep  = 0.033333335f;
constexpr int32_t kVisualStemCap = 8;

bool fail(const char* message) {
    std::cerr << message << "\n";
    return false;
}

}  // namespace

float frameStep(uint64_t now, uint64_t last, uint64_t frequency) {
    const float dt = static_cast<float>(now - last) / static_cast<float>(frequency);
    return std::min(kMaxFrameStep, dt);
}

bool App::init() {
    SDL_Init(SDL_INIT_VIDEO);
    SDL_SetHint("SDL_TOUCH_MOUSE_EVENTS", "1");
    std::cout << "SDL initialized successfully."
              << "\n";

    // What killed imports left behind is never anyone's level.
    removeStaleStagingFolders("levels");
    HttpDatabase::useLocalCopy({Leaderboard::loadLocal, Leaderboard::loadLocalScore, Leaderboard::mergeIntoFile,
                                Leaderboard::installedLevelNames});
    if (!audio.init()) return fail("Failed to initialize audio system");
    if (!render.init("Lumoka v0.0.1", 1920, 1080)) return fail("Failed to initialize render system");
    if (!UISystem::init(render)) return fail("Failed to initialize UI system");
    // Only the levels on the list are worth keeping the server's scores for.
    Leaderboard::setInstalledLevels(levelListNames());
    if (!render.initTextRendering()) return fail("Failed to initialize text rendering");

    input.init();
    game.reset(kLayerCap);
    game.playerName       = Prefs::loadPlayerName("Player");
    game.keyboardGameplay = Prefs::loadKeyboardGameplay(true);
    game.audioOffset      = Prefs::loadAudioOffsetMs(0) / 1000.0;
    audio.setMusicVolume(static_cast<float>(Prefs::loadMusicVolume(100)) / 100.0f);
    game.setNoteCallback();
    if (!loadLevelManifest("levels/level.json", audio, render, game)) {
        std::cerr << "Failed to load default level JSON definition (levels/level.json)"
                  << "\n";
    }
    render.bindUniformBlocks();

    guiVisible = true;
    running    = true;
    std::cout << "Application initialized successfully!"
              << "\n";
    HttpDatabase::init();
    return true;
}

bool App::runFrame(uint64_t& last, uint64_t frequency) {
    if (input.quitRequested()) {
        saveRunBeforeQuitting();
        return false;
    }

    const uint64_t now         = SDL_GetPerformanceCounter();
    const float    dt          = frameStep(now, last, frequency);
    bool           startWanted = false;

    // A dialog drawn last frame closes on Escape instead of the game.
    input.escapeQuits = !(guiVisible && guiTakesEscape());
    input.processEvents(guiVisible ? UISystem::processEvent : nullptr, guiVisible && UISystem::wantsTextInput());
    float mouseX, mouseY;
    input.getMousePosition(mouseX, mouseY);
    render.setPointer(mouseX, mouseY, input.mousePressed());
    {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        game.takeFetchedBestScore();
        installLoadedLevel();
        Leaderboard::takeLoadedLevels();
        copyStemFlags();
        render.update(dt);
        audio.update(dt);
        audio.updateStreamTime(game.streamTime, game.streamClockNs);
        game.updateRun(input, render.width, render.height, dt);
        // Space is the calibration's tap while it listens.
        if (input.playTogglePressed() && !showCalibration) startWanted = togglePlayback();
        if (input.guiTogglePressed()) guiVisible = !guiVisible;
        render.refreshWindowSize();

        gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
        gl.glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(render.uniforms), &render.uniforms);
        render.renderFrame();
        game.renderCircles(render);
    }
    if (startWanted) startSelectedLevel();  // it takes the lock itself
    gl.glUseProgram(0);
    gl.glBindVertexArray(0);
    gl.glBindBuffer(GL_UNIFORM_BUFFER, 0);
    gl.glDisable(GL_BLEND);

    if (guiVisible) {
        UISystem::beginFrame();
        drawGui();
        UISystem::endFrame();
    }
    render.swapBuffers();
    input.endFrame();
    last = now;
    return true;
}

void App::copyStemFlags() {
    const size_t slots       = std::min(audio.stems.size(), static_cast<size_t>(kVisualStemCap));
    int32_t      activeCount = 0;
    for (size_t i = 0; i < slots; ++i) {
        render.stemActive[i] = audio.stems[i].active;
        activeCount += audio.stems[i].active ? 1 : 0;
    }
    render.activeStemCount = activeCount;
}

// Quitting in the middle of a run keeps it, as leaving it by the exit button does.
void App::saveRunBeforeQuitting() {
    std::lock_guard<std::mutex> lock(gameStateMutex);
    if (game.inGame) endRun();
}

// Space stops what plays, a run as the exit button ends it (saved, then its
// results) and anything else with its circles gone; on the main menu it starts
// the chosen level, as "Start Level" does. True: that start is wanted.
bool App::togglePlayback() {
    if (game.inGame) {
        endRun();
        return false;
    }
    if (audio.playing) {
        audio.stopAll();
        game.newRun();
        return false;
    }
    return mainMenuShown() && !levelLoader.loading();
}

bool App::mainMenuShown() const {
    return !game.inGame && !showResults && !showLeaderboard && !tutorialActive && !showCalibration && !showSettings &&
           !showCredits && !anyFileDialogOpen() && !songImportWindowOpen();
}

// The run starts once the worker has decoded the level (App::installLoadedLevel).
void App::startSelectedLevel() {
    if (!hasSelectedLevel()) return;
    const LevelInfo& level = levelList[static_cast<size_t>(selectedLevel)];
    if (!isConfinedPath(level.file)) {
        std::fprintf(stderr, "Refused a level folder outside levels/: %s\n", level.file.c_str());
        return;
    }
    std::lock_guard<std::mutex> lock(gameStateMutex);
    requestLevel({"levels/" + level.file, level.name, LevelLoader::Purpose::Run});
}

// The level on stage goes before the next one is decoded, so two levels never
// sit in memory together; one still playing goes when the next is installed.
void App::requestLevel(LevelLoader::Request request) {
    if (!audio.playing) {
        audio.clearStems();
        packageLoaded = false;
    }
    levelLoader.request(std::move(request));
}

// The swap into the audio system happens here, on the main thread under the
// game-state lock; the worker only decoded.
void App::installLoadedLevel() {
    std::optional<LevelLoader::Ready> ready = levelLoader.takeReady();
    if (!ready) return;
    const bool tutorial  = ready->request.purpose == LevelLoader::Purpose::Tutorial;
    currentPackage       = std::move(ready->package);
    packageLoaded        = true;
    const bool installed = currentPackage.install(std::move(ready->level), audio, render, game);
    if (tutorial) {
        packageLoaded = installed;  // when it failed, the page plays without music and the next one tries again
        playTutorialPage(tutorialPage, audio, game);
    } else if (installed) {
        runFolder = std::filesystem::path(ready->request.folder).filename().string();
        startRun(ready->request.levelName);
    }
}

void App::startRun(const std::string& levelName) {
    if (!audio.stems.empty()) {
        audio.playAll();
        audio.activateFirstStem();
    }
    game.levelName = levelName;
    // The tutorial song caps the layers at its own stem count.
    game.maxLayers  = kLayerCap;
    game.levelStems = static_cast<int32_t>(audio.stems.size());
    game.newRun();
    game.startJudging(audio, render.width, render.height);
    game.inGame = true;
}

// The run, its replay and its upload go to the run keeper's thread: a large
// leaderboard file never holds up a frame.
void App::endRun() {
    game.finishJudging();
    audio.stopAll();
    runKeeper.keep(finishedRun());
    lastRun = game.summarize();
    game.newRun();
    game.inGame = false;
    showResults = true;
}

FinishedRun App::finishedRun() const {
    FinishedRun run;
    run.levelName   = game.levelName;
    run.levelFolder = runFolder;
    run.entry       = game.leaderboardEntry();
    run.runIsBest   = game.score > 0 && game.score == game.highScore;
    run.stems       = game.runStems();
    if (packageLoaded) run.levelFiles.push_back(currentPackage.manifestPath);
    for (const Stem& stem : audio.stems)
        if (stem.midi.loaded) run.levelFiles.push_back(stem.midi.path);
    Replay& replay     = run.replay;
    replay.gameVersion = "0.0.1";
    replay.levelName   = game.levelName;
    replay.settings    = game.settings();
    replay.startStems  = game.startStems();
    replay.player      = game.playerName;
    replay.claimed     = game.result();
    replay.endUs       = game.runEndUs;
    replay.inputs      = game.inputs();
    return run;
}

void App::shutdown(std::thread& logicThread) {
    stopRequested.exchange(true);
    if (logicThread.joinable()) logicThread.join();
    std::cout << "Game logic thread joined successfully"
              << "\n";
    levelLoader.shutdown();
    runKeeper.shutdown();  // every finished run is saved before its upload can be cut short
    HttpDatabase::shutdown();
    stopSongImport();
    stopPackageImport();
    std::cout << "Shutting down application..." << std::endl;
    audio.shutdown();
    UISystem::shutdown();
    render.shutdown();
    SDL_Quit();
    running = false;
}
