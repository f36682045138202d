// The game's file dialogs, an audio-file chooser, a level-package chooser and
// a folder chooser for exported packages: set up with the GUI and displayed by
// the GUI dispatcher every frame; they stay closed until a screen calls open().
#pragma once

class FileBrowser;

extern FileBrowser audioFileDialog;
extern FileBrowser levelPackageDialog;
extern FileBrowser exportFolderDialog;
extern bool        audioFileDialogReady;
extern bool        levelPackageDialogReady;

void setUpFileDialogs();                 // in UISystem::init, after the style
void displayFileDialogs(float uiScale);  // in App::drawGui, inside the GUI frame
bool anyFileDialogOpen();                // Escape then closes the dialog, not the game
