// The CPU side of the uniform block: block contents, the eased stem count, the
// per-stem easing and the note pulse, including the pulse arriving from the
// logic thread while the main thread eases.
#include "render/RenderState.h"

#include "midi/MidiNoteEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

MidiNoteEvent noteOn(int note, int velocity, int stem) {
    MidiNoteEvent event;
    event.note      = note;
    event.velocity  = velocity;
    event.isNoteOn  = true;
    event.stemIndex = stem;
    return event;
}

// The start-up animation defaults, without a window.
void seedDefaults(RenderState& render) {
    for (int i = 0; i < kStemSlots; ++i) {
        render.stemValue[i] = render.stemTarget[i] = render.stemBase[i] = 1.0f;
        render.stemPeak[i]                                              = 2.0f;
        render.stemLerpSpeed[i]                                         = 18.0f;
    }
}

TEST(UniformMirror, TimeDeltaAndFrameRateFollowThePreviousWrite) {
    RenderState render;
    render.elapsedTime = 7.0f;
    render.writeUniforms();
    render.writeUniforms();  // same clock: a second write in one frame
    EXPECT_EQ(render.uniforms.timeDelta, 0.0f);
    EXPECT_EQ(render.uniforms.frameRate, 60.0f);

    render.elapsedTime = 7.25f;
    render.writeUniforms();
    EXPECT_FLOAT_EQ(render.uniforms.timeDelta, 0.25f);
    EXPECT_FLOAT_EQ(render.uniforms.frameRate, 4.0f);

    RenderState other;  // the previous block time is process-wide
    other.elapsedTime = 7.75f;
    other.writeUniforms();
    EXPECT_FLOAT_EQ(other.uniforms.timeDelta, 0.5f);
}

TEST(Pointer, PressPositionStaysUntilTheNextPress) {
    RenderState render;
    render.setPointer(5.0f, 6.0f, false);
    EXPECT_EQ(render.uniforms.mouse[2], 0.0f);
    EXPECT_EQ(render.uniforms.mouse[3], 0.0f);
    render.setPointer(100.0f, 200.0f, true);
    render.setPointer(300.0f, 400.0f, false);
    EXPECT_EQ(render.uniforms.mouse[0], 300.0f);
    EXPECT_EQ(render.uniforms.mouse[1], 400.0f);
    EXPECT_EQ(render.uniforms.mouse[2], 100.0f);
    EXPECT_EQ(render.uniforms.mouse[3], 200.0f);
    render.writeUniforms();
    EXPECT_EQ(render.uniforms.mouse[2], 100.0f) << "the block write leaves the pointer alone";
}

TEST(StemCountEase, TargetDependsOnTheActiveCount) {
    const std::pair<int, float> cases[] = {{0, 0.95f}, {2, 0.95f}, {3, 0.75f}, {5, 0.75f}, {6, 0.4f}, {8, 0.4f}};
    for (const auto& [count, target] : cases) {
        RenderState render;
        render.activeStemCount = count;
        render.update(0.1f);  // ease moves by 2 * dt of the way
        EXPECT_FLOAT_EQ(render.stemCountEase, 0.2f * target) << count << " stems";
        EXPECT_FLOAT_EQ(render.uniforms.stems[0][3], render.stemCountEase);
        EXPECT_EQ(render.uniforms.stems[0][2], static_cast<float>(count));
    }
}

TEST(StemEasing, StepIsTheLerpSpeedTimesDtCappedAtOne) {
    RenderState render;
    seedDefaults(render);
    render.stemTarget[0]    = 2.0f;
    render.stemTarget[1]    = 2.0f;
    render.stemLerpSpeed[1] = 40.0f;
    render.update(1.0f / 30.0f);
    EXPECT_FLOAT_EQ(render.stemValue[0], 1.6f);
    EXPECT_FLOAT_EQ(render.stemValue[1], 2.0f) << "jumps to the target in one frame";
    EXPECT_EQ(render.uniforms.stems[0][0], render.stemValue[0]);
}

TEST(StemEasing, NegativeLerpSpeedHoldsTheValue) {
    RenderState render;
    seedDefaults(render);
    render.stemTarget[3]    = 2.0f;
    render.stemLerpSpeed[3] = -50.0f;
    for (int frame = 0; frame < 100; ++frame) render.update(1.0f / 30.0f);
    EXPECT_EQ(render.stemValue[3], 1.0f);
}

