// A file and folder chooser drawn with Dear ImGui, listing folders through SDL's
// file-system calls. It shows itself as a popup only after open(); display()
// must run every frame inside a GUI frame, and the caller reads the confirmed
// choice with hasSelected() and selectedPaths(). Main thread only.
// Where the chooser sits in the game (the two process-wide dialogs) is
// FileDialogs.h; the path rules are FilePaths.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct FileBrowserEntry {
    bool        isDirectory = false;
    std::string name;
    std::string displayName;  // "[D] " or "[F] " + name
    std::string extension;    // from the last '.' of the name, dot included; "" without one
};

class FileBrowser {
public:
    enum Flag : int {
        selectDirectory   = 0x1,  // folders are chosen instead of files; "ok" needs no selection
        enterFileName     = 0x2,  // a file-name field under the list sets the selection
        nonModal          = 0x4,  // a plain popup; the list always shows a horizontal scrollbar
        noTitleBar        = 0x8,
        noStatusLine      = 0x10,
        closeOnEscape     = 0x20,
        allowNewDirectory = 0x40,   // "+" makes a folder
        multiSelect       = 0x80,   // Ctrl toggles, Shift selects a range, Ctrl+A selects all
        hideFiles         = 0x100,  // with selectDirectory: files are not listed
        confirmOnEnter    = 0x200,
        skipBadEntries    = 0x400,  // an entry that cannot be read is left out instead of ending the listing
        editablePath      = 0x800,  // "#" types the whole path
    };
    static constexpr unsigned kNoRangeStart = 9999999;

    FileBrowser();  // an unconfigured slot that lists nothing; assign a configured one
    explicit FileBrowser(int flags, const std::string& startDirectory = "");
    FileBrowser(FileBrowser&&)                 = default;
    FileBrowser& operator=(FileBrowser&&)      = default;
    FileBrowser(const FileBrowser&)            = delete;
    FileBrowser& operator=(const FileBrowser&) = delete;

    void setTitle(const std::string& title);  // the popups' ids follow it
    void setSize(int width, int height);      // taken when the popup appears
    void setPosition(int x, int y);
    // Lower-cased, repeats dropped; two or more (without ".*") get a combined entry first.
    void setTypeFilters(const std::vector<std::string>& extensions);
    // "" is the program's base folder ("." when SDL cannot tell it); clears the
    // selection. A folder that cannot be listed leaves the dialog where it was
    // (when it was anywhere), its status saying why.
    void setDirectory(const std::string& directory);
    // The typed folder, else the folder of a typed file, else a status saying it is no folder.
    void enterPath(const std::string& path);
    bool refreshEntries();  // lists and sorts the current folder; the selection stays; false: it could not be listed
    void display();

    void open();  // shows the popup from the next display(); forgets an earlier confirmation
    void close();
    bool isOpen() const { return isOpen_; }  // drawn by the last display()
    bool hasSelected() const { return confirmed_; }
    // The confirmed names joined to the folder; the folder itself for a folder
    // chooser confirmed with nothing selected.
    std::vector<std::string> selectedPaths() const;
    void                     clearSelection();

    int                                  flags() const { return flags_; }
    int                                  width() const { return width_; }
    int                                  height() const { return height_; }
    const std::string&                   title() const { return title_; }
    std::string                          windowId() const;  // title + an id unique to this object
    const std::string&                   directory() const { return currentDirectory_; }
    const std::string&                   status() const { return status_; }
    const std::vector<FileBrowserEntry>& entries() const { return entries_; }
    const std::vector<std::string>&      selection() const { return selection_; }  // in the order picked
    const std::vector<std::string>&      typeFilters() const { return typeFilters_; }
    bool                                 matchesFilter(const std::string& extension) const;  // by the chosen filter

private:
    bool        has(Flag flag) const { return (flags_ & flag) != 0; }
    std::string newDirectoryPopupId() const;
    bool        isSelectable(const FileBrowserEntry& entry) const;
    bool        isListed(const FileBrowserEntry& entry) const;
    void        resetRangeStart();
    void        keepSelectionThatExists();
    void        refreshKeepingSelection();
    void        selectRange(unsigned from, unsigned to);  // every listed, selectable entry in between
    bool        isSelected(const std::string& name) const;
    void        toggleSelected(const std::string& name);
    void        drawPickOrder(const std::string& name) const;
    bool        hasFocus() const;
    void        closeConfirmed();

    void drawPathRow();
    void drawPathEditor();
    void drawDriveCombo();
    void drawComponentButtons();
    void drawRefreshButton();
    void drawNewDirectoryButton();
    void createDirectory();
    void drawList();
    void clickEntry(unsigned index);
    void drawFileNameField();
    void handleSelectAllShortcut();
    void drawBottomRow();
    void drawFilterCombo();

    int         width_       = 700;
    int         height_      = 450;
    int         positionX_   = 0;
    int         positionY_   = 0;
    bool        positionSet_ = false;
    int         flags_       = 0;
    std::string title_;
    bool        openRequest_  = false;
    bool        closeRequest_ = false;
    bool        isOpen_       = false;
    bool        confirmed_    = false;
    std::string status_;

    std::vector<std::string> typeFilters_;
    unsigned                 filterIndex_       = 0;
    bool                     hasCombinedFilter_ = false;

    std::string                   currentDirectory_;
    std::vector<FileBrowserEntry> entries_;
    std::vector<std::string>      selection_;  // picking order: a song's stems unlock in it
    unsigned                      rangeStart_ = kNoRangeStart;

    std::array<char, 256> newDirectoryName_{};  // used with allowNewDirectory
    std::string           fileNameField_;       // used with enterFileName
    std::string           pathEditBuffer_;      // used with editablePath
    bool                  editingPath_     = false;
    bool                  focusPathEditor_ = false;
    bool                  scrollToTop_     = false;
    uint32_t              drives_          = 0;
};
