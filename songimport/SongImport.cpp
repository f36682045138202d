#include "songimport/SongImport.h"

#include "songimport/InstrumentSplit.h"
#include "songimport/PackageFiles.h"
#include "songimport/SongDecoder.h"
#include "songimport/SongStart.h"
#include "songimport/StemAnalysis.h"

#include "audio/Sound.h"
#include "base/Catching.h"
#include "level/LevelInstall.h"
#include "midi/MidiWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlockFrames = 4096;
constexpr float  kSilentPeak  = 1.0e-4f;  // -80 dBFS
// A level whose circles come further apart than this on average is refused: it would mostly play on its own.
constexpr double kSecondsPerNote = 4.0;

struct SongInput {
    std::string path;
    DecodedSong audio;
};

// One stem of the level while it is made: where its audio goes and what was heard in it.
struct StemWork {
    std::string             label;  // for the progress bar: "low band", "drums"
    std::string             audioFile;
    std::vector<HeardOnset> heard;
    std::string             error;
};

// The state the parallel jobs share. Every stem lasts `frames`, the longest
// input's length: a shorter one is padded with silence as it is read.
struct JobContext {
    const std::vector<SongInput>& inputs;
    const fs::path&               staging;
    ImportProgress&               progress;
    uint64_t                      frames = 0;
    std::atomic<uint64_t>         framesDone{0};
    uint64_t                      framesTotal = 1;

    // Counts the frames and says whether to go on.
    bool advance(size_t frames) {
        framesDone += frames;
        progress.report(progress.step(), float(framesDone.load()) / float(framesTotal));
        return !progress.cancelled();
    }
};

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isSilent(const DecodedSong& song) {
    const float* s = song.samples.get();
    for (uint64_t i = 0; i < song.frames * Sound::kChannels; ++i)
        if (std::fabs(s[i]) > kSilentPeak) return false;
    return true;
}

bool decodeInputs(const SongImportRequest& request, ImportProgress& progress, std::vector<SongInput>& inputs,
                  std::string& message) {
    for (const std::string& path : request.files) {
        if (progress.cancelled()) return false;
        progress.report("Decoding " + fileNameOf(path), 0.0f);
        SongInput   input{path, {}};
        std::string why;
        if (!decodeSong(path, input.audio, why)) {
            message = "Cannot import " + path + ": " + why;
            return false;
        }
        char length[96];
        std::snprintf(length, sizeof length, "it is %.1f s long; a song needs at least %.0f s", input.audio.seconds(),
                      kShortestSongSeconds);
        if (input.audio.seconds() < kShortestSongSeconds) message = "Cannot import " + path + ": " + length;
        else if (isSilent(input.audio)) message = "Cannot import " + path + ": it is silent";
        if (!message.empty()) return false;
        inputs.push_back(std::move(input));
    }
    return true;
}

// Stems must loop together: shorter files get silence at the end, and must
// then be re-encoded. The silence is written, never held: a 30-minute stem
// beside seven short ones costs its own samples, not eight times them.
uint64_t padShorterInputs(std::vector<SongInput>& inputs) {
    uint64_t longest = 0;
    for (const SongInput& in : inputs) longest = std::max(longest, in.audio.frames);
    for (SongInput& in : inputs) {
        if (in.audio.frames == longest) continue;
        std::printf("Padded %s with %.1f s of silence to the length of the longest file\n", in.path.c_str(),
                    double(longest - in.audio.frames) / Sound::kSampleRate);
        in.audio.gamePlaysFile = false;
    }
    return longest;
}

// The stereo frames [at, at + frames) of a song, silence past its end: in
// place when they are all there, else copied into scratch.
const float* framesAt(const DecodedSong& song, uint64_t at, size_t frames, std::vector<float>& scratch) {
    const float* samples = song.samples.get() + std::min(at, song.frames) * Sound::kChannels;
    if (at + frames <= song.frames) return samples;
    const uint64_t present = at < song.frames ? song.frames - at : 0;
    scratch.assign(frames * Sound::kChannels, 0.0f);
    std::copy_n(samples, present * Sound::kChannels, scratch.begin());
    return scratch.data();
}

