#include "ui/UISystem.h"

bool UISystem::init(SDL_Window*, SDL_GLContext) { return true; }
bool UISystem::processEvent(const SDL_Event&) { return false; }
void UISystem::beginFrame() {}
void UISystem::endFrame() {}
void UISystem::shutdown() {}
