#include "tools/levelgen/Playfield.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace levelgen {

namespace {

double loopSeconds(const Song& song) { return tickToSeconds(loopTicks(song), song.bpm); }

Circle circleOf(const Song& song, int stem, const Note& note) {
    Circle c;
    c.stem        = stem;
    c.start       = tickToSeconds(note.tick, song.bpm);
    c.end         = note.channel == kHoldChannel ? tickToSeconds(note.tick + note.length, song.bpm) : c.start;
    c.centre      = circleCentre(note.key, note.velocity);
    c.keyboardKey = keyboardKey(note.key, note.velocity);
    return c;
}

// 3 on a bar line, 2 on a beat, 1 on an eighth, 0 elsewhere.
int beatStrength(int tick) {
    if (tick % kTicksPerBar == 0) return 3;
    if (tick % kTicksPerQuarter == 0) return 2;
    return tick % (kTicksPerQuarter / 2) == 0 ? 1 : 0;
}

// Gap between two time spans on a loop: 0 when they overlap.
double loopGap(const Circle& a, const Circle& b, double loop) {
    double best = loop;
    for (int shift = -1; shift <= 1; ++shift) {
        double bStart = b.start + shift * loop;
        double bEnd   = b.end + shift * loop;
        double gap    = std::max({0.0, bStart - a.end, a.start - bEnd});
        best          = std::min(best, gap);
    }
    return best;
}

bool crowdsAny(const Circle& c, const std::vector<Circle>& placed, double loop) {
    return std::any_of(placed.begin(), placed.end(), [&](const Circle& other) { return circlesCrowd(c, other, loop); });
}

// Too soon after a charted note of the same stem, or still inside one of its holds.
bool tooSoonInStem(const Circle& c, const std::vector<Circle>& placed, double minGap, double loop) {
    return std::any_of(placed.begin(), placed.end(), [&](const Circle& other) {
        if (other.stem != c.stem) return false;
        Circle onsetA = c, onsetB = other;
        onsetA.end = c.start;
        onsetB.end = other.start;
        return loopGap(onsetA, onsetB, loop) < minGap || loopGap(c, other, loop) < kReleaseSeconds;
    });
}

// Velocities of the band that keep the ring on screen, nearest to the composed one first.
std::vector<int> candidateVelocities(const Stem& stem, const Note& note) {
    std::vector<int> out;
    for (int v = stem.band.low; v <= stem.band.high; ++v)
        if (ringOnScreen(note.key, v)) out.push_back(v);
    std::stable_sort(out.begin(), out.end(),
                     [&](int a, int b) { return std::abs(a - note.velocity) < std::abs(b - note.velocity); });
    return out;
}

// Tries the note at each velocity of its band; true when one leaves it uncrowded.
bool placeAt(const Song& song, int stemIndex, Note& note, std::vector<Circle>& placed, PlayfieldReport& report) {
    const Stem& stem = song.stems[stemIndex];
    double      loop = loopSeconds(song);
    Circle      c    = circleOf(song, stemIndex, note);
    if (tooSoonInStem(c, placed, stem.minChartGap, loop)) return false;
    for (int v : candidateVelocities(stem, note)) {
        c.centre      = circleCentre(note.key, v);
        c.keyboardKey = keyboardKey(note.key, v);
        if (crowdsAny(c, placed, loop)) continue;
        if (v != note.velocity) ++report.moved;
        note.velocity = v;
        placed.push_back(c);
        return true;
    }
    return false;
}

// Places one charted note: true when it stays charted. A hold with no room for
// its whole length is tried as a tap (the channel changes the chart, not the sound).
bool placeNote(const Song& song, int stemIndex, Note& note, std::vector<Circle>& placed, PlayfieldReport& report) {
    if (placeAt(song, stemIndex, note, placed, report)) return true;
    if (note.channel != kHoldChannel) return false;
    note.channel = 0;
    if (placeAt(song, stemIndex, note, placed, report)) return true;
    note.channel = kHoldChannel;
    return false;
}

}  // namespace

Point circleCentre(int key, int velocity) {
    // The same arithmetic as the game's circle spawn.
    return {float(key * kScreenWidth) * 0.0078125f, float(kScreenHeight * velocity) * 0.0078125f};
}

int keyboardKey(int key, int velocity) {
    // The game's key columns are 16 notes wide; the rows split soft (< 42), middle and loud (> 85).
    int column = key >= 0 && key <= 127 ? key / 16 : key % 8;
    int row    = velocity < 42 ? 0 : velocity <= 85 ? 1 : 2;
    return column * 3 + row;
}

bool ringOnScreen(int key, int velocity) {
    if (key < 0 || key > 127 || velocity < 1 || velocity > 127) return false;
    Point p = circleCentre(key, velocity);
    return p.x - kRingRadius >= 0.0f && p.x + kRingRadius <= float(kScreenWidth) && p.y - kRingRadius >= 0.0f &&
           p.y + kRingRadius <= float(kScreenHeight);
}

std::vector<Circle> chartedCircles(const Song& song) {
    std::vector<Circle> out;
    for (size_t s = 0; s < song.stems.size(); ++s)
        for (const Note& n : song.stems[s].notes)
            if (n.charted) out.push_back(circleOf(song, int(s), n));
    return out;
}

bool circlesCrowd(const Circle& a, const Circle& b, double loopSeconds) {
    // A stem's next note may land where its hold was once that hold has been let go.
    bool   holdInStem = a.stem == b.stem && (a.end > a.start || b.end > b.start);
    double needed     = holdInStem ? kReleaseSeconds : kCloseSeconds;
    if (loopGap(a, b, loopSeconds) >= needed) return false;
    return a.keyboardKey == b.keyboardKey || std::hypot(a.centre.x - b.centre.x, a.centre.y - b.centre.y) < kMinSpacing;
}

PlayfieldReport makePlayable(Song& song) {
    // Stems unlocked first keep their notes where they were composed; later ones make way.
    std::vector<int> order(song.stems.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return song.stems[a].startOrder < song.stems[b].startOrder; });
    PlayfieldReport     report;
    std::vector<Circle> placed;
    for (int s : order) {
        // Within a stem the notes on the strongest beats are charted first.
        std::vector<Note*> notes;
        for (Note& n : song.stems[s].notes)
            if (n.charted) notes.push_back(&n);
        std::stable_sort(notes.begin(), notes.end(),
                         [](const Note* a, const Note* b) { return beatStrength(a->tick) > beatStrength(b->tick); });
        for (Note* note : notes) {
            note->charted = placeNote(song, s, *note, placed, report);
            if (note->charted) ++report.charted;
            else ++report.dropped;
        }
    }
    return report;
}

}  // namespace levelgen
