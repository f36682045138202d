#include "level/TutorialSong.h"

#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "level/LevelPackage.h"

#include <vector>

namespace {

constexpr float kPageFade = 1.0f;

// Which stems each page lets the player hear, in fade-in order.
std::vector<int> pageStems(int page) {
    switch (page) {
    case 1: return {1};
    case 2: return {0};
    case 3: return {0, 1};
    default: return {};
    }
}

}  // namespace

bool tutorialSongLoaded() { return packageLoaded && currentPackage.name == baseName(kTutorialSongFolder); }

void playTutorialPage(int page, AudioSystem& audio, GameLogic& game) {
    if (page == 0) {
        if (audio.playing) audio.stopAll();
        game.newRun();
        packageLoaded = false;
        return;
    }
    if (!audio.playing) audio.playAll();
    for (size_t i = 0; i < audio.stems.size(); ++i) audio.deactivateStem(static_cast<int>(i));
    for (const int stem : pageStems(page)) audio.fadeInStem(stem, kPageFade);

    game.newRun();
    // The rules count the page's audible stems as its layers.
    game.maxLayers = static_cast<int32_t>(audio.stems.size());
    game.startJudging(audio, game.playWidth(), game.playHeight());
}
