// lumoka-import: adds levels to a levels folder from the command line, with the
// same code, messages and exit codes as the game's menu.
//   lumoka-import [--title T] [--difficulty easy|normal|hard] --levels DIR FILE...
//   lumoka-import --levels DIR --package FILE.zip|FOLDER
//   lumoka-import --levels DIR --export FOLDER_NAME --to FILE.zip
#include "import/PackageCommands.h"
#include "import/SongCommands.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;

int usage(const char* why) {
    std::fprintf(stderr, "%s\n", why);
    printSongUsage();
    std::fprintf(stderr,
                 "       lumoka-import --levels DIR --package FILE.zip|FOLDER\n"
                 "       lumoka-import --levels DIR --export FOLDER_NAME --to FILE.zip\n");
    return kUsageError;
}

int runPackageCommand(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        if (name != "--levels" && name != "--package" && name != "--export" && name != "--to")
            return usage(("unknown option " + name).c_str());
        if (i + 1 >= argc) return usage((name + " needs a value").c_str());
        options[name] = argv[i + 1];
    }
    if (!options.count("--levels")) return usage("--levels is required");
    const std::string& levels = options["--levels"];
    if (options.count("--package") && !options.count("--export") && !options.count("--to"))
        return runPackageImport(levels, options["--package"]);
    if (options.count("--export") && options.count("--to") && !options.count("--package"))
        return runPackageExport(levels, options["--export"], options["--to"]);
    return usage("give either --package, or --export with --to");
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && isSongCommand(args)) return runSongCommand(args);
    return runPackageCommand(argc, argv);
}
