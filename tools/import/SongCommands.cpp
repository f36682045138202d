#include "import/SongCommands.h"

#include "songimport/SongImport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// The options of this mode; false with a message for anything else.
bool parseSongArgs(const std::vector<std::string>& args, SongImportRequest& request) {
    bool levelsGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg      = args[i];
        const bool         hasValue = i + 1 < args.size();
        if (arg == "--title" && hasValue) request.title = args[++i];
        else if (arg == "--levels" && hasValue) {
            request.levelsDir = args[++i];
            levelsGiven       = true;
        } else if (arg == "--difficulty" && hasValue) {
            if (!parseDifficulty(args[++i], request.difficulty)) {
                std::fprintf(stderr, "lumoka-import: unknown difficulty '%s' (easy, normal or hard)\n",
                             args[i].c_str());
                return false;
            }
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "lumoka-import: unknown option or missing value: %s\n", arg.c_str());
            return false;
        } else {
            request.files.push_back(arg);
        }
    }
    if (!levelsGiven || request.files.empty()) {
        std::fprintf(stderr, "lumoka-import: give --levels DIR and at least one audio file\n");
        return false;
    }
    return true;
}

// Prints the step whenever it changes while the import runs.
void followProgress(const ImportProgress& progress, const std::atomic<bool>& done) {
    std::string shown;
    while (!done) {
        const std::string step = progress.step();
        if (step != shown) {
            std::printf("%s...\n", step.c_str());
            std::fflush(stdout);
            shown = step;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

bool isSongCommand(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--package" || arg == "--export") return false;
    return true;
}

void printSongUsage() {
    std::fprintf(stderr, "usage: lumoka-import [--title T] [--difficulty easy|normal|hard] --levels DIR FILE...\n");
}

int runSongCommand(const std::vector<std::string>& args) {
    SongImportRequest request;
    if (!parseSongArgs(args, request)) {
        printSongUsage();
        return 2;
    }
    ImportProgress    progress;
    std::atomic<bool> done{false};
    std::thread       follower(followProgress, std::cref(progress), std::cref(done));
    const auto        started = std::chrono::steady_clock::now();
    SongImportResult  result  = importSong(request, progress);
    done                      = true;
    follower.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return 1;
    }
    std::printf("%s in %.1f s\n", result.message.c_str(), seconds);
    return 0;
}
