#include "ui/DialogFolders.h"

#include "persistence/Prefs.h"
#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"
#include "ui/filebrowser/FilePaths.h"

#include <SDL3/SDL_filesystem.h>

#include <filesystem>
#include <string>

namespace {

enum class FirstFolder { music, game };

struct DialogFolder {
    FileBrowser& dialog;
    const char*  key;
    FirstFolder  first;
    std::string  kept;  // what prefs.json holds, as far as this run knows
};

DialogFolder dialogFolders[] = {
    {audioFileDialog, "songDialogFolder", FirstFolder::music, {}},
    {levelPackageDialog, "packageDialogFolder", FirstFolder::game, {}},
    {exportFolderDialog, "exportDialogFolder", FirstFolder::game, {}},
};

bool isFolder(const std::string& path) {
    return !path.empty() && filebrowser::pathType(path) == filebrowser::PathType::directory;
}

std::string userFolder(SDL_Folder folder) {
    const char* path = SDL_GetUserFolder(folder);
    return path ? path : "";
}

std::string firstFolder(FirstFolder first) {
    if (first == FirstFolder::game) return std::filesystem::current_path().string();
    const std::string home = userFolder(SDL_FOLDER_HOME);
    // SDL names the Music folder only where the desktop's user folders say it.
    for (const std::string& music : {userFolder(SDL_FOLDER_MUSIC), filebrowser::joinPath(home, "Music")})
        if (!home.empty() && isFolder(music)) return music;
    return isFolder(home) ? home : std::filesystem::current_path().string();
}

DialogFolder* folderOf(const FileBrowser& dialog) {
    for (DialogFolder& folder : dialogFolders)
        if (&folder.dialog == &dialog) return &folder;
    return nullptr;
}

}  // namespace

void openDialogAtRememberedFolder(FileBrowser& dialog) {
    if (DialogFolder* folder = folderOf(dialog)) {
        folder->kept             = Prefs::loadFolder(folder->key);
        const std::string wanted = isFolder(folder->kept) ? folder->kept : firstFolder(folder->first);
        dialog.setDirectory(wanted);
    }
    dialog.open();
}

void rememberDialogFolders() {
    for (DialogFolder& folder : dialogFolders) {
        if (!folder.dialog.isOpen() || folder.dialog.directory() == folder.kept) continue;
        folder.kept = folder.dialog.directory();
        Prefs::saveFolder(folder.key, folder.kept);
    }
}
