#include "MidiSamples.h"
#include "MidiTestUtil.h"
#include "midi/MidiFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace miditest;

namespace {

Bytes withTrack(const TrackWriter& track, int format = 1, std::uint16_t division = 480) {
    MidiWriter writer(format, division);
    writer.addTrack() = track;
    return writer.bytes();
}

Bytes header(int format, int trackCount, std::uint16_t division) {
    return MidiWriter(format, division).declareTrackCount(trackCount).bytes();
}

std::vector<MidiTrackEvent*> eventsOf(MidiFile& file, int track) {
    std::vector<MidiTrackEvent*> events;
    for (int i = 0; i < file.eventCount(track); ++i) events.push_back(&file.event(track, i));
    return events;
}

// --- Header and chunk errors ------------------------------------------------

struct ErrorCase {
    const char* name;
    Bytes       bytes;
    std::string errors;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class MidiParseErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(MidiParseErrors, FailWithTheExactMessage) {
    MidiFile     file;
    ParseOutcome outcome = parseBytes(file, GetParam().bytes);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(file.status);
    EXPECT_EQ(outcome.errors, GetParam().errors);
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes headerSize(std::uint32_t size) {
    Bytes out = text("MThd");
    appendBigEndian(out, size, 4);
    appendBigEndian(out, 1, 2);
    appendBigEndian(out, 1, 2);
    appendBigEndian(out, 480, 2);
    return out;
}

std::vector<ErrorCase> headerErrors() {
    return {
        {"Empty", {}, "Bad MIDI data input\n"},
        {"NotStartingWithM", text("RIFF"), "Bad MIDI data input\n"},
        {"HeaderSecondByteMissing", text("M"),
         "In file : unexpected end of file.\nExpecting 'T' at second byte, but found nothing.\n"},
        {"HeaderFourthByteMissing", text("MTh"),
         "In file : unexpected end of file.\nExpecting 'd' at fourth byte, but found nothing.\n"},
        {"HeaderSecondByteWrong", text("MXhd"), "File  is not a MIDI file\nExpecting 'T' at second byte but got 'X'\n"},
        {"HeaderFourthByteWrong", text("MThx"), "File  is not a MIDI file\nExpecting 'd' at fourth byte but got 'x'\n"},
        {"HeaderSizeNotSix", headerSize(7),
         "File  is not a MIDI 1.0 Standard MIDI file.\nThe header size is 7 bytes.\n"},
        {"Format2", header(2, 1, 480), "Error: cannot handle a type-2 MIDI file\n"},
        {"Format0WithTwoTracks", header(0, 2, 480),
         "Error: Type 0 MIDI file can only contain one track\nInstead track count is: 2\n"},
        {"Format0WithNoTrack", header(0, 0, 480),
         "Error: Type 0 MIDI file can only contain one track\nInstead track count is: 0\n"},
        {"TrackChunkMissing", header(1, 1, 480),
         "In file : unexpected end of file.\nExpecting 'M' at first byte in track, but found nothing.\n"},
        {"TrackThirdByteMissing", concat(header(1, 1, 480), text("MT")),
         "In file : unexpected end of file.\nExpecting 'r' at third byte in track, but found nothing.\n"},
        {"TrackFirstByteWrong", concat(header(1, 1, 480), text("XTrk")),
         "File  is not a MIDI file\nExpecting 'M' at first byte in track but got 'X'\n"},
        {"TrackFourthByteWrong", concat(header(1, 1, 480), text("MTrx")),
         "File  is not a MIDI file\nExpecting 'k' at fourth byte in track but got 'x'\n"},
        {"HeaderLengthTruncated", Bytes{'M', 'T', 'h', 'd', 0, 0}, "Error: unexpected end of file.\n"},
        {"ZeroDivision", header(1, 0, 0), "Error: the time division of the MIDI file is zero\n"},
        {"ZeroSmpteSubframes", header(1, 0, smpteDivision(25, 0)),
         "Error: the time division of the MIDI file is zero\n"},
    };
}

std::vector<ErrorCase> trackErrors() {
    TrackWriter runningFirst, afterMeta, afterSysex, dataTooLarge, largeMetaLength, deltaTooLarge, sysexLengthTooLarge,
        noEnd, tickOverflow;
    runningFirst.raw({0x00, 0x40, 0x40});
    afterMeta.meta(0, 0x01, {'a'}).raw({0x00, 0x40});
    afterSysex.sysex(0, 0xF0, {0xF7}).raw({0x00, 0x7F});
    dataTooLarge.raw({0x00, 0x90, 0x3C, 0x90});
    largeMetaLength.raw({0x00, 0xFF, 0x01, 0x81, 0x81, 0x81, 0x81});
    deltaTooLarge.raw({0x81, 0x81, 0x81, 0x81, 0x81, 0x00});
    sysexLengthTooLarge.raw({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    noEnd.noteOn(0, 0, 60, 100).noteOff(10, 0, 60);
    for (int i = 0; i < 9; ++i) tickOverflow.noteOn(0x0FFFFFFF, 0, 60, 100);
    tickOverflow.endOfTrack();
    return {
        {"RunningStatusWithoutCommand", withTrack(runningFirst), "Error: running command with no previous command\n"},
        {"RunningStatusAfterMeta", withTrack(afterMeta),
         "Error: running status not permitted with meta and sysex event.\nByte is 0x40\n"},
        {"RunningStatusAfterSysex", withTrack(afterSysex),
         "Error: running status not permitted with meta and sysex event.\nByte is 0x7f\n"},
        {"DataByteTooLarge", withTrack(dataTooLarge), "MIDI data byte too large: 144\n"},
        {"MetaLengthTooLong", withTrack(largeMetaLength), "Error: cannot handle large VLVs\n"},
        {"DeltaTooLong", withTrack(deltaTooLarge), "VLV number is too large\n"},
        {"SysexLengthTooLong", withTrack(sysexLengthTooLarge), "VLV number is too large\n"},
        {"NoEndOfTrack", withTrack(noEnd), "Error: unexpected end of file.\n"},
        {"TickBeyondIntRange", withTrack(tickOverflow), "Error: MIDI track time exceeds the largest tick value\n"},
    };
}

std::string caseName(const testing::TestParamInfo<ErrorCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Header, MidiParseErrors, testing::ValuesIn(headerErrors()), caseName);
INSTANTIATE_TEST_SUITE_P(Track, MidiParseErrors, testing::ValuesIn(trackErrors()), caseName);

TEST(MidiParse, MessagesNameTheFileWhenItHasOne) {
    MidiFile file;
    file.fileName      = "song.mid";
    ParseOutcome wrong = parseBytes(file, text("MThx"));
    EXPECT_EQ(wrong.errors, "File song.mid is not a MIDI file\nExpecting 'd' at fourth byte but got 'x'\n");
    ParseOutcome shortHeader = parseBytes(file, text("MT"));
    EXPECT_EQ(shortHeader.errors,
              "In file song.mid: unexpected end of file.\nExpecting 'h' at third byte, but found nothing.\n");
}

TEST(MidiParse, StreamWithoutBufferReadsAsEmpty) {
    std::istream       input(nullptr);
    std::ostringstream errors;
    std::streambuf*    saved = std::cerr.rdbuf(errors.rdbuf());
    MidiFile           file;
    bool               ok = file.parse(input);
    std::cerr.rdbuf(saved);
    EXPECT_FALSE(ok);
    EXPECT_EQ(errors.str(), "Bad MIDI data input\n");
}

// Every cut of a valid file fails cleanly (under the sanitizers this also shows
// that no read passes the end); the whole file, and any tail after it, parses.
TEST(MidiParse, EveryTruncationFailsAndTrailingBytesAreIgnored) {
    for (const MidiSample& sample : midiSamples()) {
        SCOPED_TRACE(sample.name);
        for (std::size_t size = 0; size < sample.bytes.size(); ++size) {
            MidiFile     file;
            ParseOutcome outcome = parseBytes(file, Bytes(sample.bytes.begin(), sample.bytes.begin() + size));
            ASSERT_FALSE(outcome.ok) << "cut at " << size;
            ASSERT_FALSE(outcome.errors.empty()) << "cut at " << size;
        }
        MidiFile whole;
        EXPECT_TRUE(parseBytes(whole, sample.bytes).ok);
        MidiFile     withTail;
        ParseOutcome tail = parseBytes(withTail, concat(sample.bytes, text("MTrk\x01garbage")));
        EXPECT_TRUE(tail.ok);
        EXPECT_EQ(tail.errors, "");
        EXPECT_EQ(withTail.trackCount(), whole.trackCount());
    }
}

TEST(MidiParse, FailureKeepsWhatWasReadBefore) {
    MidiWriter writer(1, 480);
    writer.addTrack().noteOn(0, 0, 60, 100).endOfTrack();
    writer.addTrack().noteOn(5, 0, 61, 100).raw({0x00, 0xFF, 0x01, 0x81, 0x81, 0x81, 0x81});
    writer.addTrack().endOfTrack();
    MidiFile file;
    ASSERT_FALSE(parseBytes(file, writer.bytes()).ok);
    ASSERT_EQ(file.trackCount(), 3);
    EXPECT_EQ(file.eventCount(0), 2);
    ASSERT_EQ(file.eventCount(1), 1);
    EXPECT_EQ(file.event(1, 0).keyNumber(), 61);
    EXPECT_EQ(file.eventCount(2), 0);
}

TEST(MidiParse, ParseReplacesEarlierContent) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, tempoMapFormat1()).ok);
    file.computeEventTimes();
    file.pairNotes();
    ASSERT_TRUE(parseBytes(file, runningStatusFormat0()).ok);
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.ticksPerQuarterNote, 96);
    EXPECT_FALSE(file.timeMapValid);
    EXPECT_FALSE(file.notesPaired);
    EXPECT_EQ(file.event(0, 0).sequence, 1);

