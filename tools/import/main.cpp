// lumoka-import: adds levels to a levels folder from the command line, with
// the same code the game's menu uses.
#include "tools/import/SongCommands.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || !isSongCommand(args)) {
        printSongUsage();
        return 2;
    }
    return runSongCommand(args);
}