// A long silent intro is left out: every stem starts at the level's start
// (a view into the decoded song, no copy), so none is the file as it was.
// Returns the frames left out.
uint64_t cutSilentIntro(std::vector<SongInput>& inputs) {
    std::vector<const DecodedSong*> songs;
    for (const SongInput& in : inputs) songs.push_back(&in.audio);
    const uint64_t start = levelStartFrame(songs);
    if (start == 0) return 0;
    for (SongInput& in : inputs) {
        const uint64_t cut = std::min(start, in.audio.frames);
        in.audio.samples   = std::shared_ptr<const float[]>(in.audio.samples, in.audio.samples.get() + cut * Sound::kChannels);
        in.audio.frames -= cut;
        in.audio.gamePlaysFile = false;
    }
    std::printf("Left out the first %.1f s of silence: the level starts %.0f s before the bar of its first note\n",
                double(start) / Sound::kSampleRate, kLeadInSeconds);
    return start;
}

// The instrument split of one mixed song: each stem written and listened to on a thread of its own.
bool chartInstruments(JobContext& context, std::vector<StemWork>& stems) {
    context.progress.report("Splitting and charting the instruments", context.progress.fraction());
    const DecodedSong&                           song = context.inputs.front().audio;
    std::vector<std::unique_ptr<StemAudioWriter>> writers;
    std::vector<std::unique_ptr<StemListener>>    listeners;
    std::vector<StemSink>                         sinks;
    for (StemWork& work : stems) {
        writers.push_back(std::make_unique<StemAudioWriter>());
        listeners.push_back(std::make_unique<StemListener>());
        if (!writers.back()->open((context.staging / work.audioFile).string(), work.error)) return false;
        sinks.push_back([&, writer = writers.back().get(), listener = listeners.back().get()](const float* stereo,
                                                                                               size_t frames) {
            if (!writer->write(stereo, frames, work.error)) return false;
            listener->feed(stereo, frames);
            return context.advance(frames);
        });
    }
    const bool whole = splitInstrumentsInParallel(song.samples.get(), song.frames, sinks);
    bool       ok    = whole;
    for (size_t i = 0; i < stems.size(); ++i) {
        ok = writers[i]->close(stems[i].error) && ok;
        if (ok) stems[i].heard = listeners[i]->finish();
    }
    return ok;
}

bool chartFile(JobContext& context, const SongInput& input, StemWork& work) {
    context.progress.report("Charting " + work.label, context.progress.fraction());
    const fs::path  target = context.staging / work.audioFile;
    StemAudioWriter writer;
    if (input.audio.gamePlaysFile) {
        std::error_code ec;
        fs::copy_file(input.path, target, ec);
        if (ec) work.error = "cannot copy " + input.path + ": " + ec.message();
    } else {
        writer.open(target.string(), work.error);
    }
    StemListener       listener;
    std::vector<float> scratch;
    for (uint64_t at = 0; work.error.empty() && at < context.frames; at += kBlockFrames) {
        const size_t frames = size_t(std::min<uint64_t>(kBlockFrames, context.frames - at));
        const float* block  = framesAt(input.audio, at, frames, scratch);
        if (!input.audio.gamePlaysFile && !writer.write(block, frames, work.error)) break;
        listener.feed(block, frames);
        if (!context.advance(frames)) return false;
    }
    if (!writer.close(work.error) || !work.error.empty()) return false;
    work.heard = listener.finish();
    return true;
}

// The beat tracker listens to all stems mixed down to mono.
bool trackBeats(JobContext& context, BeatGrid& grid) {
    BeatListener       listener;
    std::vector<float> mono(kBlockFrames);
    std::vector<float> scratch;
    const uint64_t     frames = context.frames;
    for (uint64_t at = 0; at < frames; at += kBlockFrames) {
        const size_t count = size_t(std::min<uint64_t>(kBlockFrames, frames - at));
        std::fill(mono.begin(), mono.end(), 0.0f);
        for (const SongInput& in : context.inputs) {
            const float* s = framesAt(in.audio, at, count, scratch);
            for (size_t i = 0; i < count; ++i) mono[i] += 0.5f * (s[2 * i] + s[2 * i + 1]);
        }
        listener.feedMono(mono.data(), count);
        if (!context.advance(count)) return false;
    }
    grid = listener.finish();
    return true;
}

