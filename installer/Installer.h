// The installer logic: start-up discovery of the products with the termination of
// their running instances, and the installation run that writes the language packs.
#pragma once

#include "Catalogue.h"
#include "InstallerPorts.h"
#include "PlatformServices.h"

#include <array>
#include <string>
#include <string_view>

struct InstallState {
    // Per product, indexed like kProducts: empty when not found, otherwise ending in
    // "\" (or ":" for a bare drive).
    std::array<std::string, kProducts.size()> installFolder;
    int progressRange = 0;
    int errorCount = 0;
};

struct KillResult {
    int terminated = 0;    // instances whose termination took effect
    int stillRunning = 0;  // instances found but not terminated
};

// The folder part of a "Path" value: up to and including its last "\" or ":";
// empty when it has neither.
std::string InstallFolderFromPath(std::string_view path);

// The text of the box that closes a run.
std::string InstallationSummary(int errorCount);

// The error box shows a message with a full stop added when it ends in a character
// above ".": a letter, a digit, a colon.
std::string ErrorBoxText(std::string_view message);

class Installer {
public:
    Installer(PlatformServices& platform, LogSink& log, InstallerView& view);

    // Start-up discovery: reads both "Path" values, terminates the running instances of
    // every product found, and appends one report block per product.
    void DiscoverProducts();

    // The installation run behind the Install button.
    void RunInstallation();

    // Writes one payload to one file, logs it as OK or Error and steps the progress bar.
    void ExtractFileFromExe(std::string_view payloadName, const std::string& targetPath);

    // Terminates every running instance whose top-level window has this class and title:
    // at most 32 windows, none begun after 15 s; a window left then counts as still running.
    KillResult KillApp(std::string_view windowClass, std::string_view windowTitle);

    const InstallState& State() const { return state_; }

private:
    PlatformServices& platform_;
    LogSink& log_;
    InstallerView& view_;
    InstallState state_;
};
