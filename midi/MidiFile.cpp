#include "midi/MidiFile.h"

#include <SDL3/SDL.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <istream>
#include <streambuf>

namespace {

constexpr int kEndOfData = std::char_traits<char>::eof();

void errorLine(const std::string& line) { std::cerr << line << '\n'; }

std::string hexByte(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

int statusKind(const std::vector<std::uint8_t>& bytes) { return bytes.empty() ? -1 : bytes[0] & 0xF0; }

// Only called on a six-byte tempo message.
std::uint32_t tempoMicroseconds(const std::vector<std::uint8_t>& bytes) {
    return (std::uint32_t{bytes[3]} << 16) | (std::uint32_t{bytes[4]} << 8) | bytes[5];
}

bool isEndOfTrack(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0x2F;
}

bool byTickThenSequence(const MidiTrackEvent* a, const MidiTrackEvent* b) {
    return a->tick != b->tick ? a->tick < b->tick : a->sequence < b->sequence;
}

// Byte access that never goes past the end of the stream; a missing byte is
// reported once and ends the read. A stream without a buffer peeks as empty,
// and nothing reads on after a failed peek.
class ByteReader {
public:
    explicit ByteReader(std::streambuf* buffer) : buffer_(buffer) {}

    int peek() { return buffer_ ? buffer_->sgetc() : kEndOfData; }
    int next() { return buffer_->sbumpc(); }

    bool byte(std::uint8_t& out) {
        int value = next();
        if (value == kEndOfData) return endOfData();
        out = static_cast<std::uint8_t>(value);
        return true;
    }

    bool bigEndian(int count, std::uint32_t& out) {
        out = 0;
        for (int i = 0; i < count; ++i) {
            std::uint8_t value;
            if (!byte(value)) return false;
            out = (out << 8) | value;
        }
        return true;
    }

    bool variableLength(std::uint64_t& out) {
        out = 0;
        for (int i = 0; i < 5; ++i) {
            std::uint8_t value;
            if (!byte(value)) return false;
            out = (out << 7) | (value & 0x7F);
            if (value < 0x80) return true;
        }
        errorLine("VLV number is too large");
        out = 0;
        return false;
    }

    // Appends count bytes, growing the buffer only as data actually arrives so
    // a hostile length cannot make us allocate more than the stream holds.
    bool append(std::uint64_t count, std::vector<std::uint8_t>& out) {
        constexpr std::uint64_t kChunk = 1 << 16;
        while (count > 0) {
            std::size_t chunk = static_cast<std::size_t>(std::min(count, kChunk));
            std::size_t start = out.size();
            out.resize(start + chunk);
            std::streamsize got =
                buffer_->sgetn(reinterpret_cast<char*>(out.data() + start), static_cast<std::streamsize>(chunk));
            if (got != static_cast<std::streamsize>(chunk)) {
                out.resize(start + static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
                return endOfData();
            }
            count -= chunk;
        }
        return true;
    }

private:
    static bool endOfData() {
        errorLine("Error: unexpected end of file.");
        return false;
    }

    std::streambuf* buffer_;
};

// One pass over a Standard MIDI File, filling the given reader's tracks.
class SmfReader {
public:
    SmfReader(std::streambuf* buffer, MidiFile& file) : in_(buffer), file_(file) {}

    bool read() {
        if (in_.peek() != 'M') {
            errorLine("Bad MIDI data input");
            return false;
        }
        std::uint32_t headerLength, format, count, division;
        if (!expectTag("MThd", "")) return false;
        if (!in_.bigEndian(4, headerLength)) return false;
        if (headerLength != 6) {
            errorLine("File " + file_.fileName + " is not a MIDI 1.0 Standard MIDI file.");
            errorLine("The header size is " + std::to_string(headerLength) + " bytes.");
            return false;
        }
        if (!in_.bigEndian(2, format)) return false;
        if (format > 1) {
            errorLine("Error: cannot handle a type-" + std::to_string(format) + " MIDI file");
            return false;
        }
        if (!in_.bigEndian(2, count)) return false;
        if (format == 0 && count != 1) {
            errorLine("Error: Type 0 MIDI file can only contain one track");
            errorLine("Instead track count is: " + std::to_string(count));
            return false;
        }
        file_.tracks.clear();
        for (std::uint32_t t = 0; t < count; ++t) file_.tracks.push_back(std::make_unique<MidiTrack>());
        if (!in_.bigEndian(2, division) || !applyDivision(division)) return false;
        for (std::uint32_t t = 0; t < count; ++t) {
            if (!readTrack(static_cast<int>(t))) return false;
        }
        return true;
    }

private:
    bool expectTag(const char* tag, const std::string& where) {
        static const char* const kOrdinals[] = {"first", "second", "third", "fourth"};
        for (int i = 0; i < 4; ++i) {
            std::string expecting = std::string("Expecting '") + tag[i] + "' at " + kOrdinals[i] + " byte" + where;
            int         value     = in_.next();
            if (value == kEndOfData) {
                errorLine("In file " + file_.fileName + ": unexpected end of file.");
                errorLine(expecting + ", but found nothing.");
                return false;
            }
            if (value != tag[i]) {
                errorLine("File " + file_.fileName + " is not a MIDI file");
                errorLine(expecting + " but got '" + static_cast<char>(value) + "'");
                return false;
            }
        }
        return true;
    }

    bool applyDivision(std::uint32_t division) {
        if (division & 0x8000) {
            int frames    = 256 - static_cast<int>(division >> 8);
            int subframes = static_cast<int>(division & 0xFF);
            if (frames != 24 && frames != 25 && frames != 29 && frames != 30) {
                errorLine("Warning: unknown FPS: " + std::to_string(frames));
                errorLine("Using non-standard FPS: " + std::to_string(frames));
            }
            file_.ticksPerQuarterNote = frames * subframes;
        } else {
            file_.ticksPerQuarterNote = static_cast<int>(division);
        }
        // Zero ticks per beat would turn every time into infinity or NaN.
        if (file_.ticksPerQuarterNote == 0) {
            errorLine("Error: the time division of the MIDI file is zero");
            return false;
        }
        return true;
    }

    bool readTrack(int index) {
        std::uint32_t chunkLength;  // the end-of-track event ends a track, not its length
        if (!expectTag("MTrk", " in track") || !in_.bigEndian(4, chunkLength)) return false;
        MidiTrack&   track         = *file_.tracks[static_cast<std::size_t>(index)];
        std::uint8_t runningStatus = 0;
        std::int64_t tick          = 0;
        for (;;) {
            std::uint64_t delta;
            if (!in_.variableLength(delta)) return false;
            tick += static_cast<std::int64_t>(delta);
            if (tick > INT_MAX) {
                errorLine("Error: MIDI track time exceeds the largest tick value");
                return false;
            }
            auto event = std::make_unique<MidiTrackEvent>();
            if (!readMessage(runningStatus, event->bytes)) return false;
            event->tick     = static_cast<int>(tick);
            event->track    = index;
            event->sequence = ++sequence_;
            bool last       = isEndOfTrack(event->bytes);
            track.push_back(std::move(event));
            if (last) return true;
        }
    }

    bool readMessage(std::uint8_t& runningStatus, std::vector<std::uint8_t>& out) {
        std::uint8_t first;
        if (!in_.byte(first)) return false;
        if (first >= 0x80) {
            runningStatus = first;
            out.push_back(first);
        } else if (runningStatus == 0) {
            errorLine("Error: running command with no previous command");
            return false;
        } else if (runningStatus >= 0xF0) {
            errorLine("Error: running status not permitted with meta and sysex event.");
            errorLine("Byte is 0x" + hexByte(first));
            return false;
        } else {
            out = {runningStatus, first};
        }
        switch (runningStatus >> 4) {
        case 0x8:
        case 0x9:
        case 0xA:
        case 0xB:
        case 0xE: return readChannelData(3, out);
        case 0xC:
        case 0xD: return readChannelData(2, out);
        default: break;
        }
        if (runningStatus == 0xFF) return readMeta(out);
        if (runningStatus == 0xF0 || runningStatus == 0xF7) return readSysex(out);
        return true;
    }

    bool readChannelData(std::size_t messageSize, std::vector<std::uint8_t>& out) {
        while (out.size() < messageSize) {
            std::uint8_t value;
            if (!in_.byte(value)) return false;
            if (value >= 0x80) {
                errorLine("MIDI data byte too large: " + std::to_string(value));
                return false;
            }
            out.push_back(value);
        }
        return true;
    }

    // The length bytes stay in the message as stored.
    bool readMeta(std::vector<std::uint8_t>& out) {
        std::uint8_t type;
        if (!in_.byte(type)) return false;
        out.push_back(type);
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t value;
            if (!in_.byte(value)) return false;
            out.push_back(value);
            length = (length << 7) | (value & 0x7F);
            if (value < 0x80) return in_.append(length, out);
        }
        errorLine("Error: cannot handle large VLVs");
        return false;
    }

    bool readSysex(std::vector<std::uint8_t>& out) {
        std::uint64_t length;
        return in_.variableLength(length) && in_.append(length, out);
    }

    ByteReader in_;
    MidiFile&  file_;
    int        sequence_ = 0;
};

// Unpaired note-ons of one track, oldest first, per channel and key. Emptied
// between tracks by resetting only the queues that were used.
class NoteQueues {
public:
    NoteQueues() : queues_(16 * 128) {}

    void push(MidiTrackEvent* noteOn) {
        Queue& queue = queueOf(*noteOn);
        if (queue.entries.empty()) used_.push_back(&queue);
        queue.entries.push_back(noteOn);
    }

    MidiTrackEvent* popOldest(const MidiTrackEvent& noteOff) {
        Queue& queue = queueOf(noteOff);
        return queue.head < queue.entries.size() ? queue.entries[queue.head++] : nullptr;
    }

    void clear() {
        for (Queue* queue : used_) *queue = Queue{};
        used_.clear();
    }

private:
    struct Queue {
        std::vector<MidiTrackEvent*> entries;
        std::size_t                  head = 0;
    };

    Queue& queueOf(const MidiTrackEvent& note) {
        return queues_[static_cast<std::size_t>((note.channel() << 7) | (note.keyNumber() & 0x7F))];
    }

    std::vector<Queue>  queues_;
    std::vector<Queue*> used_;
};

// Exposes a block of memory as a stream without copying it.
class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(char* data, std::size_t size) { setg(data, data, data + size); }
};

}  // namespace

