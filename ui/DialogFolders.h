// Where the game's file dialogs open: each in the folder it was last in, kept
// in prefs.json under its own key across restarts; the first time, "Add
// Song..." in the player's Music folder (else home) and the package dialogs in
// the game's folder. A folder that cannot be listed is never kept (the dialog
// refuses it). Main thread only, inside the GUI frame.
#pragma once

class FileBrowser;

void openDialogAtRememberedFolder(FileBrowser& dialog);
void rememberDialogFolders();  // after the dialogs are displayed: a folder entered is kept
