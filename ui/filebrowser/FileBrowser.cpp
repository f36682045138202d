#include "ui/filebrowser/FileBrowser.h"

#include "ui/filebrowser/FilePaths.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_filesystem.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>

using filebrowser::PathType;

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

FileBrowserEntry makeEntry(const std::string& name, bool isDirectory) {
    FileBrowserEntry entry;
    entry.isDirectory = isDirectory;
    entry.name        = name;
    entry.displayName = (isDirectory ? "[D] " : "[F] ") + name;
    const size_t dot  = name.rfind('.');
    if (dot != std::string::npos) entry.extension = name.substr(dot);
    return entry;
}

// Each byte weighs twice its (signed) value, capitals one more than that: names
// sort case-insensitively, "a" just before "A", "A" before "b".
int sortWeight(char byte) {
    const int value = static_cast<signed char>(byte);
    return byte >= 'A' && byte <= 'Z' ? 2 * value + 65 : 2 * value;
}

bool sortsBefore(const FileBrowserEntry& a, const FileBrowserEntry& b) {
    if (a.isDirectory != b.isDirectory) return a.isDirectory;
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return sortWeight(x) < sortWeight(y); });
}

struct Listing {
    const std::string&             directory;
    bool                           skipBadEntries;
    std::vector<FileBrowserEntry>& entries;
    std::string&                   status;
};

// An entry SDL can tell nothing about (a dangling link, a name gone since the
// listing began) is a bad one.
SDL_EnumerationResult SDLCALL addEntry(void* userdata, const char*, const char* name) {
    Listing& listing = *static_cast<Listing*>(userdata);
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return SDL_ENUM_CONTINUE;
    try {
        const PathType type = filebrowser::pathType(filebrowser::joinPath(listing.directory, name));
        if (type != PathType::notAccessible) {
            listing.entries.push_back(makeEntry(name, type == PathType::directory));
            return SDL_ENUM_CONTINUE;
        }
        if (listing.skipBadEntries) return SDL_ENUM_CONTINUE;
        listing.status = std::string("Error processing path: ") + name;
    } catch (...) {
        // Nothing may unwind through SDL's C frames: the listing ends here.
    }
    return SDL_ENUM_FAILURE;
}

std::string baseDirectory() {
    const char* base = SDL_GetBasePath();
    return base ? base : ".";
}

float buttonWidth(const char* label) { return ImGui::CalcTextSize(label).x + 2.0f * ImGui::GetStyle().FramePadding.x; }

}  // namespace

FileBrowser::FileBrowser() : title_("file browser") {}

FileBrowser::FileBrowser(int flags, const std::string& startDirectory) : flags_(flags), title_("file browser") {
    setDirectory(startDirectory);
    drives_ = filebrowser::driveMask();
}

std::string FileBrowser::windowId() const {
    return title_ + "##filebrowser_" + std::to_string(reinterpret_cast<uintptr_t>(this));
}

std::string FileBrowser::newDirectoryPopupId() const {
    return "new dir##new_dir_" + std::to_string(reinterpret_cast<uintptr_t>(this));
}

void FileBrowser::setTitle(const std::string& title) { title_ = title; }

void FileBrowser::setSize(int width, int height) {
    width_  = width;
    height_ = height;
}

void FileBrowser::setPosition(int x, int y) {
    positionX_   = x;
    positionY_   = y;
    positionSet_ = true;
}

void FileBrowser::setTypeFilters(const std::vector<std::string>& extensions) {
    typeFilters_.clear();
    for (const std::string& extension : extensions) {
        const std::string lower = lowerCase(extension);
        if (std::find(typeFilters_.begin(), typeFilters_.end(), lower) == typeFilters_.end()) {
            typeFilters_.push_back(lower);
        }
    }
    hasCombinedFilter_ =
        typeFilters_.size() >= 2 && std::find(typeFilters_.begin(), typeFilters_.end(), ".*") == typeFilters_.end();
    if (hasCombinedFilter_) {
        std::string combined;
        for (const std::string& filter : typeFilters_) combined += (combined.empty() ? "" : ",") + filter;
        typeFilters_.insert(typeFilters_.begin(), combined);
    }
    filterIndex_ = 0;
    resetRangeStart();
}

