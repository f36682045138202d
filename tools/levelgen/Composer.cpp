#include "tools/levelgen/Composer.h"

#include <algorithm>
#include <array>

namespace levelgen {

namespace {

// splitmix64: small, fast and the same on every platform (std:: distributions are not).
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z          = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z          = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int  range(int low, int high) { return low + int(next() % uint64_t(high - low + 1)); }  // inclusive
    bool chance(double p) { return double(next() >> 11) * 0x1.0p-53 < p; }

private:
    uint64_t state_;
};

constexpr std::array<int, 7> kMajor  = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<int, 7> kMinor  = {0, 2, 3, 5, 7, 8, 10};
constexpr std::array<int, 7> kDorian = {0, 2, 3, 5, 7, 9, 10};

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int floorMod(int a, int b) { return a - floorDiv(a, b) * b; }

// The key and the chord progression: which chord sounds at a tick, and the pitch of a scale degree.
class Harmony {
public:
    explicit Harmony(const SongStyle& s)
        : tonic_(s.tonic),
          progression_(s.progression),
          ticksPerChord_(kTicksPerBar / s.chordsPerBar),
          steps_(s.mode == Mode::Major   ? kMajor
                 : s.mode == Mode::Minor ? kMinor
                                         : kDorian) {}

    int ticksPerChord() const { return ticksPerChord_; }
    int chordIndex(int tick) const { return tick / ticksPerChord_; }
    int root(int tick) const { return progression_[size_t(chordIndex(tick)) % progression_.size()]; }
    int nextRoot(int tick) const { return root((chordIndex(tick) + 1) * ticksPerChord_); }
    // MIDI key of a scale degree (any integer) counted from the tonic of the given octave.
    int pitch(int degree, int octave) const {
        return 12 * (octave + 1) + tonic_ + steps_[size_t(floorMod(degree, 7))] + 12 * floorDiv(degree, 7);
    }
    bool isChordTone(int degree, int tick) const {
        int d = floorMod(degree - root(tick), 7);
        return d == 0 || d == 2 || d == 4;
    }
    // The chord tone nearest to a degree (ties go up).
    int nearestChordTone(int degree, int tick) const {
        for (int k = 0; k < 4; ++k) {
            if (isChordTone(degree + k, tick)) return degree + k;
            if (isChordTone(degree - k, tick)) return degree - k;
        }
        return degree;
    }

private:
    int                tonic_;
    std::vector<int>   progression_;
    int                ticksPerChord_;
    std::array<int, 7> steps_;
};

struct Part {
    const SongStyle& style;
    const Harmony&   harmony;
    Rng&             rng;
    Stem&            stem;
    int              songTicks;

