// The CPU side of the uniform block: the mirror's contents, the per-frame
// easing of the stem values and the note pulse. No GL calls here.
#include "render/RenderState.h"

#include "midi/MidiNoteEvent.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

// elapsedTime seen by the previous block write, shared by every render state.
float previousBlockTime = 0.0f;

float easeTarget(int32_t activeStemCount) {
    if (activeStemCount < 3) return 0.95f;
    if (activeStemCount < 6) return 0.75f;
    return 0.4f;
}

float pitchFactor(int32_t note) {
    if (note < 36) return 1.0f;
    if (note < 48) return 1.2f;
    if (note < 60) return 0.8f;
    if (note < 73) return 0.6f;
    return 0.4f;
}

void writeDate(float date[4]) {
    const std::time_t now = std::time(nullptr);
    std::tm           local{};
    localtime_r(&now, &local);
    date[0] = static_cast<float>(local.tm_year + 1900);
    date[1] = static_cast<float>(local.tm_mon + 1);
    date[2] = static_cast<float>(local.tm_mday);
    date[3] = static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

// Ends a settled pulse. A pulse the logic thread stores meanwhile wins: the
// target is only sent home if it is still the one this step eased toward.
void endPulseIfSettled(RenderState& render, int slot, float easedTarget) {
    if (!render.stemPulsing[slot].load()) return;
    if (std::fabs(render.stemValue[slot] - easedTarget) >= 0.5f) return;
    if (!render.stemPulsing[slot].exchange(false)) return;
    float expected = easedTarget;
    if (!render.stemTarget[slot].compare_exchange_strong(expected, render.stemBase[slot]))
        render.stemPulsing[slot].store(true);
}

}  // namespace

void RenderState::writeUniforms() {
    uniforms.resolution[0] = static_cast<float>(width);
    uniforms.resolution[1] = static_cast<float>(height);
    uniforms.resolution[2] = 1.0f;
    uniforms.padding0      = 0.0f;

    uniforms.time      = elapsedTime;
    uniforms.timeDelta = elapsedTime - previousBlockTime;
    previousBlockTime  = elapsedTime;
    uniforms.frameRate = uniforms.timeDelta > 0.0f ? 1.0f / uniforms.timeDelta : 60.0f;
    uniforms.frame     = static_cast<float>(frameCount);

    for (int i = 0; i < kStemSlots; ++i) {
        uniforms.stems[i][0] = stemValue[i];
        uniforms.stems[i][1] = stemActive[i] ? 1.0f : 0.0f;
        uniforms.stems[i][2] = 0.0f;
        uniforms.stems[i][3] = 0.0f;
    }
    uniforms.stems[0][2] = static_cast<float>(activeStemCount);
    uniforms.stems[0][3] = stemCountEase;

    writeDate(uniforms.date);
    uniforms.sampleRate = 44100.0f;
    std::fill(std::begin(uniforms.padding1), std::end(uniforms.padding1), 0.0f);
}

void RenderState::update(float dt) {
    stemCountEase += (dt + dt) * (easeTarget(activeStemCount) - stemCountEase);
    frameCount += 1;
    elapsedTime += dt;

    for (int i = 0; i < kStemSlots; ++i) {
        const float target = stemTarget[i].load();
        // A negative speed from a level would make the value run away.
        const float step = std::clamp(dt * stemLerpSpeed[i], 0.0f, 1.0f);
        stemValue[i] += step * (target - stemValue[i]);
        endPulseIfSettled(*this, i, target);
    }
    writeUniforms();
}

void RenderState::setPointer(float x, float y, bool pressed) {
    uniforms.mouse[0] = x;
    uniforms.mouse[1] = y;
    if (pressed) {
        uniforms.mouse[2] = x;
        uniforms.mouse[3] = y;
    }
}

void RenderState::pulseStem(const MidiNoteEvent& event) {
    if (!event.isNoteOn || event.velocity <= 0) return;
    if (event.stemIndex < 0 || event.stemIndex >= kStemSlots) return;
    const int   slot  = event.stemIndex;
    const float peak  = stemPeak[slot].load();
    const float value = (static_cast<float>(event.velocity) / 127.0f * 0.5f + 0.5f) * pitchFactor(event.note) * peak;
    stemTarget[slot].store(std::min(peak * 1.5f, value));
    stemPulsing[slot].store(true);
}
