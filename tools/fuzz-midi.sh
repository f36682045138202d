#!/usr/bin/env bash
# Fuzzes the MIDI reader for the given seconds (default 60); see tools/fuzz.sh.
# Usage: bash tools/fuzz-midi.sh [seconds]
exec bash "$(dirname "${BASH_SOURCE[0]}")/fuzz.sh" "${1:-60}" midi_parse_fuzzer