    void add(int tick, int length, int key, int velocity, int channel, bool charted) {
        if (tick >= songTicks) return;
        length = std::max(1, std::min(length, songTicks - tick));
        stem.notes.push_back({tick, length, key, std::clamp(velocity, 1, 127), channel, charted});
    }
    int jitter(int amount) { return rng.range(-amount, amount); }
    // A note filling a cell of the rhythm: long ones become hold circles (channel 1)
    // for the style's share of them, and end early enough to let go before the next.
    void addCell(int tick, int cellTicks, int key, int velocity) {
        bool hold = tickToSeconds(cellTicks - releaseTicks(), style.bpm) >= 0.5 && rng.chance(style.holdShare);
        add(tick, cellTicks - (hold ? releaseTicks() : kTicksPerStep / 4), key, velocity, hold ? kHoldChannel : 0,
            true);
    }
    // Ticks in the 0.15 s a player needs between releasing a hold and the next press.
    int releaseTicks() const { return int(0.15 * style.bpm * kTicksPerQuarter / 60.0) + 1; }
};

// ---- Drums ----------------------------------------------------------------

struct DrumLine {
    int         key;
    const char* pattern;  // sixteen steps, 'x' a hit
    int         velocity;
    bool        charted;
};

constexpr int kKick = 36, kSnare = 38, kClosedHat = 42, kOpenHat = 46, kCrash = 49, kLowTom = 45, kHighTom = 48;

std::vector<DrumLine> drumLines(int density, bool alternate) {
    switch (density) {
    case 0:
        return {{kKick, alternate ? "x.......x......." : "x.......x.x.....", 112, true},
                {kSnare, "....x.......x...", 88, true},
                {kClosedHat, "x.x.x.x.x.x.x.x.", 46, false}};
    case 1:
        return {{kKick, alternate ? "x.....x...x....." : "x......x.x......", 112, true},
                {kSnare, "....x.......x...", 88, true},
                {kClosedHat, "xxxxxxxxxxxxxx.x", 40, false},
                {kOpenHat, "..............x.", 58, true}};
    default:
        return {{kKick, alternate ? "x..x..x...x.x..." : "x..x..x...x..x..", 112, true},
                {kSnare, "....x.......x...", 88, true},
                {kSnare, "..........x....x", 42, false},
                {kClosedHat, "xxxxxx.xxxxxxx.x", 40, false},
                {kOpenHat, "......x.......x.", 58, true}};
    }
}

// One bar of the groove up to lastStep; a crash on the downbeat takes the hi-hat's place.
void playDrumBar(Part& p, int bar, const std::vector<DrumLine>& lines, int lastStep, bool crash) {
    int barTick = bar * kTicksPerBar;
    if (crash) p.add(barTick, kTicksPerQuarter, kCrash, 100, kDrumChannel, true);
    for (const DrumLine& line : lines)
        for (int step = 0; step < lastStep; ++step) {
            if (line.pattern[step] != 'x' || (crash && step == 0 && line.key == kClosedHat)) continue;
            int accent = line.key == kClosedHat && step % 4 == 0 ? 12 : 0;
            p.add(barTick + step * kTicksPerStep, kTicksPerStep, line.key, line.velocity + accent + p.jitter(3),
                  kDrumChannel, line.charted);
        }
}

// The last beat of every fourth bar: a snare (and, when busier, tom) run into the next phrase.
void playDrumFill(Part& p, int bar) {
    int barTick = bar * kTicksPerBar;
    p.add(barTick + 12 * kTicksPerStep, kTicksPerStep, kKick, 110, kDrumChannel, true);
    const int keys[4] = {kSnare, kSnare, p.style.density >= 2 ? kHighTom : kSnare,
                         p.style.density >= 1 ? kLowTom : kSnare};
    for (int i = p.style.density == 0 ? 2 : 0; i < 4; ++i)
        p.add(barTick + (12 + i) * kTicksPerStep, kTicksPerStep, keys[i], 70 + 8 * i, kDrumChannel, i % 2 == 0);
}

void composeDrums(Part& p) {
    for (int bar = 0; bar < p.style.bars; ++bar) {
        bool fill = bar % 4 == 3;
        playDrumBar(p, bar, drumLines(p.style.density, bar % 2 == 1), fill ? 12 : kStepsPerBar, bar % 8 == 0);
        if (fill) playDrumFill(p, bar);
    }
}

// ---- Bass -----------------------------------------------------------------

struct BassCell {
    int  step;
    int  length;  // steps
    char tone;    // r root, o octave, f fifth, a approach to the next chord
};

std::vector<BassCell> bassPattern(int density) {
    switch (density) {
    case 0: return {{0, 6, 'r'}, {8, 6, 'f'}, {14, 2, 'a'}};
    case 1: return {{0, 3, 'r'}, {3, 3, 'r'}, {6, 2, 'o'}, {8, 3, 'r'}, {11, 3, 'f'}, {14, 2, 'a'}};
    default:
        return {{0, 2, 'r'},  {2, 2, 'o'},  {4, 2, 'r'},  {6, 2, 'f'}, {8, 2, 'r'},
                {10, 2, 'o'}, {12, 1, 'r'}, {13, 1, 'r'}, {14, 2, 'a'}};
    }
}

int bassKey(const Harmony& h, char tone, int tick) {
    int root = h.pitch(h.root(tick), 2);
    int base = root > 45 ? -12 : 0;  // keep the line low
    switch (tone) {
    case 'o': return root + base + 12;
    case 'f': return h.pitch(h.root(tick) + 4, 2) + base;
    case 'a': return h.pitch(h.nextRoot(tick) - 1, 2) + base;
    default: return root + base;
    }
}

void composeBass(Part& p) {
    // Each note takes the chord under it, so with two chords to a bar the second half follows the second.
    for (int bar = 0; bar < p.style.bars; ++bar)
        for (const BassCell& c : bassPattern(p.style.density)) {
            int tick   = bar * kTicksPerBar + c.step * kTicksPerStep;
            int length = c.length * kTicksPerStep;
            int vel    = (c.step == 0 ? 46 : 38) + p.jitter(3);
            p.addCell(tick, length, bassKey(p.harmony, c.tone, tick), vel);
        }
}

// ---- Pad and stabs --------------------------------------------------------

// Root and fifth low, the third an octave up (an open voicing); the top voice is returned last.
std::vector<int> padVoicing(const Harmony& h, int tick) {
    int r   = h.root(tick);
    int low = h.pitch(r, 3);
    if (low > 57) low -= 12;
    int third = h.pitch(r + 2, 4);
    if (third - low > 24) third -= 12;
    return {low, low + (h.pitch(r + 4, 3) - h.pitch(r, 3)), third};
}

void composePad(Part& p) {
    int span   = p.harmony.ticksPerChord();
    int chords = p.style.bars * kTicksPerBar / span;
    int every  = p.style.density == 0 ? 2 : 1;  // calm songs chart every other chord
    for (int i = 0; i < chords; ++i) {
        int              tick   = i * span;
        std::vector<int> voices = padVoicing(p.harmony, tick);
        for (size_t v = 0; v < voices.size(); ++v) {
            bool top = v + 1 == voices.size();
            p.add(tick, span - p.releaseTicks(), voices[v], 30, kHoldChannel, top && i % every == 0);
        }
    }
}

void composeStabs(Part& p) {
    for (int bar = 0; bar < p.style.bars; ++bar)
        for (int step : {2, 6, 10, 14}) {
            int tick = bar * kTicksPerBar + step * kTicksPerStep;
            int r    = p.harmony.root(tick);
            int vel  = 56 + p.jitter(4);
            for (int v = 0; v < 3; ++v)
                p.add(tick, kTicksPerStep + kTicksPerStep / 2, p.harmony.pitch(r + 2 * v, 4), vel, 0, v == 2);
        }
}

// ---- Arpeggio -------------------------------------------------------------

void composeArp(Part& p) {
    static constexpr int kShape[8]  = {0, 2, 4, 7, 9, 7, 4, 2};  // up and back down the chord
    int                  stepLength = p.style.density >= 2 ? 1 : 2;
    int                  total      = p.style.bars * kStepsPerBar / stepLength;
    for (int i = 0; i < total; ++i) {
        int tick   = i * stepLength * kTicksPerStep;
        int degree = p.harmony.root(tick) + kShape[i % 8];
        int vel    = (tick % kTicksPerQuarter == 0 ? 64 : 56) + p.jitter(3);
        p.add(tick, stepLength * kTicksPerStep * 2, p.harmony.pitch(degree, 5), vel, 0, true);
    }
}

// ---- Lead -----------------------------------------------------------------

struct Cell {
    int step;    // sixteenths from the start of the two-bar phrase
    int length;  // sixteenths
};
using Rhythm = std::vector<Cell>;

const std::vector<Rhythm>& leadRhythms(int density) {
    static const std::vector<Rhythm> calm = {
        {{0, 6}, {6, 2}, {8, 8}, {20, 4}, {24, 8}},
        {{2, 2}, {4, 4}, {8, 4}, {12, 4}, {16, 12}},
    };
    static const std::vector<Rhythm> steady = {
        {{0, 3}, {3, 3}, {6, 2}, {8, 4}, {12, 2}, {14, 2}, {16, 6}, {22, 2}, {24, 8}},
        {{0, 2}, {2, 2}, {4, 4}, {10, 2}, {12, 4}, {16, 3}, {19, 3}, {22, 2}, {24, 8}},
    };
    static const std::vector<Rhythm> busy = {
        {{0, 2}, {2, 1}, {3, 1}, {4, 2}, {6, 2}, {8, 3}, {11, 3}, {14, 2}, {16, 2}, {18, 2}, {20, 4}, {24, 8}},
        {{0, 3}, {3, 3}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 1}, {17, 1}, {18, 2}, {20, 2}, {22, 2}, {24, 8}},
    };
    return density == 0 ? calm : density == 1 ? steady : busy;
}

