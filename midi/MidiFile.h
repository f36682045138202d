// Standard MIDI File reader (formats 0 and 1). Reads a whole file from a byte
// stream into tracks of events with absolute ticks, computes each event's time
// in seconds under the file's tempo map, pairs note-ons with their note-offs and
// merges the tracks into one time-ordered list. Turning the events into game
// notes and scaling them to a song's tempo is left to the note timeline.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One message of a track: the status byte (running status filled in) and its data.
// Meta events keep 0xFF, type, the stored length bytes and the data; system
// exclusive events keep the status byte and the data only.
struct MidiTrackEvent {
    std::vector<std::uint8_t> bytes;
    int                       tick     = 0;        // absolute
    int                       track    = 0;        // track chunk it was read from
    double                    seconds  = 0.0;      // after MidiFile::computeEventTimes
    int                       sequence = 0;        // reading order over the file, from 1
    MidiTrackEvent*           link     = nullptr;  // paired note-on / note-off

    bool   isNoteOn() const;                                    // 0x9n with velocity > 0
    bool   isNoteOff() const;                                   // 0x8n, or 0x9n with velocity 0
    bool   isController() const;                                // 0xBn
    bool   isTempo() const;                                     // FF 51 03 tt tt tt with a non-zero tempo
    int    channel() const;                                     // -1 for an empty message
    int    keyNumber() const;                                   // -1 unless note-on, note-off or 0xAn
    int    velocity() const;                                    // -1 unless note-on or note-off
    int    controllerNumber() const;                            // -1 unless controller
    int    controllerValue() const;                             // -1 unless controller
    double tempoBpm() const;                                    // -1 unless tempo
    double tempoSecondsPerTick(int ticksPerQuarterNote) const;  // -1 unless tempo
    double durationSeconds() const;                             // 0 without a link
};

using MidiTrack = std::vector<std::unique_ptr<MidiTrackEvent>>;

class MidiFile {
public:
    enum class TrackState { Split = 0, Merged = 1 };
    enum class TimeState { Delta = 0, Absolute = 1 };

    MidiFile();

    bool parse(std::istream& input);  // replaces all content; false on any read error
    void computeEventTimes();
    void pairNotes();
    void mergeTracks();
    void sortTracks();

    int             trackCount() const;
    int             eventCount(int track) const;  // 0 for a track that does not exist
    MidiTrackEvent& event(int track, int index);  // both indices must be in range

    std::vector<std::unique_ptr<MidiTrack>> tracks;
    int                                     ticksPerQuarterNote = 120;
    TrackState                              trackState          = TrackState::Split;
    TimeState                               timeState = TimeState::Absolute;  // ticks are always stored absolute
    std::string                             fileName;                         // used in messages only
    bool                                    timeMapValid = false;
    std::vector<std::pair<int, double>>     timeMap;  // (tick, seconds), one per distinct tick
    bool                                    status      = true;
    bool                                    notesPaired = false;

private:
    void reset();
};

// Reads the file at path through SDL and parses it into file; failures go to SDL's log.
bool loadMidiAsset(const std::string& path, MidiFile& file);
