#include "midi/MidiWriter.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kTicksPerQuarter = 480;

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

uint8_t dataByte(int value) { return uint8_t(std::clamp(value, 0, 127)); }

}  // namespace

TimedMidiMessage midiMetaMessage(int64_t tick, uint8_t type, const std::vector<uint8_t>& data) {
    TimedMidiMessage message{tick, 0, {0xFF, type}};
    putVariableLength(message.bytes, uint32_t(data.size()));
    message.bytes.insert(message.bytes.end(), data.begin(), data.end());
    return message;
}

TimedMidiMessage midiTempoMessage(uint32_t microsPerQuarter) {
    return midiMetaMessage(
        0, 0x51, {uint8_t(microsPerQuarter >> 16), uint8_t(microsPerQuarter >> 8), uint8_t(microsPerQuarter)});
}

std::vector<uint8_t> midiFileHeader(int tracks, int ticksPerQuarter) {
    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    putBigEndian(out, 6, 4);
    putBigEndian(out, 1, 2);  // format 1
    putBigEndian(out, uint32_t(tracks), 2);
    putBigEndian(out, uint32_t(ticksPerQuarter), 2);
    return out;
}

std::vector<uint8_t> midiTrackChunk(std::vector<TimedMidiMessage> messages, int64_t endTick) {
    std::stable_sort(messages.begin(), messages.end(), [](const TimedMidiMessage& a, const TimedMidiMessage& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> body;
    int64_t              last = 0;
    for (const TimedMidiMessage& m : messages) {
        putVariableLength(body, uint32_t(m.tick - last));
        body.insert(body.end(), m.bytes.begin(), m.bytes.end());
        last = m.tick;
    }
    putVariableLength(body, uint32_t(std::max<int64_t>(0, endTick - last)));
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
    putBigEndian(chunk, uint32_t(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<uint8_t> writeChartMidi(float bpm, const std::vector<ChartNote>& notes) { return writeChartMidi(bpm, {}, notes); }

std::vector<uint8_t> writeChartMidi(float bpm, const std::vector<double>& beats, const std::vector<ChartNote>& notes) {
    const uint32_t micros         = uint32_t(std::lround(60000000.0 / bpm));
    const double   ticksPerSecond = double(kTicksPerQuarter) * 1000000.0 / micros;
    const bool     mapped         = beats.size() >= 2 && beats.front() >= 0.0 &&
                        std::adjacent_find(beats.begin(), beats.end(), std::greater_equal<double>()) == beats.end();
    const int64_t firstBeat = mapped ? int64_t(std::llround(beats.front() * ticksPerSecond)) : 0;
    const int64_t lastBeat  = mapped ? firstBeat + int64_t(beats.size() - 1) * kTicksPerQuarter : 0;
    // At `bpm` before the first beat and after the last, a quarter note a beat between them.
    auto toTick = [&](double seconds) {
        seconds = std::max(0.0, seconds);
        if (!mapped || seconds <= beats.front()) return int64_t(std::llround(seconds * ticksPerSecond));
        if (seconds >= beats.back()) return lastBeat + int64_t(std::llround((seconds - beats.back()) * ticksPerSecond));
        const size_t i    = size_t(std::upper_bound(beats.begin(), beats.end(), seconds) - beats.begin()) - 1;
        const double part = (seconds - beats[i]) / (beats[i + 1] - beats[i]);
        return firstBeat + int64_t(i) * kTicksPerQuarter + int64_t(std::llround(part * kTicksPerQuarter));
    };

    // At one tick, note-offs before note-ons.
    std::vector<TimedMidiMessage> noteMessages;
    for (const ChartNote& n : notes) {
        const uint8_t channel = uint8_t(n.channel & 0x0F);
        const int64_t on      = toTick(n.seconds);
        const int64_t off     = std::max(on + 1, toTick(n.seconds + n.length));
        noteMessages.push_back({on, 1, {uint8_t(0x90 | channel), dataByte(n.key), dataByte(std::max(1, n.velocity))}});
        noteMessages.push_back({off, 0, {uint8_t(0x80 | channel), dataByte(n.key), 0x40}});
    }
    // The first tempo is the song's, which the game reads as the chart's own; the beats' follow.
    std::vector<TimedMidiMessage> tempos = {midiTempoMessage(micros)};
    for (size_t i = 0; mapped && i < beats.size(); ++i) {
        const uint32_t beat = i + 1 < beats.size() ? uint32_t(std::lround((beats[i + 1] - beats[i]) * 1000000.0)) : micros;
        TimedMidiMessage tempo = midiMetaMessage(firstBeat + int64_t(i) * kTicksPerQuarter, 0x51,
                                                 {uint8_t(beat >> 16), uint8_t(beat >> 8), uint8_t(beat)});
        tempo.order = 1;
        tempos.push_back(tempo);
    }
    std::vector<uint8_t>       out   = midiFileHeader(2, kTicksPerQuarter);
    const std::vector<uint8_t> tempo = midiTrackChunk(std::move(tempos));
    const std::vector<uint8_t> chart = midiTrackChunk(std::move(noteMessages));
    out.insert(out.end(), tempo.begin(), tempo.end());
    out.insert(out.end(), chart.begin(), chart.end());
    return out;
}
