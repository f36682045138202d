// libFuzzer entry for the replay reader: arbitrary bytes are read as a replay;
// one that is accepted must encode back to a file that reads the same, and its
// inputs must judge without harm. Refusals must say why in one line.
// `replay_fuzzer --write-seeds DIR` writes a corpus.
#include "judge/Replay.h"

#include "tests/support/FuzzSupport.h"

#include <string>

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Replay", what); }

fuzzsupport::Seeds seeds() {
    Replay replay;
    replay.levelName = "Sample Level A";
    replay.player    = "Ada";
    replay.endUs     = 3'000'000;
    replay.inputs    = {{1'000'000, InputKind::Touch, true, 2, 500.0f, 400.0f},
                        {1'200'000, InputKind::Touch, false, 2, 500.0f, 400.0f},
                        {1'500'000, InputKind::Key, true, 'e', 0.0f, 0.0f},
                        {2'000'000, InputKind::Mouse, true, kMouseId, 900.0f, 100.0f}};
    return {{"run.lrp", encodeReplay(replay)}, {"empty.lrp", encodeReplay(Replay{})}, {"short.lrp", "LRP1"}};
}

MidiNoteEvent tap(double time) {
    MidiNoteEvent event;
    event.time     = time;
    event.note     = 31;
    event.velocity = 80;
    event.isNoteOn = true;
    return event;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "replay", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Replay                 replay;
    std::string            error;
    if (!decodeReplay(bytes, replay, error)) {
        check(!error.empty() && error.find('\n') == std::string::npos, "a refusal without its one line");
        return 0;
    }
    Replay again;
    check(decodeReplay(encodeReplay(replay), again, error), "an accepted replay that does not read back");
    check(again.inputs.size() == replay.inputs.size() && again.endUs == replay.endUs, "a replay that reads back changed");
    if (replay.endUs - (replay.inputs.empty() ? 0 : replay.inputs.front().us) > 600'000'000) return 0;  // keep runs short
    JudgeStem stem;
    stem.charted     = true;
    stem.loopSeconds = 2.0;
    stem.events      = {tap(0.5), tap(1.0), tap(1.5)};
    rejudge(replay, {stem});
    return 0;
}