// Runs the jobs on up to two threads; true when all of them succeeded. A job
// that threw fails with its reason in thrown.
bool runJobs(std::vector<std::function<bool()>>& jobs, std::string& thrown) {
    std::atomic<size_t>      next{0};
    std::atomic<bool>        failed{false};
    std::vector<std::string> why(jobs.size());
    auto                worker = [&] {
        for (size_t i = next++; i < jobs.size() && !failed; i = next++)
            if (!base::runCatching(jobs[i], why[i])) failed = true;
    };
    const unsigned           cores = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < cores; ++i) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
    for (const std::string& reason : why)
        if (!reason.empty()) thrown = reason;
    return !failed;
}

std::vector<StemWork> planStems(const std::vector<SongInput>& inputs) {
    std::vector<StemWork> stems;
    if (inputs.size() == 1) {
        for (int stem = 0; stem < kInstrumentCount; ++stem)
            stems.push_back({instrumentName(stem), std::string(instrumentName(stem)) + ".flac", {}, {}});
        return stems;
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string& path = inputs[i].path;
        const std::string  ext  = inputs[i].audio.gamePlaysFile ? fs::path(path).extension().string() : ".flac";
        stems.push_back({fileNameOf(path), stemFileName(i, path, ext), {}, {}});
    }
    return stems;
}

bool analyse(JobContext& context, std::vector<StemWork>& stems, BeatGrid& grid, std::string& message) {
    std::vector<std::function<bool()>> jobs;
    jobs.push_back([&] { return trackBeats(context, grid); });
    if (context.inputs.size() == 1) jobs.push_back([&] { return chartInstruments(context, stems); });
    else
        for (size_t i = 0; i < stems.size(); ++i)
            jobs.push_back([&, i] { return chartFile(context, context.inputs[i], stems[i]); });
    context.framesTotal = std::max<uint64_t>(1, context.frames * (stems.size() + 1));
    std::string thrown;
    const bool  ok = runJobs(jobs, thrown);
    for (const StemWork& s : stems)
        if (!s.error.empty()) message = s.error;
    if (!thrown.empty()) message = thrown;
    if (ok && grid.bpm <= 0.0f) message = "no steady beat was found in the song";
    if (!ok || grid.bpm <= 0.0f) return false;
    std::vector<std::vector<HeardOnset>> heard;
    for (const StemWork& s : stems) heard.push_back(s.heard);
    grid = lockToOnsets(grid, heard);
    grid.tempoMap = tempoMap(grid);
    if (!grid.tempoMap.empty()) grid.bpm = medianBpm(grid.tempoMap);  // the level's BPM: the map's median
    return true;
}

bool writeBytes(const fs::path& path, const std::string& bytes, std::string& message) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) message = "cannot write " + path.string();
    return bool(out);
}

// Refused with `message` when the charts hold fewer than one note per kSecondsPerNote of the song.
bool chartsFitTheSong(const std::vector<std::vector<ChartNote>>& charts, double songSeconds, std::string& message) {
    size_t notes = 0;
    for (const auto& chart : charts) notes += chart.size();
    if (double(notes) * kSecondsPerNote >= songSeconds) return true;
    char why[128];
    std::snprintf(why, sizeof why, "its charts hold %zu notes in %.0f s, fewer than one per %.0f s of song", notes,
                  songSeconds, kSecondsPerNote);
    message = why;
    return false;
}

