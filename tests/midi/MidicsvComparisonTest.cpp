// Reads every sample file with our reader and with Debian's midicsv, an
// independent implementation, and compares the note, controller and tempo
// events one for one, then the seconds of every note under midicsv's tempo map.
#include "MidiSamples.h"
#include "MidiTestUtil.h"
#include "support/TestSupport.h"
#include "midi/MidiFile.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace miditest;

namespace {

struct CsvRow {
    int                      track;  // from 0, like ours (midicsv counts from 1)
    int                      tick;
    std::string              type;
    std::vector<std::string> values;
};

bool runMidicsv(const std::filesystem::path& midi, std::string& csv) {
    std::string  path    = midi.string();
    const char*  args[]  = {"midicsv", path.c_str(), nullptr};
    SDL_Process* process = SDL_CreateProcess(args, true);
    if (!process) return false;
    std::size_t size     = 0;
    int         exitCode = -1;
    char*       output   = static_cast<char*>(SDL_ReadProcess(process, &size, &exitCode));
    SDL_DestroyProcess(process);
    if (!output) return false;
    csv.assign(output, size);
    SDL_free(output);
    return exitCode == 0;
}

std::vector<CsvRow> parseCsv(const std::string& csv) {
    std::vector<CsvRow> rows;
    std::istringstream  lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream       cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) {
            std::size_t start = cell.find_first_not_of(' ');
            fields.push_back(start == std::string::npos ? "" : cell.substr(start));
        }
        if (fields.size() < 3) continue;
        rows.push_back({std::stoi(fields[0]) - 1, std::stoi(fields[1]), fields[2],
                        std::vector<std::string>(fields.begin() + 3, fields.end())});
    }
    return rows;
}

std::string describe(int track, int tick, const std::string& type, const std::vector<int>& values) {
    std::string text = std::to_string(track) + " " + std::to_string(tick) + " " + type;
    for (int value : values) text += " " + std::to_string(value);
    return text;
}

// Notes as midicsv names them: a note-on with velocity 0 stays a Note_on_c.
std::vector<std::string> csvEvents(const std::vector<CsvRow>& rows) {
    std::vector<std::string> out;
    for (const CsvRow& row : rows) {
        if (row.type != "Note_on_c" && row.type != "Note_off_c" && row.type != "Control_c" && row.type != "Tempo")
            continue;
        std::vector<int> values;
        for (const std::string& v : row.values) values.push_back(std::stoi(v));
        out.push_back(describe(row.track, row.tick, row.type, values));
    }
    return out;
}

std::vector<std::string> ourEvents(MidiFile& file) {
    std::vector<std::string> out;
    for (int t = 0; t < file.trackCount(); ++t) {
        for (int i = 0; i < file.eventCount(t); ++i) {
            const MidiTrackEvent& e = file.event(t, i);
            if (e.isNoteOn() || e.isNoteOff()) {
                const char* type = (e.bytes[0] & 0xF0) == 0x90 ? "Note_on_c" : "Note_off_c";
                out.push_back(describe(t, e.tick, type, {e.channel(), e.keyNumber(), e.velocity()}));
            } else if (e.isController()) {
                out.push_back(
                    describe(t, e.tick, "Control_c", {e.channel(), e.controllerNumber(), e.controllerValue()}));
            } else if (e.isTempo()) {
                int microseconds = static_cast<int>(60000000.0 / e.tempoBpm() + 0.5);
                out.push_back(describe(t, e.tick, "Tempo", {microseconds}));
            }
        }
    }
    return out;
}

// Seconds at a tick under the tempo rows, integrated segment by segment.
double csvSeconds(const std::vector<CsvRow>& rows, int division, int tick) {
    std::vector<std::pair<int, double>> tempos;  // (tick, microseconds per beat)
    for (const CsvRow& row : rows) {
        if (row.type == "Tempo") tempos.emplace_back(row.tick, std::stod(row.values[0]));
    }
    std::stable_sort(tempos.begin(), tempos.end(), [](auto& a, auto& b) { return a.first < b.first; });
    double seconds = 0.0, microseconds = 500000.0;
    int    at = 0;
    for (const auto& [tempoTick, value] : tempos) {
        if (tempoTick >= tick) break;
        seconds += (tempoTick - at) * microseconds / 1e6 / division;
        at           = tempoTick;
        microseconds = value;
    }
    return seconds + (tick - at) * microseconds / 1e6 / division;
}

TEST(MidicsvComparison, SameEventsAndTimesAsAnIndependentReader) {
    testsupport::TempDir dir;
    for (const MidiSample& sample : midiSamples()) {
        SCOPED_TRACE(sample.name);
        std::filesystem::path path = dir.path() / (sample.name + ".mid");
        ASSERT_TRUE(writeBytes(path, sample.bytes));
        std::string csv;
        ASSERT_TRUE(runMidicsv(path, csv)) << "midicsv failed (installed by tools/setup.sh): " << SDL_GetError();
        std::vector<CsvRow> rows = parseCsv(csv);

        MidiFile file;
        ASSERT_TRUE(parseBytes(file, sample.bytes).ok);
        std::vector<std::string> theirs = csvEvents(rows);
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(ourEvents(file), theirs);

        ASSERT_FALSE(rows.empty());
        ASSERT_EQ(rows[0].type, "Header");
        EXPECT_EQ(std::stoi(rows[0].values[1]), file.trackCount());

        file.computeEventTimes();
        for (int t = 0; t < file.trackCount(); ++t) {
            for (int i = 0; i < file.eventCount(t); ++i) {
                const MidiTrackEvent& e = file.event(t, i);
                if (!e.isNoteOn() && !e.isNoteOff()) continue;
                double expected = csvSeconds(rows, file.ticksPerQuarterNote, e.tick);
                EXPECT_NEAR(e.seconds, expected, 1e-9 * (1.0 + expected)) << "track " << t << " tick " << e.tick;
            }
        }
    }
}

}  // namespace