bool FileBrowser::matchesFilter(const std::string& extension) const {
    if (typeFilters_.empty()) return true;
    const std::string lower   = lowerCase(extension);
    const auto        matches = [&lower](const std::string& filter) { return filter == ".*" || filter == lower; };
    if (hasCombinedFilter_ && filterIndex_ == 0)
        return std::any_of(typeFilters_.begin() + 1, typeFilters_.end(), matches);
    return matches(typeFilters_[filterIndex_]);
}

// A folder that cannot be listed is never kept: the dialog stays where it
// was (when it was anywhere) and says why in its status line.
void FileBrowser::setDirectory(const std::string& directory) {
    const std::string previous = currentDirectory_;
    std::string       error;
    try {
        currentDirectory_ = directory.empty() ? baseDirectory() : directory;
        if (!refreshEntries() && !previous.empty() && previous != currentDirectory_) {
            const std::string reason = status_;
            currentDirectory_        = previous;
            refreshEntries();
            status_ = reason;
            return;
        }
        selection_.clear();
        fileNameField_.clear();
        scrollToTop_ = true;
        return;
    } catch (const std::exception& exception) {
        error = exception.what();
    } catch (...) {
        error = "unknown error";
    }
    currentDirectory_ = previous;
    refreshEntries();
    status_ = "error: " + error;
}

void FileBrowser::enterPath(const std::string& path) {
    if (filebrowser::pathType(path) == PathType::directory) {
        setDirectory(path);
        return;
    }
    const std::string parent = filebrowser::parentPath(path);
    if (!parent.empty() && filebrowser::pathType(parent) == PathType::directory) {
        setDirectory(parent);
        return;
    }
    status_ = "[" + path + "] is not a valid directory";
}

bool FileBrowser::refreshEntries() {
    entries_.assign(1, makeEntry("..", true));
    status_.clear();
    SDL_ClearError();
    Listing    listing{currentDirectory_, has(skipBadEntries), entries_, status_};
    const bool listed = filebrowser::enumerateDirectory(currentDirectory_, addEntry, &listing);
    if (!listed && status_.empty()) {
        const std::string error = SDL_GetError();
        if (!error.empty()) status_ = "Can't open directory: " + error;
    }
    if (entries_.size() > 2) std::sort(entries_.begin() + 1, entries_.end(), sortsBefore);
    resetRangeStart();
    return listed;
}

void FileBrowser::open() {
    openRequest_ = true;
    confirmed_   = false;
}

void FileBrowser::close() { closeRequest_ = true; }

std::vector<std::string> FileBrowser::selectedPaths() const {
    if (selection_.empty() && has(selectDirectory)) return {currentDirectory_};
    std::vector<std::string> paths;
    for (const std::string& name : selection_) paths.push_back(filebrowser::joinPath(currentDirectory_, name));
    return paths;
}

void FileBrowser::clearSelection() {
    selection_.clear();
    fileNameField_.clear();
    confirmed_ = false;
}

bool FileBrowser::isSelectable(const FileBrowserEntry& entry) const {
    if (entry.name == "..") return false;
    if (has(selectDirectory)) return entry.isDirectory;
    return !entry.isDirectory && matchesFilter(entry.extension);
}

bool FileBrowser::isListed(const FileBrowserEntry& entry) const {
    if (!entry.isDirectory && has(selectDirectory) && has(hideFiles)) return false;
    if (!entry.isDirectory && !matchesFilter(entry.extension)) return false;
    return entry.name.empty() || entry.name[0] != '$';
}

void FileBrowser::resetRangeStart() {
    rangeStart_ = kNoRangeStart;
    for (unsigned i = 1; i < entries_.size(); ++i) {
        if (isSelectable(entries_[i])) {
            rangeStart_ = i;
            return;
        }
    }
}

void FileBrowser::keepSelectionThatExists() {
    const auto gone = [this](const std::string& name) {
        return std::none_of(entries_.begin(), entries_.end(), [&](const FileBrowserEntry& entry) {
            return entry.name == name && isListed(entry) && isSelectable(entry);
        });
    };
    std::erase_if(selection_, gone);
}

