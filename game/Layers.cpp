// Layer progression: a long enough combo fades in the next stem, a run of
// misses silences the newest one, and the multiplier follows both.
#include "game/GameLogic.h"

#include "audio/AudioSystem.h"

#include <algorithm>
#include <iostream>

void GameLogic::updateProgress(AudioSystem& audio) {
    if (!inGame) return;
    updateLayers(audio);
    multiplier = (static_cast<float>(combo) * 0.1f + 1.0f) * static_cast<float>(layers);
}

void GameLogic::updateLayers(AudioSystem& audio) {
    std::vector<Stem>& stems = audio.stems;
    const auto         count = static_cast<int32_t>(stems.size());

    if (combo - comboAtLastUnlock >= layers * comboPerLayer && layers < maxLayers) {
        if (layers < count) {
            const auto silent =
                std::find_if(stems.begin(), stems.end(), [](const Stem& stem) { return !stem.active && !stem.fading; });
            if (silent != stems.end()) {
                audio.fadeInStem(static_cast<int>(silent - stems.begin()), silent->fadeDuration);
                layers += 1;
                highestLayer = std::max(highestLayer, layers);
            }
        }
        comboAtLastUnlock = combo;
    }

    if (misses >= missLimit && layers > 1) {
        const auto newest = std::find_if(stems.rbegin(), stems.rend(), [](const Stem& stem) { return stem.active; });
        if (newest != stems.rend()) {
            const auto        index = static_cast<int>(stems.rend() - newest) - 1;
            const std::string name  = newest->name;
            audio.deactivateStem(index);
            layers -= 1;
            std::cout << "Deactivated stem " << index + 1 << "/" << count << " (" << name << ")" << std::endl;
        }
        misses = 0;
    }
}
