#include "tools/levelgen/Catalogue.h"

#include "tools/levelgen/BackgroundShaders.h"

namespace levelgen {

namespace {

const Voice kDrums{Role::Drums, "drums", "Standard Drum Kit", 0};

LevelPlan defaultLevel() {
    LevelPlan l;
    l.folder     = "default";
    l.standalone = true;
    l.style      = {0x4C554D4Bull,
                    120,
                    8,
                    9,
                    Mode::Minor,
                    {0, 5, 2, 6},
                    1,
                    1,
                    0.4,
                    {kDrums,
                     {Role::Bass, "bass", "Electric Bass (finger)", 33},
                     {Role::Pad, "pad", "Pad 2 (warm)", 89},
                     {Role::Arp, "arp", "Vibraphone", 11},
                     {Role::Lead, "lead", "Lead 1 (square)", 80}}};
    return l;
}

LevelPlan sampleA() {
    LevelPlan l;
    l.folder      = "sample_a.zip";
    l.title       = "Sample Level A";
    l.description = "Chill groove in D major at 100 BPM: four stems, few holds";
    l.difficulty  = 1;
    l.shader      = kDuskWavesShader;
    l.style       = {0xA11CE5ull,
                     100,
                     8,
                     2,
                     Mode::Major,
                     {0, 5, 3, 4},
                     1,
                     0,
                     0.2,
                     {kDrums,
                      {Role::Bass, "bass", "Acoustic Bass", 32},
                      {Role::Pad, "pad", "String Ensemble 1", 48},
                      {Role::Lead, "lead", "Flute", 73}}};
    return l;
}

LevelPlan sampleB() {
    LevelPlan l;
    l.folder      = "sample_b.zip";
    l.title       = "Sample Level B";
    l.description = "Medium intensity: E dorian at 125 BPM, five stems, syncopated bass";
    l.difficulty  = 2;
    l.shader      = kNeonGridShader;
    l.style       = {0xB0B5EEDull,
                     125,
                     8,
                     4,
                     Mode::Dorian,
                     {0, 6, 3, 0},
                     1,
                     1,
                     0.6,
                     {kDrums,
                      {Role::Bass, "bass", "Synth Bass 1", 38},
                      {Role::Arp, "arp", "Marimba", 12},
                      {Role::Pad, "pad", "Pad 4 (choir)", 91},
                      {Role::Lead, "lead", "Lead 2 (sawtooth)", 81}}};
    return l;
}

LevelPlan sampleC() {
    LevelPlan l;
    l.folder      = "sample_c.zip";
    l.title       = "Sample Level C";
    l.description = "Hard \u2013 lots of notes: F# minor at 150 BPM, six stems, many holds";
    l.difficulty  = 3;
    l.shader      = kTunnelShader;
    l.style       = {0xC0FFEEull,
                     150,
                     16,
                     6,
                     Mode::Minor,
                     {0, 5, 2, 6, 0, 5, 3, 4},
                     2,
                     2,
                     0.8,
                     {kDrums,
                      {Role::Bass, "bass", "Electric Bass (pick)", 34},
                      {Role::Stabs, "stabs", "Rock Organ", 18},
                      {Role::Arp, "arp", "Celesta", 8},
                      {Role::Pad, "pad", "Pad 3 (polysynth)", 90},
                      {Role::Lead, "lead", "Alto Sax", 65}}};
    return l;
}

LevelPlan tutorialSong() {
    LevelPlan l;
    l.folder = "tutorialsong";
    l.style  = {0x7E7041ull,  100, 8, 0,   Mode::Major,
                {0, 4, 5, 3}, 1,   0, 0.5, {kDrums, {Role::Lead, "melody", "Vibraphone", 11}}};
    return l;
}

}  // namespace

std::vector<LevelPlan> levelCatalogue() { return {defaultLevel(), sampleA(), sampleB(), sampleC(), tutorialSong()}; }

}  // namespace levelgen