void FileBrowser::refreshKeepingSelection() {
    drives_ = filebrowser::driveMask();
    refreshEntries();
    keepSelectionThatExists();
    // A typed name need not exist yet (a file about to be written).
    if (has(enterFileName) && !fileNameField_.empty()) selection_ = {fileNameField_};
}

void FileBrowser::selectRange(unsigned from, unsigned to) {
    selection_.clear();
    for (unsigned i = std::min(from, to); i <= std::max(from, to) && i < entries_.size(); ++i) {
        if (isListed(entries_[i]) && isSelectable(entries_[i])) selection_.push_back(entries_[i].name);
    }
}

bool FileBrowser::isSelected(const std::string& name) const {
    return std::find(selection_.begin(), selection_.end(), name) != selection_.end();
}

void FileBrowser::toggleSelected(const std::string& name) {
    if (std::erase(selection_, name) == 0) selection_.push_back(name);
}

// With several picked, each shows its place in the order, at the right of its row.
void FileBrowser::drawPickOrder(const std::string& name) const {
    if (selection_.size() < 2) return;
    const auto at = std::find(selection_.begin(), selection_.end(), name);
    if (at == selection_.end()) return;
    const std::string place = std::to_string(at - selection_.begin() + 1);
    const ImVec2      max   = ImGui::GetItemRectMax();
    const ImVec2      min   = ImGui::GetItemRectMin();
    const float       x     = max.x - ImGui::CalcTextSize(place.c_str()).x - ImGui::GetStyle().ItemSpacing.x;
    ImGui::GetWindowDrawList()->AddText(ImVec2(x, min.y), ImGui::GetColorU32(ImGuiCol_Text), place.c_str());
}

bool FileBrowser::hasFocus() const {
    // The new-folder popup is a window of its own: keys typed there stay there.
    return ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows | ImGuiFocusedFlags_NoPopupHierarchy);
}

void FileBrowser::closeConfirmed() {
    confirmed_ = true;
    ImGui::CloseCurrentPopup();
}

void FileBrowser::display() {
    ImGui::PushID(this);
    const std::string id = windowId();
    isOpen_              = false;
    if (openRequest_) ImGui::OpenPopup(id.c_str());
    const ImVec2    size(static_cast<float>(width_), static_cast<float>(height_));
    const ImGuiCond when = openRequest_ && has(nonModal) ? ImGuiCond_Always : ImGuiCond_Appearing;
    if (has(nonModal)) {
        // A plain popup always fits its content; the constraint keeps it at our size.
        ImGui::SetNextWindowSizeConstraints(size, size);
    } else {
        ImGui::SetNextWindowSize(size, when);
    }
    if (positionSet_)
        ImGui::SetNextWindowPos(ImVec2(static_cast<float>(positionX_), static_cast<float>(positionY_)), when);

    const bool visible =
        has(nonModal) ? ImGui::BeginPopup(id.c_str())
                      : ImGui::BeginPopupModal(id.c_str(), nullptr, has(noTitleBar) ? ImGuiWindowFlags_NoTitleBar : 0);
    if (visible) {
        isOpen_ = true;
        drawPathRow();
        drawList();
        if (has(enterFileName)) drawFileNameField();
        if (has(multiSelect)) handleSelectAllShortcut();
        drawBottomRow();
        ImGui::EndPopup();
    }
    openRequest_  = false;
    closeRequest_ = false;
    ImGui::PopID();
}

void FileBrowser::drawPathRow() {
    if (editingPath_) {
        drawPathEditor();
    } else {
        if (drives_ != 0) {
            drawDriveCombo();
            ImGui::SameLine();
        }
        drawComponentButtons();
        if (has(editablePath)) {
            ImGui::SameLine();
            if (ImGui::Button("#")) {
                pathEditBuffer_  = currentDirectory_;
                editingPath_     = true;
                focusPathEditor_ = true;
            }
            ImGui::SetItemTooltip("Edit the current path");
        }
    }
    ImGui::SameLine();
    if (ImGui::Button("*")) refreshKeepingSelection();
    ImGui::SetItemTooltip("Refresh");
    if (has(allowNewDirectory)) {
        ImGui::SameLine();
        drawNewDirectoryButton();
    }
}

