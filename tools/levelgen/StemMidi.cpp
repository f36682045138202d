#include "tools/levelgen/StemMidi.h"

#include "midi/MidiWriter.h"
#include "tools/levelgen/Music.h"

#include <set>
#include <string>

namespace levelgen {

namespace {

// At one tick: set-up, then note-offs, then note-ons.
enum Order { kSetUp, kNoteOff, kNoteOn };

std::vector<uint8_t> tempoTrack(const Song& song) {
    const uint32_t micros = uint32_t(60000000 / song.bpm);
    return midiTrackChunk({midiMetaMessage(0, 0x58, {4, 2, 24, 8}), midiTempoMessage(micros)}, loopTicks(song));
}

std::vector<uint8_t> noteTrack(const Song& song, const Stem& stem) {
    std::vector<TimedMidiMessage> messages{
        midiMetaMessage(0, 0x03, std::vector<uint8_t>(stem.name.begin(), stem.name.end()))};
    std::set<int> channels;
    for (const Note& n : stem.notes) {
        if (!n.charted) continue;
        channels.insert(n.channel);
        const uint8_t ch = uint8_t(n.channel & 0x0F);
        messages.push_back({n.tick, kNoteOn, {uint8_t(0x90 | ch), uint8_t(n.key), uint8_t(n.velocity)}});
        messages.push_back({n.tick + n.length, kNoteOff, {uint8_t(0x80 | ch), uint8_t(n.key), 0x40}});
    }
    for (int c : channels) {
        messages.push_back({0, kSetUp, {uint8_t(0xC0 | c), uint8_t(stem.program)}});
        messages.push_back({0, kSetUp, {uint8_t(0xB0 | c), 10, uint8_t(stem.pan)}});
    }
    return midiTrackChunk(std::move(messages), loopTicks(song));
}

}  // namespace

std::vector<uint8_t> writeStemMidi(const Song& song, const Stem& stem) {
    std::vector<uint8_t> out = midiFileHeader(2, kTicksPerQuarter);
    for (const auto& track : {tempoTrack(song), noteTrack(song, stem)})
        out.insert(out.end(), track.begin(), track.end());
    return out;
}

}  // namespace levelgen
