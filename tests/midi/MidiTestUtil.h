// Parsing helpers for the MIDI reader's tests: parse bytes and keep what the
// reader wrote to standard error.
#pragma once

#include "MidiWriter.h"
#include "midi/MidiFile.h"

#include <iostream>
#include <sstream>
#include <string>

namespace miditest {

struct ParseOutcome {
    bool        ok;
    std::string errors;  // everything written to standard error, lines ending in "\n"
};

inline ParseOutcome parseBytes(MidiFile& file, const Bytes& bytes) {
    std::istringstream input(std::string(bytes.begin(), bytes.end()));
    std::ostringstream errors;
    std::streambuf*    saved = std::cerr.rdbuf(errors.rdbuf());
    bool               ok    = file.parse(input);
    std::cerr.rdbuf(saved);
    return {ok, errors.str()};
}

}  // namespace miditest
