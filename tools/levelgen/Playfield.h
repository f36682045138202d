// Where the game will put a level's circles, and the pass that keeps the chart
// playable: the game places a circle at x = key × width / 128 and
// y = velocity × height / 128 with a target ring of radius 100. makePlayable
// moves charted notes to another velocity (height) inside their stem's band, or
// leaves them to the audio only, until every ring lies wholly on a 1920 × 1080
// screen and no two circles that can be hit at about the same time overlap or
// share a key of keyboard gameplay (a column of 16 keys by pitch, a row by velocity).
#pragma once

#include "tools/levelgen/Music.h"

namespace levelgen {

inline constexpr int   kScreenWidth  = 1920;
inline constexpr int   kScreenHeight = 1080;
inline constexpr float kRingRadius   = 100.0f;
inline constexpr float kMinSpacing   = 2.0f * kRingRadius;  // rings do not overlap
// A circle can be hit from 0.1 s before its note to 0.2 s after it (a hold: to its end),
// so two notes less than this apart can be on the target at once.
inline constexpr double kCloseSeconds = 0.3;
// Time to let go of a hold and press again.
inline constexpr double kReleaseSeconds = 0.1;

struct Point {
    float x = 0.0f;
    float y = 0.0f;
};

// A charted note as the game will see it: its stem, time span and circle centre.
struct Circle {
    int    stem  = 0;
    double start = 0.0;
    double end   = 0.0;  // start for a tap, start + length for a hold
    Point  centre;
    int    keyboardKey = 0;  // which of the 24 keys hits it in keyboard gameplay
};

struct PlayfieldReport {
    int charted = 0;  // charted notes left
    int moved   = 0;  // of those, how many got another velocity
    int dropped = 0;  // notes left to the audio
};

Point               circleCentre(int key, int velocity);
int                 keyboardKey(int key, int velocity);  // column × 3 + row
bool                ringOnScreen(int key, int velocity);
std::vector<Circle> chartedCircles(const Song& song);
// True when the two circles can be hit at about the same time (across the loop's wrap) and
// overlap or share a key; a stem's note may take the place of its previous hold once that is let go.
bool            circlesCrowd(const Circle& a, const Circle& b, double loopSeconds);
PlayfieldReport makePlayable(Song& song);

}  // namespace levelgen