void FileBrowser::drawPathEditor() {
    // The field leaves room for the buttons that follow it on the row.
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    float       buttons = buttonWidth("*") + spacing;
    if (has(allowNewDirectory)) buttons += buttonWidth("+") + spacing;
    ImGui::SetNextItemWidth(-buttons);
    if (focusPathEditor_) {
        ImGui::SetKeyboardFocusHere();
        focusPathEditor_ = false;
    }
    const bool entered = ImGui::InputText("##directory", &pathEditBuffer_,
                                          ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::IsItemDeactivated()) editingPath_ = false;
    if (entered) enterPath(pathEditBuffer_);
}

void FileBrowser::drawDriveCombo() {
    const char current = currentDirectory_.empty() ? '\0' : static_cast<char>(std::toupper(currentDirectory_[0]));
    const std::string preview = current ? std::string(1, current) + ":" : std::string();
    ImGui::SetNextItemWidth(4.0f * ImGui::GetFontSize());
    if (!ImGui::BeginCombo("##select_drive", preview.c_str())) return;
    for (int letter = 0; letter < 26; ++letter) {
        if ((drives_ & (1u << letter)) == 0) continue;
        const char        drive = static_cast<char>('A' + letter);
        const std::string label = std::string(1, drive) + ":";
        if (ImGui::Selectable(label.c_str(), drive == current) && drive != current) setDirectory(label + "\\");
    }
    ImGui::EndCombo();
}

void FileBrowser::drawComponentButtons() {
    std::string                                   target;
    const std::vector<filebrowser::PathComponent> components = filebrowser::pathComponents(currentDirectory_);
    for (size_t i = 0; i < components.size(); ++i) {
        if (i > 0) ImGui::SameLine();
        ImGui::PushID(static_cast<int>(i));
        if (ImGui::Button(components[i].label.c_str())) target = components[i].path;
        ImGui::PopID();
    }
    if (!target.empty()) setDirectory(target);
}