struct Motif {
    int              start = 0;  // scale degree before the first note
    std::vector<int> moves;      // degrees from each note to the next
};

class Melody {
public:
    explicit Melody(Part& p) : p_(p), degree_(4), low_(lowestDegree(67)), high_(highestDegree(91)) {}

    // One two-bar phrase; with a motif (an earlier phrase's first degree and the steps
    // between its notes) the contour is repeated from the same place, fitted to the
    // chords under this phrase.
    Motif phrase(int startTick, const Rhythm& rhythm, const Motif* motif, bool resolve) {
        if (motif) degree_ = motif->start;
        Motif made{degree_, {}};
        for (size_t i = 0; i < rhythm.size(); ++i) {
            const Cell& c    = rhythm[i];
            int         tick = startTick + c.step * kTicksPerStep;
            int         move = motif && i < motif->moves.size() ? motif->moves[i] : freeMove(i, rhythm.size());
            int         prev = degree_;
            degree_          = std::clamp(degree_ + move, low_, high_);
            bool strong      = c.step % 8 == 0 || c.length >= 4;
            if (strong) degree_ = std::clamp(p_.harmony.nearestChordTone(degree_, tick), low_, high_);
            if (resolve && i + 1 == rhythm.size()) degree_ = resolveToTonic(degree_);
            made.moves.push_back(degree_ - prev);
            play(tick, c.length * kTicksPerStep, strong);
        }
        return made;
    }

private:
    // Degrees are counted from the tonic of octave 5.
    int lowestDegree(int key) const {
        int d = -21;
        while (p_.harmony.pitch(d, 5) < key) ++d;
        return d;
    }
    int highestDegree(int key) const {
        int d = lowestDegree(key);
        while (p_.harmony.pitch(d + 1, 5) <= key) ++d;
        return d;
    }
    // Mostly steps, now and then a leap; drawn up toward a high point in the first
    // half of a phrase and back toward the middle of the range after it.
    int freeMove(size_t index, size_t count) {
        int    middle = (low_ + high_) / 2;
        int    target = index * 2 < count ? middle + 3 : middle - 1;
        double up     = std::clamp(0.5 + 0.12 * (target - degree_), 0.15, 0.85);
        int    size   = p_.rng.chance(0.25) ? p_.rng.range(2, 4) : p_.rng.range(1, 2);
        return p_.rng.chance(up) ? size : -size;
    }
    int resolveToTonic(int degree) const {
        int below = degree - floorMod(degree, 7);
        int pick  = degree - below <= 3 ? below : below + 7;
        return std::clamp(pick, low_, high_) == pick ? pick : below;
    }
    void play(int tick, int length, bool strong) {
        int vel = 106 + (strong ? 4 : 0) + p_.jitter(3);
        int key = p_.harmony.pitch(degree_, 5);
        p_.addCell(tick, length, key, vel);
    }

