#include "level/ChartDensity.h"

#include "audio/NoteTimeline.h"

#include <algorithm>
#include <cmath>
#include <vector>

size_t densestSecond(const StemMidi& chart, float songBpm) {
    // What scaleToBpm will do to the times; a tempo it refuses leaves them.
    const double scale = songBpm > 0.0f && std::isfinite(songBpm) && chart.bpm > 0.0f ? chart.bpm / songBpm : 1.0;
    std::vector<double> onsets;
    for (const MidiNoteEvent& event : chart.events)
        if (event.isNoteOn) onsets.push_back(event.time * scale);
    std::sort(onsets.begin(), onsets.end());
    size_t most = 0;
    for (size_t first = 0, last = 0; last < onsets.size(); ++last) {
        while (onsets[last] - onsets[first] >= 1.0) ++first;
        most = std::max(most, last - first + 1);
    }
    return most;
}

std::string chartDensityProblem(const StemMidi& chart, float songBpm, const std::string& chartName) {
    const size_t most = densestSecond(chart, songBpm);
    if (most <= kMostNotesInASecond) return {};
    return "the chart \"" + chartName + "\" has " + std::to_string(most) + " notes within one second, more than the " +
           std::to_string(kMostNotesInASecond) + " a player can hit";
}
