// The level's music: its stems (decoded audio plus MIDI chart), started together
// in one voice group whose first voice is the game's master clock, faded in one
// by one as the player unlocks them and silenced again on misses. Mixing is the
// Mixer's; the charts and their dispatch are the note timeline's
// (audio/NoteTimeline.h); what the notes mean is gameplay's. Main-thread calls unless noted;
// the logic thread calls dispatchMidi, fadeInStem and deactivateStem under the
// game-state lock.
#pragma once

#include "audio/Mixer.h"
#include "audio/NoteTimeline.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Sound;
struct RenderState;

// One layer of the song; move-only, owns its decoded audio and its chart.
struct Stem {
    Stem();
    ~Stem();
    Stem(Stem&&) noexcept;
    Stem& operator=(Stem&&) noexcept;

    std::unique_ptr<Sound> sound;
    std::string            name;
    float                  volume       = 1.0f;
    bool                   active       = false;
    bool                   fading       = false;
    float                  fadeProgress = 0.0f;
    float                  fadeDuration = 1.0f;
    uint32_t               index        = 0;
    uint32_t               voice        = 0;
    StemMidi               midi;
};

class AudioSystem {
public:
    bool init();                      // the default playback device
    bool init(Mixer::Output output);  // Output::None: no device, the caller pulls Mixer::mix
    void shutdown();
    bool loadStem(const std::string& path);
    bool loadStemWithMidi(const std::string& audioPath, const std::string& midiPath);
    void clearStems();
    void playAll();
    void stopAll();
    void activateFirstStem();
    void fadeInStem(int index, float seconds);
    void deactivateStem(int index);
    void setBpm(float newBpm);
    void setMusicVolume(float volume);  // 0..1, the player's: everything the mixer plays
    void update(float dt);
    // Each frame, before input is judged and circles are timed; readNs: when
    // the clock was read (SDL_GetTicksNS).
    void         updateStreamTime(double& streamTime, uint64_t& readNs);
    MidiDispatch dispatchMidi(const NoteCallback& onNote, RenderState* render);  // audio/NoteTimeline.cpp

    std::vector<Stem> stems;
    bool              playing      = false;
    bool              looping      = false;
    float             bpm          = 0.0f;
    float             speedFactor  = 0.0f;
    float             masterVolume = 0.0f;
    float             musicVolume  = 1.0f;
    Mixer             engine;
    uint32_t          voiceGroup = 0;
};

// Mixer::getPlaybackTime with the moment it was read (SDL_GetTicksNS), so a
// press stamped near it can be placed on the same clock.
double playbackTimeNow(Mixer& mixer, uint32_t handle, uint64_t& readNs);

// Reads and decodes one stem's audio file into a fresh stem (name, sound,
// length; index 0, no chart), with the loader's messages; a long one is opened
// as a stream and prefilled. Touches no
// AudioSystem, so level loading may run it on a worker thread.
bool decodeStem(const std::string& path, Stem& stem);

// Path helpers shared by the audio and level loaders.
std::string normalizePath(const std::string& path);  // backslashes to '/', quotes removed
std::string fileName(const std::string& path);       // after the last '/' or backslash
bool        fileExists(const std::string& path);     // SDL can open it for reading