    Part& p_;
    int   degree_;
    int   low_, high_;
};

void composeLead(Part& p) {
    const auto& rhythms = leadRhythms(p.style.density);
    Melody      melody(p);
    const int   phraseTicks = 2 * kTicksPerBar;
    // Eight-bar form: a motif, its answer, a contrasting phrase, the motif again resolving home.
    for (int section = 0; section * 8 < p.style.bars; ++section) {
        int           at    = section * 8 * kTicksPerBar;
        const Rhythm& main  = rhythms[size_t(section) % rhythms.size()];
        const Rhythm& other = rhythms[size_t(section + 1) % rhythms.size()];
        Motif         motif = melody.phrase(at, main, nullptr, false);
        melody.phrase(at + phraseTicks, main, &motif, false);
        melody.phrase(at + 2 * phraseTicks, other, nullptr, false);
        melody.phrase(at + 3 * phraseTicks, main, &motif, true);
    }
}

// ---- Stems ----------------------------------------------------------------

struct RoleLook {
    VelocityBand band;
    int          pan;
    float        mixRms;
    double       base, peak, lerpSpeed;
    double       color[3];
};

RoleLook lookOf(Role role) {
    switch (role) {
    case Role::Drums: return {{40, 116}, 64, 0.11f, 1.0, 2.4, 22.0, {1.0, 0.45, 0.2}};
    case Role::Bass: return {{20, 52}, 64, 0.09f, 1.0, 2.0, 12.0, {0.4, 0.35, 1.0}};
    case Role::Pad: return {{14, 40}, 64, 0.05f, 1.0, 1.6, 4.0, {0.2, 0.85, 0.8}};
    case Role::Stabs: return {{44, 66}, 44, 0.05f, 1.0, 2.0, 18.0, {1.0, 0.8, 0.25}};
    case Role::Arp: return {{44, 66}, 84, 0.05f, 1.0, 1.8, 20.0, {0.75, 1.0, 0.3}};
    case Role::Lead: return {{100, 116}, 56, 0.065f, 1.0, 2.2, 14.0, {1.0, 0.35, 0.7}};
    }
    return {};
}

