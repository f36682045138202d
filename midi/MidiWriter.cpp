#include "midi/MidiWriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTicksPerQuarter = 480;

struct TimedBytes {
    int64_t              tick  = 0;
    int                  order = 0;  // at one tick, note-offs before note-ons
    std::vector<uint8_t> bytes;
};

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
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

std::vector<uint8_t> track(std::vector<TimedBytes> messages) {
    std::stable_sort(messages.begin(), messages.end(), [](const TimedBytes& a, const TimedBytes& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> body;
    int64_t              last = 0;
    for (const TimedBytes& m : messages) {
        putVariableLength(body, uint32_t(m.tick - last));
        body.insert(body.end(), m.bytes.begin(), m.bytes.end());
        last = m.tick;
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
    putBigEndian(chunk, uint32_t(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

uint8_t dataByte(int value) { return uint8_t(std::clamp(value, 0, 127)); }

}  // namespace

std::vector<uint8_t> writeChartMidi(float bpm, const std::vector<ChartNote>& notes) {
    const uint32_t micros         = uint32_t(std::lround(60000000.0 / bpm));
    const double   ticksPerSecond = double(kTicksPerQuarter) * 1000000.0 / micros;
    auto toTick = [&](double seconds) { return int64_t(std::llround(std::max(0.0, seconds) * ticksPerSecond)); };

    std::vector<TimedBytes> noteMessages;
    for (const ChartNote& n : notes) {
        const uint8_t channel = uint8_t(n.channel & 0x0F);
        const int64_t on      = toTick(n.seconds);
        const int64_t off     = std::max(on + 1, toTick(n.seconds + n.length));
        noteMessages.push_back({on, 1, {uint8_t(0x90 | channel), dataByte(n.key), dataByte(std::max(1, n.velocity))}});
        noteMessages.push_back({off, 0, {uint8_t(0x80 | channel), dataByte(n.key), 0x40}});
    }
    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    putBigEndian(out, 6, 4);
    putBigEndian(out, 1, 2);
    putBigEndian(out, 2, 2);
    putBigEndian(out, kTicksPerQuarter, 2);
    const std::vector<uint8_t> tempo =
        track({{0, 0, {0xFF, 0x51, 0x03, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)}}});
    const std::vector<uint8_t> chart = track(std::move(noteMessages));
    out.insert(out.end(), tempo.begin(), tempo.end());
    out.insert(out.end(), chart.begin(), chart.end());
    return out;
}
