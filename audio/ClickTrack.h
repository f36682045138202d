// The calibration screen's click track: one beat of a short, bright click
// followed by silence, looping, so the voice's clock reads a whole number of
// beats at every click. Made in memory by us, played by the Mixer like any
// Sound; when to tap and what the taps mean are the calibration's.
#pragma once

class Sound;

bool makeClickTrack(Sound& sound, float bpm);  // false (and a logged line) if it cannot be decoded