    ASSERT_FALSE(parseBytes(file, text("MThd")).ok);
    EXPECT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.eventCount(0), 0);
    EXPECT_EQ(file.ticksPerQuarterNote, 120);
}

// --- Reading events ---------------------------------------------------------

TEST(MidiParse, RunningStatusIsFilledIntoEveryMessage) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, runningStatusFormat0()).ok);
    std::vector<Bytes> expected = {
        {0xC0, 0x05},    {0x90, 60, 100}, {0x90, 62, 90},     {0x90, 60, 0}, {0x90, 62, 0},
        {0xB0, 10, 32},  {0xB0, 7, 100},  {0xE0, 0x00, 0x40}, {0xD0, 0x30},  {0xD0, 0x31},
        {0x99, 36, 127}, {0x89, 36, 0},   {0xFF, 0x2F, 0x00},
    };
    std::vector<int> ticks = {0, 0, 48, 48, 96, 96, 96, 106, 106, 111, 118, 214, 226};
    ASSERT_EQ(file.eventCount(0), static_cast<int>(expected.size()));
    for (int i = 0; i < file.eventCount(0); ++i) {
        EXPECT_EQ(file.event(0, i).bytes, expected[i]) << "event " << i;
        EXPECT_EQ(file.event(0, i).tick, ticks[i]) << "event " << i;
    }
}

