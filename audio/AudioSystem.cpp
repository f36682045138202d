#include "audio/AudioSystem.h"

bool AudioSystem::init() { return true; }
void AudioSystem::shutdown() {}
void AudioSystem::update(float) {}
void AudioSystem::playAll() {}
void AudioSystem::stopAll() {}
void AudioSystem::activateFirstStem() {}
void AudioSystem::dispatchMidi(GameLogic&, RenderState*) {}
