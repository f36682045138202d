#include "level/LevelManifest.h"

bool loadLevelManifest(const std::string&, AudioSystem&, RenderState&, GameLogic&) { return false; }
