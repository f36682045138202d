// A small set of valid MIDI files exercising what the reader must get right:
// running status, tempo maps, overlapping notes, velocity-0 note-offs, formats
// 0 and 1, SMPTE division, meta and system-exclusive events, long delta times.
// Used by the reader's tests, the comparison with midicsv and the fuzzer seeds.
#pragma once

#include "MidiWriter.h"

#include <string>
#include <vector>

namespace miditest {

struct MidiSample {
    std::string name;
    Bytes       bytes;
};

inline Bytes runningStatusFormat0() {
    MidiWriter writer(0, 96);
    writer.addTrack()
        .message(0, {0xC0, 0x05})  // program change
        .noteOn(0, 0, 60, 100)
        .message(48, {62, 90})  // running note-on
        .message(0, {60, 0})    // running note-on, velocity 0: a note-off
        .message(48, {62, 0})
        .controller(0, 0, 10, 32)
        .message(0, {7, 100})             // running controller
        .message(10, {0xE0, 0x00, 0x40})  // pitch bend
        .message(0, {0xD0, 0x30})         // channel pressure
        .message(5, {0x31})               // running channel pressure
        .noteOn(7, 9, 36, 127)
        .message(96, {0x89, 36, 0})
        .endOfTrack(12);
    return writer.bytes();
}

inline Bytes tempoMapFormat1() {
    MidiWriter writer(1, 480);
    writer.addTrack()
        .tempo(0, 500000)
        .meta(0, 0x58, {4, 2, 24, 8})  // time signature
        .tempo(480, 250000)
        .tempo(1440, 750000)
        .endOfTrack(0);
    TrackWriter& melody = writer.addTrack();
    for (int i = 0; i < 8; ++i) melody.noteOn(i == 0 ? 0 : 120, 0, 60 + i, 80 + i).noteOff(360, 0, 60 + i, 0);
    melody.endOfTrack(0);
    TrackWriter& bass = writer.addTrack();
    bass.noteOn(480, 1, 36, 100).noteOff(960, 1, 36, 30).noteOn(0, 1, 38, 90).noteOff(1200, 1, 38).endOfTrack(0);
    return writer.bytes();
}

inline Bytes overlappingNotes() {
    MidiWriter writer(1, 120);
    writer.addTrack()
        .noteOn(0, 2, 64, 100)
        .noteOn(30, 2, 64, 90)  // same key again before the first ends
        .noteOn(0, 3, 64, 80)   // same key, other channel
        .noteOff(30, 2, 64)
        .noteOff(30, 2, 64)
        .noteOff(0, 3, 64)
        .noteOff(10, 3, 64)     // one note-off too many
        .noteOn(10, 2, 65, 70)  // never released
        .endOfTrack(0);
    writer.addTrack().noteOn(0, 2, 64, 60).noteOff(200, 2, 64, 10).endOfTrack(0);
    return writer.bytes();
}

inline Bytes velocityZeroOffs() {
    MidiWriter   writer(1, 240);
    TrackWriter& track = writer.addTrack();
    track.noteOn(0, 4, 50, 100);
    track.message(120, {52, 101});
    track.message(0, {50, 0});
    track.message(120, {52, 0});
    track.noteOn(0, 5, 70, 64).noteOff(240, 5, 70, 127).noteOn(0, 5, 70, 1).noteOn(240, 5, 70, 0).endOfTrack(0);
    return writer.bytes();
}

inline Bytes smpteDivisionFile() {
    MidiWriter writer(1, smpteDivision(25, 40));
    writer.addTrack().tempo(0, 1000000).endOfTrack(0);
    writer.addTrack()
        .noteOn(0, 0, 72, 100)
        .noteOff(1000, 0, 72)
        .noteOn(500, 0, 74, 100)
        .noteOff(500, 0, 74)
        .endOfTrack(0);
    return writer.bytes();
}

inline Bytes metaAndSysex() {
    MidiWriter writer(1, 192);
    writer.addTrack()
        .meta(0, 0x03, Bytes(200, 'x'))  // track name with a two-byte length
        .sysex(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .noteOn(10, 15, 0, 1)
        .sysex(5, 0xF7, {0xF8})     // escaped real-time byte
        .message(0, {0xAF, 0, 50})  // key pressure
        .noteOff(20, 15, 0, 0)
        .meta(0, 0x7F, {})  // empty sequencer-specific event
        .noteOn(0, 15, 127, 127)
        .message(40, {127, 0})
        .endOfTrack(0);
    return writer.bytes();
}

inline Bytes longDeltas() {
    MidiWriter writer(1, 480);
    writer.addTrack()
        .noteOn(0x0FFFFFF, 0, 40, 10)
        .noteOff(0x0FFFFFFF, 0, 40)
        .noteOn(0x3FFF, 0, 41, 20)
        .noteOff(0x80, 0, 41)
        .endOfTrack(0);
    return writer.bytes();
}

inline std::vector<MidiSample> midiSamples() {
    return {
        {"running_status_format0", runningStatusFormat0()},
        {"tempo_map_format1", tempoMapFormat1()},
        {"overlapping_notes", overlappingNotes()},
        {"velocity_zero_offs", velocityZeroOffs()},
        {"smpte_division", smpteDivisionFile()},
        {"meta_and_sysex", metaAndSysex()},
        {"long_deltas", longDeltas()},
    };
}

}  // namespace miditest
