#include "audio/NoteTimeline.h"

#include "audio/AudioSystem.h"
#include "base/Log.h"
#include "midi/MidiFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>

namespace {

constexpr int   kCentrePan      = 64;
constexpr int   kMidiChannels   = 16;
constexpr int   kPanController  = 10;
constexpr float kSameTempoSlack = 0.01f;

// The first tempo event of the merged track decides the chart's BPM; later
// ones only shape the events' seconds.
float firstTempo(MidiFile& file) {
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& event = file.event(t, i);
            if (!event.isTempo()) continue;
            const float bpm = static_cast<float>(event.tempoBpm());
            base::logInfo("Found MIDI tempo: %.1f BPM", bpm);
            return bpm;
        }
    }
    return kDefaultBpm;
}

// Every note-on and note-off in file order, each with the pan its channel had
// at that point.
std::vector<MidiNoteEvent> noteEvents(MidiFile& file) {
    std::vector<MidiNoteEvent>     events;
    std::array<int, kMidiChannels> pan;
    pan.fill(kCentrePan);
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& event        = file.event(t, i);
            const int             channel      = event.channel();
            const bool            knownChannel = channel >= 0 && channel < kMidiChannels;
            if (event.isController() && event.controllerNumber() == kPanController && knownChannel) {
                pan[channel] = event.controllerValue();
            }
            if (!event.isNoteOn() && !event.isNoteOff()) continue;
            MidiNoteEvent note;
            note.note     = event.keyNumber();
            note.velocity = event.velocity();
            note.pan      = knownChannel ? pan[channel] : kCentrePan;
            note.time     = event.seconds;
            note.duration = event.isNoteOn() ? event.durationSeconds() : 0.0;
            note.tick     = event.tick;
            note.isNoteOn = event.isNoteOn();
            note.channel  = channel;
            note.track    = t;
            events.push_back(note);
        }
    }
    return events;
}

// This pass's window of the song. On a looping stem the window is taken on
// loop positions and may wrap past the loop end; otherwise it runs from the
// last dispatch to now. Open below, closed above, so an event never fires twice.
struct DispatchWindow {
    double from    = 0.0;
    double to      = 0.0;
    bool   wrapped = false;
};

using EventIterator = std::vector<MidiNoteEvent>::const_iterator;

EventIterator firstAfter(const std::vector<MidiNoteEvent>& events, double time) {
    return std::upper_bound(events.begin(), events.end(), time,
                            [](double t, const MidiNoteEvent& event) { return t < event.time; });
}

// The events of the window in list order, found by binary search in the
// time-sorted list: a wrapped window is the start of the song up to `to`,
// then everything after `from`.
template <typename Fn>
void forEachInWindow(const std::vector<MidiNoteEvent>& events, const DispatchWindow& window, Fn fire) {
    const EventIterator upTo = firstAfter(events, window.to);
    if (window.wrapped) {
        for (auto it = events.begin(); it != upTo; ++it) fire(*it);
        for (auto it = firstAfter(events, window.from); it != events.end(); ++it) fire(*it);
        return;
    }
    for (auto it = firstAfter(events, window.from); it < upTo; ++it) fire(*it);
}

DispatchWindow windowFor(const StemMidi& midi, double now, bool looping) {
    const double length = midi.lengthSeconds;
    if (!looping || length <= 0.0) return {midi.lastDispatchTime, now, false};
    const double position = std::fmod(now, length);
    const double previous = std::fmod(midi.lastDispatchTime, length);
    return {previous, position, previous > position};
}

}  // namespace

StemMidi::StemMidi()                               = default;
StemMidi::~StemMidi()                              = default;
StemMidi::StemMidi(StemMidi&&) noexcept            = default;
StemMidi& StemMidi::operator=(StemMidi&&) noexcept = default;

void StemMidi::rewind() {
    lastDispatchTime = 0.0;
    loopCount        = 0;
    lastStreamTime   = 0.0;
}

bool StemMidi::load(const std::string& midiPath) {
    const std::string n = normalizePath(midiPath);
    base::logInfo("Loading MIDI file: %s", n.c_str());
    if (!fileExists(n)) {
        base::logError("Error: MIDI file does not exist: %s", n.c_str());
        return false;
    }
    file = std::make_unique<MidiFile>();
    if (!loadMidiAsset(n, *file)) {
        base::logError("Failed to load MIDI file using asset loader: %s", n.c_str());
        return false;
    }
    base::logInfo("Loaded MIDI file: %s", n.c_str());
    path             = n;
    lastDispatchTime = 0.0;
    loaded           = true;

    file->computeEventTimes();
    file->pairNotes();
    file->mergeTracks();
    bpm    = firstTempo(*file);
    events = noteEvents(*file);
    std::sort(events.begin(), events.end(),
              [](const MidiNoteEvent& a, const MidiNoteEvent& b) { return a.time < b.time; });

    base::logInfo("Successfully loaded MIDI file: %s with %zu note events (native BPM: %.1f)", fileName(n).c_str(),
                  events.size(), bpm);
    return true;
}

void StemMidi::scaleToBpm(float songBpm) {
    if (!loaded || events.empty()) return;
    const float ratio = bpm / songBpm;
    // A tempo of 0, below 0 or not a number would push every note to infinity
    // (or nowhere) and silently empty the level; the file's own timing is the
    // better fallback.
    if (!(songBpm > 0.0f) || !std::isfinite(songBpm) || !std::isfinite(ratio)) {
        base::logError("Cannot scale MIDI timing to a song BPM of %.1f, keeping the MIDI file's own %.1f BPM", songBpm,
                       bpm);
        return;
    }
    if (std::fabs(ratio - 1.0f) < kSameTempoSlack) {
        base::logInfo("MIDI BPM (%.1f) matches audio BPM (%.1f), no scaling needed", bpm, songBpm);
        return;
    }
    base::logInfo("Scaling MIDI timing: MIDI BPM %.1f -> Audio BPM %.1f (ratio: %.3f)", bpm, songBpm, ratio);
    for (MidiNoteEvent& event : events) {
        event.time *= ratio;
        event.duration *= ratio;
    }
    bpm = songBpm;
    base::logInfo("MIDI events scaled to match audio BPM (%.1f)", songBpm);
}

MidiDispatch AudioSystem::dispatchMidi(const NoteCallback& onNote, RenderState* render) {
    MidiDispatch dispatch;
    if (!playing || voiceGroup == 0 || !engine.isVoiceGroup(voiceGroup)) return dispatch;
    const double now = engine.getPlaybackTime(voiceGroup);
    for (size_t i = 0; i < stems.size(); ++i) {
        StemMidi& midi = stems[i].midi;
        if (!midi.loaded || !stems[i].active) continue;
        if (looping && midi.lengthSeconds > 0.0 && now < midi.lastStreamTime) {
            ++midi.loopCount;
            midi.lastDispatchTime = 0.0;
        }
        midi.lastStreamTime = now;
        dispatch.clock      = now;
        forEachInWindow(midi.events, windowFor(midi, now, looping), [&](const MidiNoteEvent& event) {
            MidiNoteEvent copy = event;
            copy.stemIndex     = static_cast<int32_t>(i);
            dispatch.fired.push_back(copy);
            if (onNote && render) onNote(copy, render);
        });
        midi.lastDispatchTime = now;
    }
    const size_t count = dispatch.fired.size();
    if (count > 2)
        std::cout << "MIDI: Triggered " << count << " events (master clock)"
                  << "\n";
    return dispatch;
}
