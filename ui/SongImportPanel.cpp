// "Add Song...": the audio-file dialog picks one song or its stems, a small
// window asks for the title and difficulty, then the import runs on a worker
// thread while this window shows its step and a Cancel button. The worker
// posts its result; the main thread adds the new level to the table and
// selects it. The frame loop never waits for the import, except at shut-down.
#include "base/Log.h"
#include "base/Mailbox.h"
#include "level/LevelCopies.h"
#include "level/LevelList.h"
#include "songimport/SongImport.h"
#include "ui/DialogFolders.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"

#include <SDL3/SDL_thread.h>
#include <imgui.h>
#include <misc/cpp/imgui_stdlib.h>

#include <cstdio>
#include <memory>
#include <thread>

namespace {

enum class Stage { Closed, Choosing, Naming, Working };

struct ImportedSong {
    SongImportResult result;
    std::string      copyOf;  // an installed level with the same charts and stems
};

struct SongImportUi {
    Stage                                      stage = Stage::Closed;
    std::vector<std::string>                   files;
    std::string                                title;
    int                                        difficulty = 1;  // Easy, Normal, Hard
    std::shared_ptr<ImportProgress>            progress;
    std::shared_ptr<Mailbox<ImportedSong>>     results;
    std::thread                                worker;
    std::string                                message;  // the last import's outcome, under the table
};

SongImportUi songImport;

constexpr const char* kDifficulties[] = {"Easy", "Normal", "Hard"};

std::string joinedNames(const std::vector<std::string>& files) {
    std::string names;
    for (const std::string& file : files) names += (names.empty() ? "" : ", ") + file;
    return names;
}

void startImport() {
    base::logInfo("Importing song \"%s\" from %s", songImport.title.c_str(), joinedNames(songImport.files).c_str());
    SongImportRequest request;
    request.files       = songImport.files;
    request.title       = songImport.title;
    request.difficulty  = static_cast<Difficulty>(songImport.difficulty);
    request.levelsDir   = "levels";
    songImport.progress = std::make_shared<ImportProgress>();
    songImport.results  = std::make_shared<Mailbox<ImportedSong>>();
    songImport.worker   = std::thread([request, progress = songImport.progress, results = songImport.results] {
        ImportedSong song{importSong(request, *progress), {}};
        if (song.result.ok) song.copyOf = installedCopyOf(request.levelsDir, song.result.level.file);
        results->post(std::move(song));
        SDL_CleanupTLS();  // a failed file load leaves its error text in this thread's storage
    });
    songImport.stage    = Stage::Working;
}

void takeChosenFiles() {
    if (audioFileDialog.hasSelected()) {
        songImport.files = audioFileDialog.selectedPaths();
        audioFileDialog.clearSelection();
        songImport.title = defaultSongTitle(songImport.files.front());
        songImport.stage = Stage::Naming;
        base::logInfo("Song files chosen, in this order: %s", joinedNames(songImport.files).c_str());
    } else if (!audioFileDialog.isOpen()) {
        songImport.stage = Stage::Closed;
    }
}

// Over the level table's column, clear of the menu buttons' labels (drawn above every window).
bool beginColumnWindow(const char* title) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(
        ImVec2(viewport->WorkPos.x + viewport->WorkSize.x * 0.6875f, viewport->WorkPos.y + viewport->WorkSize.y * 0.5f),
        ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(700.0f * uiScale, 0.0f));
    ImGui::SetNextWindowFocus();
    return ImGui::Begin(title, nullptr,
                        ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                            ImGuiWindowFlags_NoSavedSettings);
}

void drawNamingWindow() {
    if (beginColumnWindow("Add Song")) {
        ImGui::Text(
            songImport.files.size() == 1 ? "One song: split into three layers" : "%zu stems, in the order picked",
            songImport.files.size());
        // Ready for typing: the first key replaces the default title.
        if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
        ImGui::InputText("Title", &songImport.title, ImGuiInputTextFlags_AutoSelectAll);
        ImGui::Combo("Difficulty", &songImport.difficulty, kDifficulties, 3);
        if (ImGui::Button("Import")) startImport();
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGuiKey_Escape, false)) songImport.stage = Stage::Closed;
    }
    ImGui::End();
}

void finishImport(const ImportedSong& song) {
    const SongImportResult& result = song.result;
    songImport.worker.join();
    songImport.stage   = Stage::Closed;
    songImport.message = result.message;
    if (!result.ok) {
        base::logError("%s", result.message.c_str());
        return;
    }
    addImportedLevel(result.level, song.copyOf);
}

void drawWorkingWindow() {
    for (const ImportedSong& song : songImport.results->takeAll()) {
        finishImport(song);
        return;
    }
    if (beginColumnWindow("Add Song")) {
        ImGui::TextUnformatted(songImport.progress->step().c_str());
        ImGui::ProgressBar(songImport.progress->fraction(), ImVec2(-1.0f, 0.0f));
        const bool cancelling = songImport.progress->cancelled();
        ImGui::BeginDisabled(cancelling);
        if (ImGui::Button(cancelling ? "Cancelling..." : "Cancel") || ImGui::IsKeyPressed(ImGuiKey_Escape, false))
            songImport.progress->cancel();
        ImGui::EndDisabled();
    }
    ImGui::End();
}

}  // namespace

void openSongImport() {
    if (songImport.stage != Stage::Closed) return;
    songImport.message.clear();
    openDialogAtRememberedFolder(audioFileDialog);
    songImport.stage = Stage::Choosing;
}

void drawSongImport() {
    switch (songImport.stage) {
    case Stage::Closed: break;
    case Stage::Choosing: takeChosenFiles(); break;
    case Stage::Naming: drawNamingWindow(); break;
    case Stage::Working: drawWorkingWindow(); break;
    }
}

const std::string& songImportMessage() { return songImport.message; }

bool songImportWindowOpen() { return songImport.stage == Stage::Naming || songImport.stage == Stage::Working; }

void stopSongImport() {
    if (!songImport.worker.joinable()) return;
    songImport.progress->cancel();
    songImport.worker.join();
}
