#include "ui/filebrowser/FileDialogs.h"

#include "ui/filebrowser/FileBrowser.h"

FileBrowser audioFileDialog;
FileBrowser levelPackageDialog;
FileBrowser exportFolderDialog;
bool        audioFileDialogReady    = false;
bool        levelPackageDialogReady = false;
bool        exportFolderDialogReady = false;

namespace {

constexpr int kWidth  = 700;
constexpr int kHeight = 450;

void setUp(FileBrowser& dialog, int flags, const char* title, const std::vector<std::string>& filters, bool& ready) {
    dialog = FileBrowser(flags);
    dialog.setSize(kWidth, kHeight);
    dialog.setTitle(title);
    dialog.setTypeFilters(filters);
    ready = true;
}

void display(FileBrowser& dialog, bool ready, float uiScale) {
    if (!ready) return;
    dialog.setSize(static_cast<int>(kWidth * uiScale), static_cast<int>(kHeight * uiScale));
    dialog.display();
}

}  // namespace

void setUpFileDialogs() {
    setUp(audioFileDialog, FileBrowser::closeOnEscape | FileBrowser::allowNewDirectory | FileBrowser::multiSelect,
          "Select Audio Files", {".wav", ".mp3", ".ogg", ".flac", ".aiff", ".m4a", ".wma"}, audioFileDialogReady);
    setUp(levelPackageDialog, FileBrowser::closeOnEscape | FileBrowser::allowNewDirectory, "Select Level Package",
          {".zip"}, levelPackageDialogReady);
    setUp(exportFolderDialog,
          FileBrowser::selectDirectory | FileBrowser::hideFiles | FileBrowser::closeOnEscape |
              FileBrowser::allowNewDirectory,
          "Select Export Folder", {}, exportFolderDialogReady);
}

void displayFileDialogs(float uiScale) {
    display(audioFileDialog, audioFileDialogReady, uiScale);
    display(levelPackageDialog, levelPackageDialogReady, uiScale);
    display(exportFolderDialog, exportFolderDialogReady, uiScale);
}

bool anyFileDialogOpen() {
    return audioFileDialog.isOpen() || levelPackageDialog.isOpen() || exportFolderDialog.isOpen();
}