TEST(MidiParse, MetaKeepsItsLengthBytesAndSysexOnlyItsData) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, metaAndSysex()).ok);
    const Bytes& name = file.event(0, 0).bytes;
    ASSERT_EQ(name.size(), 4u + 200u);
    EXPECT_EQ(Bytes(name.begin(), name.begin() + 4), (Bytes{0xFF, 0x03, 0x81, 0x48}));
    EXPECT_EQ(name.back(), 'x');
    EXPECT_EQ(file.event(0, 1).bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(file.event(0, 3).bytes, (Bytes{0xF7, 0xF8}));
    EXPECT_EQ(file.event(0, 6).bytes, (Bytes{0xFF, 0x7F, 0x00}));
}

TEST(MidiParse, OneByteSystemMessagesStandAlone) {
    TrackWriter track;
    track.message(0, {0xF8}).message(3, {0xFE}).noteOn(1, 0, 60, 1).endOfTrack();
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, withTrack(track)).ok);
    ASSERT_EQ(file.eventCount(0), 4);
    EXPECT_EQ(file.event(0, 0).bytes, Bytes{0xF8});
    EXPECT_EQ(file.event(0, 1).bytes, Bytes{0xFE});
    EXPECT_EQ(file.event(0, 2).tick, 4);
}

TEST(MidiParse, TicksAreAbsoluteAndSequenceRunsAcrossTracks) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, tempoMapFormat1()).ok);
    ASSERT_EQ(file.trackCount(), 3);
    int expectedSequence = 1;
    for (int t = 0; t < file.trackCount(); ++t) {
        for (MidiTrackEvent* event : eventsOf(file, t)) {
            EXPECT_EQ(event->track, t);
            EXPECT_EQ(event->sequence, expectedSequence++);
        }
    }
    EXPECT_EQ(file.event(0, 2).tick, 480);
    EXPECT_EQ(file.event(0, 3).tick, 1920);
    // melody: note i starts at 480 * i and ends 360 later
    EXPECT_EQ(file.event(1, 6).tick, 1440);
    EXPECT_EQ(file.event(1, 7).tick, 1800);
    EXPECT_EQ(file.event(2, 3).tick, 2640);
}

