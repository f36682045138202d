// libFuzzer entry for the MIDI reader: parses arbitrary bytes, runs every later
// step the note timeline uses, and stops on anything that must hold whatever the
// input (sanitizers catch the reads and the undefined behaviour).
// `midi_parse_fuzzer --write-seeds DIR` writes a starting corpus of valid files.
#include "midi/MidiFile.h"
#include "tests/midi/MidiSamples.h"
#include "tests/support/FuzzSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "MIDI reader", what); }

fuzzsupport::Seeds seeds() {
    fuzzsupport::Seeds out;
    for (const miditest::MidiSample& sample : miditest::midiSamples())
        out.emplace_back(sample.name + ".mid", std::string(sample.bytes.begin(), sample.bytes.end()));
    return out;
}

void checkParsedTracks(MidiFile& file) {
    int lastSequence = 0;
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& e = file.event(t, i);
            check(!e.bytes.empty(), "empty message");
            check(e.track == t, "track index");
            check(e.sequence == lastSequence + 1, "sequence numbers");
            check(i == 0 || e.tick >= file.event(t, i - 1).tick, "ticks within a track");
            check(e.keyNumber() < 128 && e.velocity() < 128, "data bytes");
            lastSequence = e.sequence;
        }
    }
}

void checkTimesAndLinks(MidiFile& file) {
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& e = file.event(t, i);
            check(std::isfinite(e.seconds) && e.seconds >= 0.0, "finite seconds");
            check(!e.isTempo() || (std::isfinite(e.tempoBpm()) && e.tempoBpm() > 0.0), "tempo value");
            if (!e.link) continue;
            const MidiTrackEvent& other = *e.link;
            check(other.link == &e, "links pair both ways");
            check(e.isNoteOn() != other.isNoteOn() && other.track == e.track, "link joins one track's on and off");
            check(other.channel() == e.channel() && other.keyNumber() == e.keyNumber(), "link joins one key");
            check(std::isfinite(e.durationSeconds()), "finite duration");
        }
    }
}

void checkMerged(MidiFile& file) {
    check(file.trackCount() == 1, "one track after merging");
    for (int i = 1; i < file.eventCount(0); ++i) {
        const MidiTrackEvent& a = file.event(0, i - 1);
        const MidiTrackEvent& b = file.event(0, i);
        check(a.tick < b.tick || (a.tick == b.tick && a.sequence < b.sequence), "merged order");
        check(a.seconds <= b.seconds, "time runs forward");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "MIDI", seeds);
    std::cerr.rdbuf(nullptr);  // the reader's one-line messages would drown the fuzzer's output
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    MidiFile           file;
    bool               ok = file.parse(input);
    check(ok == file.status, "result and status agree");
    checkParsedTracks(file);
    file.computeEventTimes();
    file.pairNotes();
    checkTimesAndLinks(file);
    file.mergeTracks();
    checkMerged(file);
    checkTimesAndLinks(file);
    return 0;
}