// --- MidiTrackEvent --------------------------------------------------------

bool MidiTrackEvent::isNoteOn() const { return bytes.size() == 3 && statusKind(bytes) == 0x90 && bytes[2] != 0; }

bool MidiTrackEvent::isNoteOff() const {
    return bytes.size() == 3 && (statusKind(bytes) == 0x80 || (statusKind(bytes) == 0x90 && bytes[2] == 0));
}

bool MidiTrackEvent::isController() const { return bytes.size() == 3 && statusKind(bytes) == 0xB0; }

// A tempo of zero microseconds per beat would make every later time collapse and
// the tempo itself infinite, so such an event is not treated as a tempo.
bool MidiTrackEvent::isTempo() const {
    return bytes.size() == 6 && bytes[0] == 0xFF && bytes[1] == 0x51 && bytes[2] == 0x03 &&
           tempoMicroseconds(bytes) != 0;
}

int MidiTrackEvent::channel() const { return bytes.empty() ? -1 : bytes[0] & 0x0F; }

int MidiTrackEvent::keyNumber() const {
    bool keyed = isNoteOn() || isNoteOff() || (bytes.size() == 3 && statusKind(bytes) == 0xA0);
    return keyed ? bytes[1] : -1;
}

int MidiTrackEvent::velocity() const { return isNoteOn() || isNoteOff() ? bytes[2] : -1; }