TEST(MidiParse, LongDeltaTimesAddUp) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, longDeltas()).ok);
    EXPECT_EQ(file.event(0, 0).tick, 0x0FFFFFF);
    EXPECT_EQ(file.event(0, 1).tick, 0x0FFFFFF + 0x0FFFFFFF);
    EXPECT_EQ(file.event(0, 3).tick, 0x0FFFFFF + 0x0FFFFFFF + 0x3FFF + 0x80);
}

TEST(MidiParse, FormatZeroAndOneAndEmptyFormatOne) {
    MidiFile zero, one, none;
    ASSERT_TRUE(parseBytes(zero, runningStatusFormat0()).ok);
    ASSERT_TRUE(parseBytes(one, overlappingNotes()).ok);
    ASSERT_TRUE(parseBytes(none, header(1, 0, 480)).ok);
    EXPECT_EQ(zero.trackCount(), 1);
    EXPECT_EQ(one.trackCount(), 2);
    EXPECT_EQ(none.trackCount(), 0);
    EXPECT_EQ(none.eventCount(0), 0);
}

TEST(MidiParse, TimeDivision) {
    MidiFile ticks, smpte, odd;
    ASSERT_TRUE(parseBytes(ticks, header(1, 0, 0x7FFF)).ok);
    EXPECT_EQ(ticks.ticksPerQuarterNote, 0x7FFF);
    ParseOutcome standard = parseBytes(smpte, header(1, 0, smpteDivision(29, 80)));
    ASSERT_TRUE(standard.ok);
    EXPECT_EQ(standard.errors, "");
    EXPECT_EQ(smpte.ticksPerQuarterNote, 29 * 80);
    ParseOutcome unknown = parseBytes(odd, header(1, 0, smpteDivision(50, 4)));
    ASSERT_TRUE(unknown.ok);
    EXPECT_EQ(unknown.errors, "Warning: unknown FPS: 50\nUsing non-standard FPS: 50\n");
    EXPECT_EQ(odd.ticksPerQuarterNote, 200);
}

// --- Event predicates and values --------------------------------------------

struct PredicateCase {
    Bytes bytes;
    bool  noteOn, noteOff, controller, tempo;
    int   channel, key, velocity, controllerNumber, controllerValue;
};

