// "Import Package...": the chosen package is checked and installed on a worker
// thread (every stem decodes, the shader runs once in a child process), while
// the menu shows the step and a progress bar under the package buttons and the
// frame loop goes on. The worker posts its result; the main thread adds the new
// level to the table and selects it. Cancel (and quitting) stop the import at
// its next file; only the shut-down waits for the worker, that long.
#include "base/Mailbox.h"
#include "level/LevelCopies.h"
#include "level/LevelList.h"
#include "level/PackageImport.h"
#include "level/ShaderCheck.h"
#include "songimport/SongImport.h"
#include "ui/Gui.h"

#include <SDL3/SDL_thread.h>
#include <imgui.h>

#include <memory>
#include <thread>

namespace {

struct PackageImportResult {
    bool        ok = false;
    LevelInfo   level;
    std::string error;
    std::string copyOf;  // an installed level with the same charts and stems
};

struct PackageImportUi {
    std::thread                                   worker;
    std::shared_ptr<ImportProgress>               progress;
    std::shared_ptr<Mailbox<PackageImportResult>> results;
    std::string                                   message;  // what the last import came to
};

PackageImportUi packageImport;

void finishPackageImport(const PackageImportResult& result) {
    packageImport.worker.join();
    if (!result.ok) {
        packageImport.message = result.error;
        return;
    }
    addImportedLevel(result.level, result.copyOf);
    packageImport.message = "Imported \"" + result.level.name + "\"";
}

}  // namespace

void startPackageImport(const std::string& source) {
    if (packageImportRunning()) return;
    packageImport.message  = {};
    packageImport.progress = std::make_shared<ImportProgress>();
    packageImport.results  = std::make_shared<Mailbox<PackageImportResult>>();
    packageImport.worker   = std::thread([source, progress = packageImport.progress, results = packageImport.results] {
        PackageImportResult result;
        const auto          steps = [&progress](const std::string& step, float fraction) {
            progress->report(step, fraction);
            return !progress->cancelled();
        };
        result.ok = importPackage(source, "levels", kBackgroundVertexShader, result.level, result.error, steps);
        if (result.ok) result.copyOf = installedCopyOf("levels", result.level.file);
        results->post(std::move(result));
        SDL_CleanupTLS();  // a failed file load leaves its error text in this thread's storage
    });
}

bool packageImportRunning() { return packageImport.worker.joinable(); }

void drawPackageImportStatus() {
    if (packageImportRunning()) {
        for (const PackageImportResult& result : packageImport.results->takeAll()) finishPackageImport(result);
    }
    if (packageImportRunning()) {
        ImGui::Text("Importing the package: %s", packageImport.progress->step().c_str());
        ImGui::ProgressBar(packageImport.progress->fraction(), ImVec2(-1.0f, 0.0f));
        const bool cancelling = packageImport.progress->cancelled();
        ImGui::BeginDisabled(cancelling);
        if (ImGui::Button(cancelling ? "Cancelling...##package" : "Cancel##package")) packageImport.progress->cancel();
        ImGui::EndDisabled();
    } else if (!packageImport.message.empty()) {
        ImGui::TextWrapped("%s", packageImport.message.c_str());
    }
}

void forgetPackageImportMessage() { packageImport.message.clear(); }

void stopPackageImport() {
    if (!packageImport.worker.joinable()) return;
    packageImport.progress->cancel();
    packageImport.worker.join();
}
