#include "tools/levelgen/SmfWriter.h"

#include "tools/levelgen/Music.h"

#include <algorithm>
#include <set>

namespace levelgen {

namespace {

struct TimedMessage {
    int                  tick  = 0;
    int                  order = 0;  // at one tick: set-up, then note-offs, then note-ons
    std::vector<uint8_t> bytes;
};

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(value >> (8 * i)));
}

void putVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int     count = 0;
    do {
        groups[count++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(uint8_t(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

TimedMessage meta(int tick, uint8_t type, std::vector<uint8_t> data) {
    TimedMessage m{tick, 0, {0xFF, type}};
    putVariableLength(m.bytes, uint32_t(data.size()));
    m.bytes.insert(m.bytes.end(), data.begin(), data.end());
    return m;
}

TimedMessage nameMeta(const std::string& name) { return meta(0, 0x03, std::vector<uint8_t>(name.begin(), name.end())); }

std::vector<uint8_t> trackChunk(std::vector<TimedMessage> messages, int endTick) {
    std::stable_sort(messages.begin(), messages.end(), [](const TimedMessage& a, const TimedMessage& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> body;
    int                  last = 0;
    for (const TimedMessage& m : messages) {
        putVariableLength(body, uint32_t(m.tick - last));
        body.insert(body.end(), m.bytes.begin(), m.bytes.end());
        last = m.tick;
    }
    putVariableLength(body, uint32_t(std::max(0, endTick - last)));
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
    putBigEndian(chunk, uint32_t(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<uint8_t> tempoTrack(const Song& song) {
    uint32_t micros = uint32_t(60000000 / song.bpm);
    return trackChunk(
        {meta(0, 0x58, {4, 2, 24, 8}), meta(0, 0x51, {uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)})},
        loopTicks(song));
}

std::vector<uint8_t> noteTrack(const Song& song, const Stem& stem) {
    std::vector<TimedMessage> messages{nameMeta(stem.name)};
    std::set<int>             channels;
    for (const Note& n : stem.notes) {
        if (!n.charted) continue;
        channels.insert(n.channel);
        uint8_t ch = uint8_t(n.channel & 0x0F);
        messages.push_back({n.tick, 2, {uint8_t(0x90 | ch), uint8_t(n.key), uint8_t(n.velocity)}});
        messages.push_back({n.tick + n.length, 1, {uint8_t(0x80 | ch), uint8_t(n.key), 0x40}});
    }
    for (int c : channels) {
        messages.push_back({0, 0, {uint8_t(0xC0 | c), uint8_t(stem.program)}});
        messages.push_back({0, 0, {uint8_t(0xB0 | c), 10, uint8_t(stem.pan)}});
    }
    return trackChunk(std::move(messages), loopTicks(song));
}

}  // namespace

std::vector<uint8_t> writeStemMidi(const Song& song, const Stem& stem) {
    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    putBigEndian(out, 6, 4);
    putBigEndian(out, 1, 2);  // format 1
    putBigEndian(out, 2, 2);  // tracks
    putBigEndian(out, kTicksPerQuarter, 2);
    for (const auto& track : {tempoTrack(song), noteTrack(song, stem)})
        out.insert(out.end(), track.begin(), track.end());
    return out;
}

}  // namespace levelgen
