#include "audio/AudioSystem.h"

#include "audio/Sound.h"
#include "midi/MidiFile.h"

StemMidi::StemMidi() = default;
StemMidi::~StemMidi() = default;
StemMidi::StemMidi(StemMidi&&) noexcept = default;
StemMidi& StemMidi::operator=(StemMidi&&) noexcept = default;
bool StemMidi::load(const std::string&) { return false; }
void StemMidi::scaleToBpm(float) {}

Stem::Stem() = default;
Stem::~Stem() = default;
Stem::Stem(Stem&&) noexcept = default;
Stem& Stem::operator=(Stem&&) noexcept = default;

bool AudioSystem::init() { return true; }
void AudioSystem::shutdown() {}
bool AudioSystem::loadStem(const std::string&) { return false; }
bool AudioSystem::loadStemWithMidi(const std::string&, const std::string&) { return false; }
void AudioSystem::clearStems() {}
void AudioSystem::playAll() {}
void AudioSystem::stopAll() {}
void AudioSystem::activateFirstStem() {}
void AudioSystem::fadeInStem(int, float) {}
void AudioSystem::deactivateStem(int) {}
void AudioSystem::setBpm(float) {}
void AudioSystem::update(float) {}
void AudioSystem::dispatchMidi(GameLogic&, RenderState*) {}

std::string normalizePath(const std::string& path) { return path; }
std::string fileName(const std::string& path) { return path; }
bool fileExists(const std::string&) { return false; }
