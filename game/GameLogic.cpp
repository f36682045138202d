#include "game/GameLogic.h"

void GameLogic::reset(int32_t) {}
void GameLogic::setNoteCallback() {}
void GameLogic::update(RenderState&, App&) {}
void GameLogic::updateProgress(App&) {}
void GameLogic::updateCircles(float) {}
void GameLogic::handleInput(InputManager&, int32_t) {}
void GameLogic::renderCircles(RenderState&) {}