bool writeCharts(const fs::path& staging, const std::vector<StemWork>& stems, const BeatGrid& grid,
                 const DifficultyRules& rules, double songSeconds, std::string& message) {
    std::vector<std::vector<ChartNote>> charts;
    for (size_t i = 0; i < stems.size() && int(i) < rules.chartedStems; ++i)
        charts.push_back(chartStem(stems[i].heard, grid, rules.minGap));
    limitDensity(charts, grid, rules.maxPerSecond);
    if (!chartsFitTheSong(charts, songSeconds, message)) return false;
    std::vector<PackageStem> package;
    for (size_t i = 0; i < stems.size(); ++i) {
        PackageStem stem{stems[i].audioFile, {}};
        if (i < charts.size()) {
            stem.midiFile                   = fs::path(stems[i].audioFile).replace_extension(".mid").string();
            const std::vector<uint8_t> midi = writeChartMidi(grid.bpm, grid.tempoMap, charts[i]);
            if (!writeBytes(staging / stem.midiFile, std::string(midi.begin(), midi.end()), message)) return false;
        }
        package.push_back(stem);
    }
    return writeBytes(staging / "level.json", levelManifestText(grid.bpm, package), message);
}

std::string describeSource(const SongImportRequest& request, float bpm) {
    std::string source = fileNameOf(request.files.front());
    if (request.files.size() > 1) source += " and " + std::to_string(request.files.size() - 1) + " more stems";
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, " at %.0f BPM", bpm);
    return "Imported from " + source + tempo;
}

SongImportResult importSongFiles(const SongImportRequest& request, ImportProgress& progress) {
    SongImportResult result;
    if (request.files.empty() || int(request.files.size()) > kMaxSongFiles) {
        result.message = "Cannot import " + std::to_string(request.files.size()) +
                         " files: a song is one file or 2 to " + std::to_string(kMaxSongFiles) + " stem files";
        return result;
    }
    std::vector<SongInput> inputs;
    std::string            message;
    const bool             decoded = decodeInputs(request, progress, inputs, message);
    if (!decoded) {
        result.message = progress.cancelled() ? "Import cancelled" : message;
        return result;
    }
    const uint64_t longest = padShorterInputs(inputs);
    const uint64_t frames  = longest - cutSilentIntro(inputs);

    const std::string title   = request.title.empty() ? defaultSongTitle(request.files.front()) : request.title;
    const fs::path    staging = makeStagingFolder(request.levelsDir, result.message);
    if (staging.empty()) return result;
    JobContext            context{inputs, staging, progress, frames};
    std::vector<StemWork> stems = planStems(inputs);
    BeatGrid              grid;
    const DifficultyRules rules = rulesFor(request.difficulty);
    bool                  ok    = analyse(context, stems, grid, message);
    if (ok) {
        progress.report("Writing the level", 1.0f);
        ok = writeCharts(staging, stems, grid, rules, double(frames) / Sound::kSampleRate, message);
    }
    result.level = {title, {}, rules.stars, describeSource(request, grid.bpm)};
    ok = ok && !progress.cancelled() && installLevel(request.levelsDir, staging, title, result.level, message);
    if (!ok) {
        removeStagingFolder(staging);
        result.message =
            progress.cancelled() ? "Import cancelled" : "Cannot import " + request.files.front() + ": " + message;
        return result;
    }
    result.ok  = true;
    result.bpm = grid.bpm;
    char summary[64];
    std::snprintf(summary, sizeof summary, ", %zu stems, %.1f BPM)", stems.size(), grid.bpm);
    result.message = "Added \"" + title + "\" (" + (fs::path(request.levelsDir) / result.level.file).string() + summary;
    return result;
}

}  // namespace

void ImportProgress::report(const std::string& step, float fraction) {
    std::lock_guard<std::mutex> lock(mutex_);
    step_ = step;
    fraction_.store(std::clamp(fraction, 0.0f, 1.0f));
}

std::string ImportProgress::step() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return step_;
}

std::string defaultSongTitle(const std::string& path) {
    const std::string name = fileNameOf(path);
    const size_t      dot  = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

SongImportResult importSong(const SongImportRequest& request, ImportProgress& progress) {
    SongImportResult result;
    // A library's exception (memory, above all) must not end the game's worker thread or the command.
    std::string why;
    if (!base::runCatching([&] { return (result = importSongFiles(request, progress)).ok; }, why) && !why.empty())
        result = {false, "Cannot import " + request.files.front() + ": " + why, {}, 0.0f};
    return result;
}