int MidiTrackEvent::controllerNumber() const { return isController() ? bytes[1] & 0x7F : -1; }

int MidiTrackEvent::controllerValue() const { return isController() ? bytes[2] & 0x7F : -1; }

double MidiTrackEvent::tempoBpm() const { return isTempo() ? 60000000.0 / tempoMicroseconds(bytes) : -1.0; }

double MidiTrackEvent::tempoSecondsPerTick(int ticksPerQuarterNote) const {
    return isTempo() ? (tempoMicroseconds(bytes) / 1000000.0) / ticksPerQuarterNote : -1.0;
}

double MidiTrackEvent::durationSeconds() const { return link ? std::fabs(link->seconds - seconds) : 0.0; }

// --- MidiFile --------------------------------------------------------------

MidiFile::MidiFile() { reset(); }

void MidiFile::reset() {
    tracks.clear();
    tracks.push_back(std::make_unique<MidiTrack>());
    ticksPerQuarterNote = 120;
    trackState          = TrackState::Split;
    timeState           = TimeState::Absolute;
    timeMapValid        = false;
    timeMap.clear();
    status      = true;
    notesPaired = false;
}

bool MidiFile::parse(std::istream& input) {
    reset();
    SmfReader reader(input.rdbuf(), *this);
    status = reader.read();
    return status;
}

