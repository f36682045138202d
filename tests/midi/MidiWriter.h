// Builds Standard MIDI File bytes for tests and fuzzer seeds, so no binary
// fixture is ever checked in. Writes exactly what it is told: running status,
// missing end-of-track events or wrong header values are the caller's choice.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <vector>

namespace miditest {

using Bytes = std::vector<std::uint8_t>;

inline void appendVariableLength(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int          count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value > 0);
    while (count > 1) out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

inline void appendBigEndian(Bytes& out, std::uint32_t value, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) out.push_back((value >> shift) & 0xFF);
}

class TrackWriter {
public:
    // A delta time followed by the message bytes as given (a data byte first
    // makes the message use running status).
    TrackWriter& message(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
        appendVariableLength(bytes_, delta);
        bytes_.insert(bytes_.end(), bytes);
        return *this;
    }
    TrackWriter& noteOn(std::uint32_t delta, int channel, int key, int velocity) {
        return message(delta, {status(0x90, channel), byte(key), byte(velocity)});
    }
    TrackWriter& noteOff(std::uint32_t delta, int channel, int key, int velocity = 64) {
        return message(delta, {status(0x80, channel), byte(key), byte(velocity)});
    }
    TrackWriter& controller(std::uint32_t delta, int channel, int number, int value) {
        return message(delta, {status(0xB0, channel), byte(number), byte(value)});
    }
    TrackWriter& tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
        return message(delta, {0xFF, 0x51, 0x03, byte(microsecondsPerQuarter >> 16), byte(microsecondsPerQuarter >> 8),
                               byte(microsecondsPerQuarter)});
    }
    TrackWriter& meta(std::uint32_t delta, std::uint8_t type, const Bytes& data) {
        appendVariableLength(bytes_, delta);
        bytes_.insert(bytes_.end(), {0xFF, type});
        appendVariableLength(bytes_, static_cast<std::uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    TrackWriter& sysex(std::uint32_t delta, std::uint8_t status, const Bytes& data) {
        appendVariableLength(bytes_, delta);
        bytes_.push_back(status);
        appendVariableLength(bytes_, static_cast<std::uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    TrackWriter& endOfTrack(std::uint32_t delta = 0) { return message(delta, {0xFF, 0x2F, 0x00}); }
    // Bytes written as they are, with no delta time in front.
    TrackWriter& raw(std::initializer_list<std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes);
        return *this;
    }

    const Bytes& bytes() const { return bytes_; }

private:
    static std::uint8_t status(int kind, int channel) { return static_cast<std::uint8_t>(kind | (channel & 0x0F)); }
    static std::uint8_t byte(std::uint32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

    Bytes bytes_;
};

class MidiWriter {
public:
    explicit MidiWriter(int format = 1, std::uint16_t division = 480) : format_(format), division_(division) {}

    TrackWriter& addTrack() { return tracks_.emplace_back(); }

    // Writes this count into the header instead of the number of tracks added.
    MidiWriter& declareTrackCount(int count) {
        declaredCount_ = count;
        return *this;
    }

    Bytes bytes() const {
        Bytes out = {'M', 'T', 'h', 'd'};
        appendBigEndian(out, 6, 4);
        appendBigEndian(out, static_cast<std::uint32_t>(format_), 2);
        appendBigEndian(out, static_cast<std::uint32_t>(declaredCount_ >= 0 ? declaredCount_ : tracks_.size()), 2);
        appendBigEndian(out, division_, 2);
        for (const TrackWriter& track : tracks_) {
            out.insert(out.end(), {'M', 'T', 'r', 'k'});
            appendBigEndian(out, static_cast<std::uint32_t>(track.bytes().size()), 4);
            out.insert(out.end(), track.bytes().begin(), track.bytes().end());
        }
        return out;
    }

private:
    int                     format_;
    std::uint16_t           division_;
    int                     declaredCount_ = -1;
    std::deque<TrackWriter> tracks_;  // keeps handed-out references valid
};

// SMPTE time division: frames per second and ticks per frame.
inline std::uint16_t smpteDivision(int framesPerSecond, int ticksPerFrame) {
    return static_cast<std::uint16_t>(((256 - framesPerSecond) << 8) | ticksPerFrame);
}

inline bool writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace miditest
