// levelgen: writes the game's levels (the default level, the sample packages,
// the tutorial song and the level list) into the given levels folder.
#include "tools/levelgen/Generator.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    levelgen::GeneratorOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--soundfont" && i + 1 < argc) options.soundfont = argv[++i];
        else if (arg == "--jobs" && i + 1 < argc) options.jobs = std::atoi(argv[++i]);
        else if (options.outputDir.empty() && !arg.empty() && arg[0] != '-') options.outputDir = arg;
        else {
            options.outputDir.clear();
            break;
        }
    }
    if (options.outputDir.empty()) {
        std::fprintf(stderr, "usage: levelgen <levels-folder> [--soundfont <file.sf2>] [--jobs <n>]\n");
        return 2;
    }
    return levelgen::generateLevels(options) ? 0 : 1;
}