TEST(MidiTrackEventValues, FollowTheMessageBytes) {
    std::vector<PredicateCase> cases = {
        {{0x93, 60, 100}, true, false, false, false, 3, 60, 100, -1, -1},
        {{0x93, 60, 0}, false, true, false, false, 3, 60, 0, -1, -1},
        {{0x8F, 61, 40}, false, true, false, false, 15, 61, 40, -1, -1},
        {{0xA2, 62, 10}, false, false, false, false, 2, 62, -1, -1, -1},
        {{0xB4, 10, 99}, false, false, true, false, 4, -1, -1, 10, 99},
        {{0xB4, 0x8A, 0xE3}, false, false, true, false, 4, -1, -1, 10, 99},
        {{0xC1, 5}, false, false, false, false, 1, -1, -1, -1, -1},
        {{0x90, 60}, false, false, false, false, 0, -1, -1, -1, -1},
        {{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, false, false, false, true, 15, -1, -1, -1, -1},
        {{0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, false, false, false, false, 15, -1, -1, -1, -1},
        {{0xFF, 0x51, 0x04, 0x07, 0xA1, 0x20, 0x00}, false, false, false, false, 15, -1, -1, -1, -1},
        {{}, false, false, false, false, -1, -1, -1, -1, -1},
    };
    for (const PredicateCase& c : cases) {
        MidiTrackEvent event;
        event.bytes = c.bytes;
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(event.isNoteOn(), c.noteOn);
        EXPECT_EQ(event.isNoteOff(), c.noteOff);
        EXPECT_EQ(event.isController(), c.controller);
        EXPECT_EQ(event.isTempo(), c.tempo);
        EXPECT_EQ(event.channel(), c.channel);
        EXPECT_EQ(event.keyNumber(), c.key);
        EXPECT_EQ(event.velocity(), c.velocity);
        EXPECT_EQ(event.controllerNumber(), c.controllerNumber);
        EXPECT_EQ(event.controllerValue(), c.controllerValue);
        if (!c.tempo) {
            EXPECT_EQ(event.tempoBpm(), -1.0);
            EXPECT_EQ(event.tempoSecondsPerTick(480), -1.0);
        }
    }
}

TEST(MidiTrackEventValues, TempoValues) {
    MidiTrackEvent event;
    event.bytes = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};  // 500000 microseconds per beat
    EXPECT_DOUBLE_EQ(event.tempoBpm(), 120.0);
    EXPECT_DOUBLE_EQ(event.tempoSecondsPerTick(480), 0.5 / 480);
    event.bytes = {0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2B};  // 666667: 90 BPM
    EXPECT_NEAR(event.tempoBpm(), 90.0, 1e-4);
    event.bytes = {0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF};
    EXPECT_DOUBLE_EQ(event.tempoSecondsPerTick(1), 16.777215);
}

// --- Times --------------------------------------------------------------------

double secondsAtTick(MidiFile& file, int tick) {
    for (int t = 0; t < file.trackCount(); ++t) {
        for (MidiTrackEvent* event : eventsOf(file, t)) {
            if (event->tick == tick) return event->seconds;
        }
    }
    ADD_FAILURE() << "no event at tick " << tick;
    return -1.0;
}

MidiFile timed(const Bytes& bytes) {
    MidiFile file;
    EXPECT_TRUE(parseBytes(file, bytes).ok);
    file.computeEventTimes();
    return file;
}

TEST(MidiEventTimes, DefaultTempoIs120Bpm) {
    TrackWriter track;
    track.noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack();
    MidiFile file = timed(withTrack(track));
    EXPECT_DOUBLE_EQ(secondsAtTick(file, 960), 1.0);
}

TEST(MidiEventTimes, TempoChangesApplyToLaterTicks) {
    TrackWriter same, faster;
    same.tempo(0, 500000).noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack();
    faster.tempo(0, 500000).noteOn(0, 0, 60, 100).tempo(480, 250000).noteOff(480, 0, 60).endOfTrack();
    MidiFile sameFile   = timed(withTrack(same));
    MidiFile fasterFile = timed(withTrack(faster));
    EXPECT_DOUBLE_EQ(secondsAtTick(sameFile, 960), 1.0);
    EXPECT_DOUBLE_EQ(secondsAtTick(fasterFile, 480), 0.5);
    EXPECT_DOUBLE_EQ(secondsAtTick(fasterFile, 960), 0.75);
}

TEST(MidiEventTimes, ConductorTrackTimesEveryTrack) {
    MidiFile file = timed(tempoMapFormat1());
    // 0..480 at 0.5 s per beat, 480..1920 at 0.25, then 0.75 s per beat
    EXPECT_DOUBLE_EQ(file.event(1, 2).seconds, 0.5);                      // melody note at 480
    EXPECT_DOUBLE_EQ(file.event(1, 6).seconds, 0.5 + 0.5);                // at 1440
    EXPECT_DOUBLE_EQ(file.event(1, 8).seconds, 0.5 + 0.75);               // at 1920
    EXPECT_DOUBLE_EQ(file.event(2, 3).seconds, 1.25 + 720 * 0.75 / 480);  // bass at 2640
    EXPECT_EQ(file.trackState, MidiFile::TrackState::Split);
    EXPECT_EQ(file.trackCount(), 3);
    EXPECT_TRUE(file.timeMapValid);
}

TEST(MidiEventTimes, EventsAtOneTickShareOneTimeAcrossATempoChange) {
    MidiWriter writer(1, 480);
    writer.addTrack().noteOn(480, 0, 60, 100).noteOff(480, 0, 60).endOfTrack();
    writer.addTrack().tempo(480, 1000000).endOfTrack();
    writer.addTrack().noteOn(480, 1, 62, 100).endOfTrack();
    MidiFile file = timed(writer.bytes());
    EXPECT_DOUBLE_EQ(file.event(0, 0).seconds, 0.5);
    EXPECT_DOUBLE_EQ(file.event(1, 0).seconds, 0.5);
    EXPECT_DOUBLE_EQ(file.event(2, 0).seconds, 0.5);
    EXPECT_DOUBLE_EQ(file.event(0, 1).seconds, 0.5 + 1.0);
    ASSERT_EQ(file.timeMap.size(), 2u);
    EXPECT_EQ(file.timeMap[0].first, 480);
    EXPECT_DOUBLE_EQ(file.timeMap[0].second, 0.5);
    EXPECT_EQ(file.timeMap[1].first, 960);
    EXPECT_DOUBLE_EQ(file.timeMap[1].second, 1.5);
}

TEST(MidiEventTimes, SmpteDivisionStillFollowsTempo) {
    MidiFile file = timed(smpteDivisionFile());
    ASSERT_EQ(file.ticksPerQuarterNote, 1000);
    EXPECT_DOUBLE_EQ(file.event(1, 1).seconds, 1.0);  // tick 1000 at one second per beat
    EXPECT_DOUBLE_EQ(file.event(1, 3).seconds, 2.0);
}

TEST(MidiEventTimes, ZeroTempoIsIgnored) {
    TrackWriter track;
    track.tempo(0, 0).noteOn(480, 0, 60, 100).endOfTrack();
    MidiFile file = timed(withTrack(track));
    EXPECT_DOUBLE_EQ(file.event(0, 1).seconds, 0.5);
}

// --- Note pairing -------------------------------------------------------------

TEST(MidiPairNotes, OverlappingNotesPairFirstInFirstOut) {
    MidiFile file = timed(overlappingNotes());
    file.pairNotes();
    EXPECT_TRUE(file.notesPaired);
    std::vector<MidiTrackEvent*> e = eventsOf(file, 0);
    // 0: on ch2 @0, 1: on ch2 @30, 2: on ch3 @30, 3: off ch2 @60, 4: off ch2 @90,
    // 5: off ch3 @90, 6: off ch3 @100, 7: on ch2 key 65 @110
    EXPECT_EQ(e[0]->link, e[3]);
    EXPECT_EQ(e[3]->link, e[0]);
    EXPECT_EQ(e[1]->link, e[4]);
    EXPECT_EQ(e[2]->link, e[5]);
    EXPECT_EQ(e[6]->link, nullptr);
    EXPECT_EQ(e[7]->link, nullptr);
    EXPECT_DOUBLE_EQ(e[0]->durationSeconds(), 60 * 0.5 / 120);
    EXPECT_DOUBLE_EQ(e[4]->durationSeconds(), 60 * 0.5 / 120);
    EXPECT_EQ(e[7]->durationSeconds(), 0.0);
}

TEST(MidiPairNotes, NeverAcrossTracks) {
    MidiWriter writer(1, 480);
    writer.addTrack().noteOn(0, 0, 60, 100).endOfTrack();
    writer.addTrack().noteOff(100, 0, 60).endOfTrack();
    MidiFile file = timed(writer.bytes());
    file.pairNotes();
    EXPECT_EQ(file.event(0, 0).link, nullptr);
    EXPECT_EQ(file.event(1, 0).link, nullptr);
}

TEST(MidiPairNotes, VelocityZeroNoteOnEndsANote) {
    MidiFile file = timed(velocityZeroOffs());
    file.pairNotes();
    std::vector<MidiTrackEvent*> e = eventsOf(file, 0);
    // 0: on 50, 1: on 52, 2: off 50 (vel 0), 3: off 52, 4: on 70, 5: off 70 (0x85), 6: on 70, 7: off 70 (0x95 vel 0)
    EXPECT_EQ(e[0]->link, e[2]);
    EXPECT_EQ(e[1]->link, e[3]);
    EXPECT_EQ(e[4]->link, e[5]);
    EXPECT_EQ(e[6]->link, e[7]);
    EXPECT_EQ(e[7]->velocity(), 0);
    EXPECT_DOUBLE_EQ(e[1]->durationSeconds(), 0.25);
}

TEST(MidiPairNotes, PairingAgainReplacesOldLinks) {
    MidiFile file = timed(velocityZeroOffs());
    file.pairNotes();
    MidiTrackEvent& stray = file.event(0, 5);
    stray.bytes           = {0xC5, 1};  // no longer a note-off
    file.pairNotes();
    EXPECT_EQ(stray.link, nullptr);
    EXPECT_EQ(file.event(0, 4).link, &file.event(0, 7));
    EXPECT_EQ(file.event(0, 6).link, nullptr);
}

// --- Merging ------------------------------------------------------------------

TEST(MidiMergeTracks, OrdersByTickThenFileOrder) {
    MidiFile file = timed(tempoMapFormat1());
    file.pairNotes();
    MidiTrackEvent* bassOn  = &file.event(2, 0);
    MidiTrackEvent* bassOff = bassOn->link;
    int             total   = file.eventCount(0) + file.eventCount(1) + file.eventCount(2);
    file.mergeTracks();
    ASSERT_EQ(file.trackCount(), 1);
    EXPECT_EQ(file.trackState, MidiFile::TrackState::Merged);
    ASSERT_EQ(file.eventCount(0), total);
    for (int i = 1; i < total; ++i) {
        const MidiTrackEvent& a = file.event(0, i - 1);
        const MidiTrackEvent& b = file.event(0, i);
        ASSERT_TRUE(a.tick < b.tick || (a.tick == b.tick && a.sequence < b.sequence)) << "at " << i;
    }
    // At tick 480: the conductor's tempo, then the melody, then the bass.
    std::vector<int> tracksAt480;
    for (int i = 0; i < total; ++i) {
        if (file.event(0, i).tick == 480) tracksAt480.push_back(file.event(0, i).track);
    }
    EXPECT_EQ(tracksAt480, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(bassOn->link, bassOff);
    EXPECT_EQ(bassOff->link, bassOn);
    EXPECT_EQ(bassOn->track, 2);
}

TEST(MidiMergeTracks, SecondMergeChangesNothingAndEmptyFileGetsOneTrack) {
    MidiFile file = timed(overlappingNotes());
    file.mergeTracks();
    std::vector<MidiTrackEvent*> once = eventsOf(file, 0);
    file.mergeTracks();
    EXPECT_EQ(eventsOf(file, 0), once);

    MidiFile empty;
    ASSERT_TRUE(parseBytes(empty, header(1, 0, 480)).ok);
    empty.computeEventTimes();
    empty.pairNotes();
    empty.mergeTracks();
    EXPECT_EQ(empty.trackCount(), 1);
    EXPECT_EQ(empty.eventCount(0), 0);
}

TEST(MidiSortTracks, RestoresTickOrderWithinEachTrack) {
    MidiFile file;
    ASSERT_TRUE(parseBytes(file, overlappingNotes()).ok);
    file.event(0, 0).tick = 500;
    file.sortTracks();
    EXPECT_EQ(file.event(0, file.eventCount(0) - 1).tick, 500);
    EXPECT_EQ(file.event(0, 0).sequence, 2);
}

}  // namespace
