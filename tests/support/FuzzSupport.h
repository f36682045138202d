// What every libFuzzer target of ours shares: the invariant check, which names
// what broke (tools/fuzz.sh looks for "invariant broken") and aborts so the
// input is kept, and `TARGET --write-seeds DIR`, which writes the target's own
// starting corpus and exits.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace fuzzsupport {

using Seeds = std::vector<std::pair<std::string, std::string>>;  // file name, bytes

inline void check(bool holds, const char* subject, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "%s invariant broken: %s\n", subject, what);
    std::abort();
}

// Call from LLVMFuzzerInitialize; does nothing unless the arguments ask for seeds.
template <typename MakeSeeds>
void writeSeedsIfAsked(int argc, char** argv, const char* kind, MakeSeeds makeSeeds) {
    if (argc != 3 || std::string(argv[1]) != "--write-seeds") return;
    const Seeds seeds = makeSeeds();
    for (const auto& [name, bytes] : seeds) {
        const std::filesystem::path path = std::filesystem::path(argv[2]) / name;
        if (!(std::ofstream(path, std::ios::binary) << bytes)) {
            std::fprintf(stderr, "Could not write seed %s\n", path.c_str());
            std::exit(1);
        }
    }
    std::printf("Wrote %zu %s seeds to %s\n", seeds.size(), kind, argv[2]);
    std::exit(0);
}

}  // namespace fuzzsupport
