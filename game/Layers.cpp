// The audio's side of the layer rules: the stems the rules unlocked fade in,
// the ones they silenced go quiet. The rules themselves are the judge's.
#include "game/GameLogic.h"

#include "audio/AudioSystem.h"

void GameLogic::updateProgress(AudioSystem& audio) {
    for (const LayerChange& change : takeLayerChanges()) {
        if (change.stem < 0 || static_cast<size_t>(change.stem) >= audio.stems.size()) continue;
        if (change.on) audio.fadeInStem(change.stem, audio.stems[static_cast<size_t>(change.stem)].fadeDuration);
        else audio.deactivateStem(change.stem);
    }
}