TEST(NotePulse, TargetFollowsVelocityPitchAndPeak) {
    const std::pair<int, float> cases[] = {{35, 2.0f}, {36, 2.4f}, {47, 2.4f}, {48, 1.6f},
                                           {59, 1.6f}, {60, 1.2f}, {72, 1.2f}, {73, 0.8f}};
    for (const auto& [note, target] : cases) {
        RenderState render;
        seedDefaults(render);
        render.pulseStem(noteOn(note, 127, 4));
        EXPECT_FLOAT_EQ(render.stemTarget[4].load(), target) << "note " << note;
        EXPECT_TRUE(render.stemPulsing[4].load());
    }
    RenderState render;
    seedDefaults(render);
    render.pulseStem(noteOn(40, 0 + 1, 0));
    EXPECT_FLOAT_EQ(render.stemTarget[0].load(), (1.0f / 127.0f * 0.5f + 0.5f) * 1.2f * 2.0f);
}

TEST(NotePulse, TargetIsCappedAtOneAndAHalfPeaks) {
    RenderState render;
    seedDefaults(render);
    render.stemPeak[2] = 3.0f;
    render.pulseStem(noteOn(40, 400, 2));  // out-of-range velocity from a bad chart
    EXPECT_FLOAT_EQ(render.stemTarget[2].load(), 4.5f);
}

TEST(NotePulse, IgnoresNoteOffsSilentNotesAndStemsWithoutASlot) {
    MidiNoteEvent off = noteOn(60, 100, 1);
    off.isNoteOn      = false;
    for (const MidiNoteEvent& event : {off, noteOn(60, 0, 1), noteOn(60, 100, 8), noteOn(60, 100, -1)}) {
        RenderState render;
        seedDefaults(render);
        render.pulseStem(event);
        for (int i = 0; i < kStemSlots; ++i) {
            EXPECT_EQ(render.stemTarget[i].load(), 1.0f);
            EXPECT_FALSE(render.stemPulsing[i].load());
        }
    }
}

TEST(NotePulse, RisesThenReturnsToBase) {
    RenderState render;
    seedDefaults(render);
    render.pulseStem(noteOn(36, 127, 0));  // target 2.4
    float previous     = render.stemValue[0];
    int   risingFrames = 0;
    while (render.stemPulsing[0].load() && risingFrames < 100) {
        render.update(1.0f / 60.0f);
        EXPECT_GT(render.stemValue[0], previous);
        previous = render.stemValue[0];
        ++risingFrames;
    }
    EXPECT_LT(risingFrames, 100);
    EXPECT_GT(render.stemValue[0], 1.9f) << "within 0.5 of the pulse target";
    EXPECT_EQ(render.stemTarget[0].load(), 1.0f) << "target back at base";
    for (int frame = 0; frame < 120; ++frame) {
        render.update(1.0f / 60.0f);
        EXPECT_LE(render.stemValue[0], previous);
        previous = render.stemValue[0];
    }
    EXPECT_NEAR(render.stemValue[0], 1.0f, 1e-3f);
}

TEST(NotePulse, PeakNearBaseReturnsOnTheFirstUpdate) {
    RenderState render;
    seedDefaults(render);
    render.stemPeak[5] = 1.2f;
    render.pulseStem(noteOn(30, 127, 5));  // target 1.2, within 0.5 of 1.0
    render.update(1.0f / 60.0f);
    EXPECT_FALSE(render.stemPulsing[5].load());
    EXPECT_EQ(render.stemTarget[5].load(), 1.0f);
}

// The logic thread pulses while the main thread eases. Under the thread
// sanitizer this is the check that the shared slot fields are atomic; and once
// the notes stop, every slot must settle at its base (a pulse landing while a
// settled one is being ended must not leave a raised target behind).
TEST(NotePulse, PulsesFromAnotherThreadNeverStrandTheTarget) {
    RenderState render;
    seedDefaults(render);
    std::atomic<bool> stop{false};
    std::thread       logic([&] {
        for (int n = 0; !stop.load(); ++n) render.pulseStem(noteOn(30 + n % 50, 1 + n % 127, n % 8));
    });
    for (int frame = 0; frame < 200000; ++frame) render.update(1.0f / 60.0f);
    stop = true;
    logic.join();
    for (int frame = 0; frame < 600; ++frame) render.update(1.0f / 60.0f);
    for (int i = 0; i < kStemSlots; ++i) {
        EXPECT_FALSE(render.stemPulsing[i].load()) << "slot " << i;
        EXPECT_EQ(render.stemTarget[i].load(), 1.0f) << "slot " << i;
        EXPECT_NEAR(render.stemValue[i], 1.0f, 1e-3f) << "slot " << i;
    }
}

}  // namespace