// Seconds two charted notes of one stem keep apart: closer as the song gets busier.
double chartGap(int density) { return density == 0 ? 0.36 : density == 1 ? 0.24 : 0.19; }

Stem stemFor(const SongStyle& style, const Voice& voice, int order) {
    RoleLook look = lookOf(voice.role);
    Stem     s;
    s.name        = voice.name;
    s.instrument  = voice.instrument;
    s.program     = voice.program;
    s.pan         = look.pan;
    s.startOrder  = order;
    s.band        = look.band;
    s.minChartGap = chartGap(style.density);
    s.mixRms      = look.mixRms;
    s.base        = look.base;
    s.peak        = look.peak;
    s.lerpSpeed   = look.lerpSpeed;
    std::copy(look.color, look.color + 3, s.color);
    return s;
}

void composePart(Part& p, Role role) {
    switch (role) {
    case Role::Drums: composeDrums(p); break;
    case Role::Bass: composeBass(p); break;
    case Role::Pad: composePad(p); break;
    case Role::Stabs: composeStabs(p); break;
    case Role::Arp: composeArp(p); break;
    case Role::Lead: composeLead(p); break;
    }
}

}  // namespace

bool styleIsValid(const SongStyle& style, std::string& why) {
    if (!beatIsWholeSamples(style.bpm) || 60000000 % style.bpm != 0) {
        why = "tempo " + std::to_string(style.bpm) + " BPM is not a whole number of samples and microseconds per beat";
        return false;
    }
    if (style.bars <= 0 || style.progression.empty() || (style.chordsPerBar != 1 && style.chordsPerBar != 2)) {
        why = "a song needs bars, a chord progression and one or two chords to a bar";
        return false;
    }
    if (style.voices.empty() || style.voices.size() > 8) {
        why = "a song has one to eight stems";
        return false;
    }
    return true;
}

Song composeSong(const SongStyle& style) {
    Song song;
    song.bpm  = style.bpm;
    song.bars = style.bars;
    Harmony harmony(style);
    for (size_t i = 0; i < style.voices.size(); ++i) {
        Stem stem = stemFor(style, style.voices[i], int(i));
        Rng  rng(style.seed * 0x100000001B3ull + i * 0x9E3779B9ull + 1);
        Part part{style, harmony, rng, stem, loopTicks(song)};
        composePart(part, style.voices[i].role);
        std::stable_sort(stem.notes.begin(), stem.notes.end(),
                         [](const Note& a, const Note& b) { return a.tick < b.tick; });
        song.stems.push_back(std::move(stem));
    }
    return song;
}

}  // namespace levelgen
