#include "import/PackageCommands.h"

#include "level/LevelList.h"
#include "level/PackageImport.h"

#include <filesystem>

int runPackageImport(const std::string& levelsDir, const std::string& source) {
    // The game's shaders/ folder sits beside its levels/ folder.
    const std::filesystem::path vertexShader =
        std::filesystem::absolute(levelsDir).lexically_normal().parent_path() / "shaders" / "fullscreen.vert";
    LevelInfo   installed;
    std::string error;
    return importPackage(source, levelsDir, vertexShader.string(), installed, error) ? 0 : 1;
}

int runPackageExport(const std::string& levelsDir, const std::string& folder, const std::string& zipPath) {
    std::string error;
    return exportPackage(levelsDir, folder, zipPath, error) ? 0 : 1;
}
