// Tiny level content written by the tests themselves: a mono 16-bit WAV of a
// quiet tone, and a format-0 Standard MIDI File with a tempo and the given notes.
#pragma once

#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace levelfiles {

struct Note {
    double start    = 0.0;  // seconds
    double length   = 0.1;  // seconds
    int    key      = 60;
    int    velocity = 100;
    int    channel  = 0;
};

inline void putLittle(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void putBig(std::string& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void putVariableLength(std::string& out, uint32_t value) {
    uint8_t groups[5];
    int     count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value > 0);
    while (count > 1) out.push_back(static_cast<char>(groups[--count] | 0x80));
    out.push_back(static_cast<char>(groups[0]));
}

inline std::string wavBytes(double seconds, int sampleRate = 44100) {
    const auto  frames = static_cast<uint32_t>(seconds * sampleRate);
    std::string samples;
    for (uint32_t i = 0; i < frames; ++i) {
        const double value = 0.1 * std::sin(2.0 * M_PI * 440.0 * i / sampleRate);
        putLittle(samples, static_cast<uint16_t>(static_cast<int16_t>(value * 32767.0)), 2);
    }
    std::string out = "RIFF";
    putLittle(out, 36 + static_cast<uint32_t>(samples.size()), 4);
    out += "WAVEfmt ";
    putLittle(out, 16, 4);
    putLittle(out, 1, 2);  // PCM
    putLittle(out, 1, 2);  // mono
    putLittle(out, static_cast<uint32_t>(sampleRate), 4);
    putLittle(out, static_cast<uint32_t>(sampleRate) * 2, 4);
    putLittle(out, 2, 2);
    putLittle(out, 16, 2);
    out += "data";
    putLittle(out, static_cast<uint32_t>(samples.size()), 4);
    return out + samples;
}

inline std::string smfBytes(const std::vector<Note>& notes, double bpm = 120.0) {
    constexpr int kDivision      = 480;
    const double  ticksPerSecond = kDivision * bpm / 60.0;
    struct Message {
        uint32_t tick;
        int      order;
        uint8_t  status, key, velocity;
    };
    std::vector<Message> messages;
    for (const Note& note : notes) {
        const auto on  = static_cast<uint32_t>(std::lround(note.start * ticksPerSecond));
        const auto off = static_cast<uint32_t>(std::lround((note.start + note.length) * ticksPerSecond));
        messages.push_back({on, 1, static_cast<uint8_t>(0x90 | note.channel), static_cast<uint8_t>(note.key),
                            static_cast<uint8_t>(note.velocity)});
        messages.push_back({off, 0, static_cast<uint8_t>(0x80 | note.channel), static_cast<uint8_t>(note.key), 64});
    }
    std::stable_sort(messages.begin(), messages.end(), [](const Message& a, const Message& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });

    std::string track;
    putVariableLength(track, 0);
    track += "\xFF\x51\x03";
    putBig(track, static_cast<uint32_t>(std::lround(60'000'000.0 / bpm)), 3);
    uint32_t now = 0;
    for (const Message& message : messages) {
        putVariableLength(track, message.tick - now);
        now = message.tick;
        track.push_back(static_cast<char>(message.status));
        track.push_back(static_cast<char>(message.key));
        track.push_back(static_cast<char>(message.velocity));
    }
    putVariableLength(track, 0);
    track += std::string("\xFF\x2F\x00", 3);

    std::string out = "MThd";
    putBig(out, 6, 4);
    putBig(out, 0, 2);  // format 0
    putBig(out, 1, 2);
    putBig(out, kDivision, 2);
    out += "MTrk";
    putBig(out, static_cast<uint32_t>(track.size()), 4);
    return out + track;
}

inline void writeWav(const std::filesystem::path& path, double seconds) {
    testsupport::writeFile(path, wavBytes(seconds));
}

inline void writeMidi(const std::filesystem::path& path, const std::vector<Note>& notes, double bpm = 120.0) {
    testsupport::writeFile(path, smfBytes(notes, bpm));
}

}  // namespace levelfiles
