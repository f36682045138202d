// The game's two file dialogs, an audio-file chooser and a level-package
// chooser: set up with the GUI and displayed by the GUI dispatcher every frame.
// No screen opens them yet, so they stay closed until one calls open().
#pragma once

class FileBrowser;

extern FileBrowser audioFileDialog;
extern FileBrowser levelPackageDialog;
extern bool        audioFileDialogReady;
extern bool        levelPackageDialogReady;

void setUpFileDialogs();                 // in UISystem::init, after the style
void displayFileDialogs(float uiScale);  // in App::drawGui, inside the GUI frame
