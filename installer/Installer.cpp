#include "Installer.h"


namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

// However many matching windows keep appearing (any program on the desktop can make them),
// the search acts on at most this many and starts on no new one after this time.
constexpr int kMostWindowsActedOn = 32;
constexpr std::chrono::milliseconds kSearchTime{15000};

}  // namespace

std::string InstallFolderFromPath(std::string_view path)
{
    const std::size_t separator = path.find_last_of("\\:");
    if (separator == std::string_view::npos)
        return {};
    return std::string(path.substr(0, separator + 1));
}

std::string InstallationSummary(int errorCount)
{
    std::string text = "Installation is finished.\r\n\r\n";
    if (errorCount == 0)
        return text + "There were no errors.";
    if (errorCount == 1)
        return text + "There was one error.";
    return text + "There were " + std::to_string(errorCount) + " errors.";
}

std::string ErrorBoxText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

Installer::Installer(PlatformServices& platform, LogSink& log, InstallerView& view)
    : platform_(platform), log_(log), view_(view)
{
}

KillResult Installer::KillApp(std::string_view windowClass, std::string_view windowTitle)
{
    KillResult result;
    WindowHandle last = kNoWindow;
    bool lastEnded = false;
    int actedOn = 0;
    const std::chrono::milliseconds began = platform_.Now();
    std::chrono::milliseconds actedAt{};
    for (;;) {
        const WindowHandle window = platform_.FindTopLevelWindow(windowClass, windowTitle);
        const bool searchOver = platform_.Now() - began >= kSearchTime;
        if (window != kNoWindow && window == last) {
            // The window we acted on is still there: wait a little for it to go away,
            // but give up on it, and on the search, once it has had its time.
            if (platform_.Now() - actedAt >= kTerminationWait || searchOver)
                return result;
            platform_.Pause(kPollInterval);
            continue;
        }
        if (last != kNoWindow && !lastEnded) {
            // It went away after all, later than the termination wait.
            --result.stillRunning;
            ++result.terminated;
        }
        if (window == kNoWindow)
            return result;
        if (actedOn == kMostWindowsActedOn || searchOver) {
            // What is left is not acted on and counts as still running.
            ++result.stillRunning;
            return result;
        }
        actedAt = platform_.Now();
        lastEnded = platform_.TerminateWindowProcess(window);
        ++(lastEnded ? result.terminated : result.stillRunning);
        ++actedOn;
        last = window;
    }
}

void Installer::DiscoverProducts()
{
    // Both values are read before anything is logged, so that a failing value leaves
    // the log as it was.
    for (std::size_t i = 0; i < kProducts.size(); ++i) {
        const ProductRecord& product = kProducts[i];
        if (const auto path = platform_.ReadMachineString(product.registryKey, product.registryValue))
            state_.installFolder[i] = InstallFolderFromPath(*path);
    }

    for (std::size_t i = 0; i < kProducts.size(); ++i) {
        const ProductRecord& product = kProducts[i];
        const std::string& folder = state_.installFolder[i];
        log_.AppendLine(product.logHeading);
        if (folder.empty()) {
            log_.AppendLine("\tInstallation path: Not found.");
            continue;
        }
        const KillResult killed = KillApp(product.windowClass, product.windowTitle);
        log_.AppendLine("\tInstances terminated: " + std::to_string(killed.terminated));
        if (killed.stillRunning > 0)
            log_.AppendLine("\tInstances still running: " + std::to_string(killed.stillRunning));
        // One step per file of the product's work list: the bar is full after its last file.
        state_.progressRange += static_cast<int>(WorkList(product).size());
        log_.AppendLine("\tInstallation path: " + folder);
        log_.AppendLine(kListingHeader);
        for (std::size_t l = 0; l < kLanguageCount; ++l) {
            if (product.receives[l])
                log_.AppendLine(kLanguages[l].listingLine);
        }
    }
}

void Installer::RunInstallation()
{
    view_.EnableInstallButton(false);
    view_.EnableCancelButton(false);
    log_.AppendLine("\r\nInstallation log:");
    view_.SetProgressMax(state_.progressRange);

    for (std::size_t i = 0; i < kProducts.size(); ++i) {
        const std::string& folder = state_.installFolder[i];
        if (folder.empty())
            continue;
        for (const WorkItem& item : WorkList(kProducts[i]))
            ExtractFileFromExe(item.payloadName, folder + item.targetName);
    }

    view_.SetCancelCaption("&Close");
    view_.EnableCancelButton(true);
    view_.ShowInformationBox(InstallationSummary(state_.errorCount));
}

void Installer::ExtractFileFromExe(std::string_view payloadName, const std::string& targetPath)
{
    // A missing payload is not this file's failure: it leaves the run.
    const PayloadBytes payload = platform_.OpenEmbeddedPayload(payloadName);
    if (platform_.WritePayloadToFile(payload, targetPath)) {
        log_.AppendLine("\"" + targetPath + "\" - OK");
    } else {
        log_.AppendLine("\"" + targetPath + "\" - Error");
        ++state_.errorCount;
    }
    if (view_.ProgressPosition() < view_.ProgressMax())
        view_.SetProgressPosition(view_.ProgressPosition() + 1);
    log_.ScrollToEnd();
}