void MidiFile::computeEventTimes() {
    std::vector<MidiTrackEvent*> ordered;
    for (auto& track : tracks) {
        for (auto& event : *track) ordered.push_back(event.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(), byTickThenSequence);

    double secondsPerTick = 60.0 / (120.0 * ticksPerQuarterNote);
    double seconds        = 0.0;
    int    lastTick       = 0;
    timeMap.clear();
    for (MidiTrackEvent* event : ordered) {
        if (timeMap.empty() || event->tick > lastTick) {
            seconds += (event->tick - lastTick) * secondsPerTick;
            timeMap.emplace_back(event->tick, seconds);
            lastTick = event->tick;
        }
        event->seconds = seconds;
        if (event->isTempo()) secondsPerTick = event->tempoSecondsPerTick(ticksPerQuarterNote);
    }
    timeMapValid = true;
}

void MidiFile::pairNotes() {
    NoteQueues pending;
    for (auto& track : tracks) {
        pending.clear();
        for (auto& event : *track) {
            event->link = nullptr;
            if (event->isNoteOn()) {
                pending.push(event.get());
            } else if (event->isNoteOff()) {
                if (MidiTrackEvent* noteOn = pending.popOldest(*event)) {
                    noteOn->link = event.get();
                    event->link  = noteOn;
                }
            }
        }
    }
    notesPaired = true;
}

void MidiFile::mergeTracks() {
    if (trackState == TrackState::Merged) return;
    auto merged = std::make_unique<MidiTrack>();
    for (auto& track : tracks) {
        for (auto& event : *track) merged->push_back(std::move(event));
    }
    tracks.clear();
    tracks.push_back(std::move(merged));
    sortTracks();
    trackState = TrackState::Merged;
}

void MidiFile::sortTracks() {
    for (auto& track : tracks) {
        std::stable_sort(track->begin(), track->end(),
                         [](const auto& a, const auto& b) { return byTickThenSequence(a.get(), b.get()); });
    }
}

int MidiFile::trackCount() const { return static_cast<int>(tracks.size()); }

int MidiFile::eventCount(int track) const {
    if (track < 0 || track >= trackCount()) return 0;
    return static_cast<int>(tracks[static_cast<std::size_t>(track)]->size());
}

MidiTrackEvent& MidiFile::event(int track, int index) {
    return *(*tracks[static_cast<std::size_t>(track)])[static_cast<std::size_t>(index)];
}

// --- Loading from disk -----------------------------------------------------

bool loadMidiAsset(const std::string& path, MidiFile& file) {
    SDL_IOStream* io = SDL_IOFromFile(path.c_str(), "rb");
    if (!io) {
        SDL_Log("ERROR: Could not open MIDI file %s: %s", path.c_str(), SDL_GetError());
        return false;
    }
    Sint64 size = SDL_GetIOSize(io);
    if (size < 0) {
        SDL_Log("ERROR: Could not get size of MIDI file %s: %s", path.c_str(), SDL_GetError());
        SDL_CloseIO(io);
        return false;
    }
    std::unique_ptr<char, decltype(&SDL_free)> data(static_cast<char*>(SDL_calloc(static_cast<std::size_t>(size), 1)),
                                                    SDL_free);
    if (!data) {
        SDL_Log("ERROR: Could not allocate %lld bytes for MIDI file %s", static_cast<long long>(size), path.c_str());
        SDL_CloseIO(io);
        return false;
    }
    std::size_t read = SDL_ReadIO(io, data.get(), static_cast<std::size_t>(size));
    SDL_CloseIO(io);
    if (read < static_cast<std::size_t>(size)) {
        SDL_Log("ERROR: Failed to read the entire MIDI file %s. Read %zu of %lld bytes.", path.c_str(), read,
                static_cast<long long>(size));
        return false;
    }
    MemoryBuffer buffer(data.get(), read);
    std::istream stream(&buffer);
    if (!file.parse(stream)) {
        SDL_Log("ERROR: MidiFile failed to parse data from %s", path.c_str());
        return false;
    }
    return true;
}