void FileBrowser::drawNewDirectoryButton() {
    const std::string popupId = newDirectoryPopupId();
    if (ImGui::Button("+")) {
        newDirectoryName_.fill('\0');
        ImGui::OpenPopup(popupId.c_str());
    }
    ImGui::SetItemTooltip("Create a new directory");
    if (!ImGui::BeginPopup(popupId.c_str())) return;
    if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
    // A popup sizes itself to its content: without a width the field would be a sliver.
    ImGui::SetNextItemWidth(12.0f * ImGui::GetFontSize());
    const bool entered = ImGui::InputText("name", newDirectoryName_.data(), newDirectoryName_.size(),
                                          ImGuiInputTextFlags_EnterReturnsTrue);
    if ((ImGui::Button("ok") || entered) && newDirectoryName_[0] != '\0') {
        createDirectory();
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

void FileBrowser::createDirectory() {
    const std::string name = newDirectoryName_.data();
    const std::string path = filebrowser::joinPath(currentDirectory_, name);
    if (SDL_CreateDirectory(path.c_str())) {
        setDirectory(path);  // a new folder is made to put something in
    } else {
        status_ = "failed to create " + name + ": " + SDL_GetError();
    }
}

void FileBrowser::drawList() {
    const int   rowsBelow  = has(enterFileName) ? 2 : 1;
    const float statusLine = has(noStatusLine) ? 0.0f : ImGui::GetTextLineHeightWithSpacing();
    const ImVec2 size(0.0f, -rowsBelow * ImGui::GetFrameHeightWithSpacing() - statusLine);
    ImGui::BeginChild("ch", size, ImGuiChildFlags_Borders,
                      has(nonModal) ? ImGuiWindowFlags_AlwaysHorizontalScrollbar : 0);
    // A folder just entered shows its top, ".." first.
    if (scrollToTop_) ImGui::SetScrollY(0.0f);
    scrollToTop_ = false;
    std::string enterDirectory;
    bool        confirmFile = false;
    for (unsigned i = 0; i < entries_.size(); ++i) {
        const FileBrowserEntry& entry = entries_[i];
        if (!isListed(entry)) continue;
        if (ImGui::Selectable(entry.displayName.c_str(), isSelected(entry.name),
                              ImGuiSelectableFlags_AllowDoubleClick)) {
            clickEntry(i);
        }
        drawPickOrder(entry.name);
        const bool activated = ImGui::IsItemHovered() && (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left) ||
                                                          ImGui::IsKeyPressed(ImGuiKey_GamepadFaceDown, false));
        if (!activated) continue;
        if (entry.isDirectory) {
            enterDirectory = entry.name == ".." ? filebrowser::parentPath(currentDirectory_)
                                                : filebrowser::joinPath(currentDirectory_, entry.name);
        } else if (!has(selectDirectory)) {
            selection_  = {entry.name};
            confirmFile = true;
        }
    }
    ImGui::EndChild();
    if (!enterDirectory.empty()) setDirectory(enterDirectory);
    if (confirmFile) closeConfirmed();
}

void FileBrowser::clickEntry(unsigned index) {
    const FileBrowserEntry& entry = entries_[index];
    if (!isSelectable(entry)) return;
    const ImGuiIO& io = ImGui::GetIO();
    if (has(multiSelect) && io.KeyShift && rangeStart_ != kNoRangeStart) {
        selectRange(rangeStart_, index);
    } else if (has(multiSelect) && io.KeyCtrl) {
        toggleSelected(entry.name);
        rangeStart_ = index;
    } else {
        selection_  = {entry.name};
        rangeStart_ = index;
    }
    if (has(enterFileName)) fileNameField_ = entry.name;
}

void FileBrowser::drawFileNameField() {
    ImGui::SetNextItemWidth(-FLT_MIN);
    if (ImGui::InputText("##filename", &fileNameField_) && !fileNameField_.empty()) selection_ = {fileNameField_};
}

void FileBrowser::handleSelectAllShortcut() {
    // Inside a text field Ctrl+A selects its text instead.
    if (ImGui::GetIO().WantTextInput || !hasFocus()) return;
    const bool ctrl = ImGui::IsKeyDown(ImGuiKey_LeftCtrl) || ImGui::IsKeyDown(ImGuiKey_RightCtrl);
    if (ctrl && ImGui::IsKeyPressed(ImGuiKey_A, false)) selectRange(0, static_cast<unsigned>(entries_.size()));
}

void FileBrowser::drawBottomRow() {
    const bool focused = hasFocus();
    const bool enter   = ImGui::IsKeyPressed(ImGuiKey_Enter, false) || ImGui::IsKeyPressed(ImGuiKey_KeypadEnter, false);
    const bool confirm = ImGui::Button(" ok ") || (has(confirmOnEnter) && focused && !editingPath_ && enter);
    if (confirm && (has(selectDirectory) || !selection_.empty())) closeConfirmed();
    ImGui::SameLine();
    const bool cancel = ImGui::Button("cancel") || closeRequest_ ||
                        (has(closeOnEscape) && focused && ImGui::IsKeyPressed(ImGuiKey_Escape, false));
    if (cancel) ImGui::CloseCurrentPopup();
    if (!typeFilters_.empty()) {
        ImGui::SameLine();
        drawFilterCombo();
    }
    // A line of its own, so that a long reason is read whole.
    if (!has(noStatusLine)) ImGui::TextWrapped("%s", status_.c_str());
}

void FileBrowser::drawFilterCombo() {
    ImGui::SetNextItemWidth(8.0f * ImGui::GetFontSize());
    if (!ImGui::BeginCombo("##type_filters", typeFilters_[filterIndex_].c_str())) return;
    for (unsigned i = 0; i < typeFilters_.size(); ++i) {
        if (ImGui::Selectable(typeFilters_[i].c_str(), i == filterIndex_) && i != filterIndex_) {
            filterIndex_ = i;
            // What the new filter hides is no longer chosen.
            keepSelectionThatExists();
            resetRangeStart();
        }
    }
    ImGui::EndCombo();
}
