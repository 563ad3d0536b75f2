// In-memory stand-ins for the system services and the main window, so that the
// installer logic runs without Windows: a registry, windows owned by processes that
// may refuse to die, embedded payloads, a file system and a simulated clock.
#pragma once

#include "InstallerPorts.h"
#include "PlatformServices.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

enum class RegType { Sz, ExpandSz, MultiSz, Dword, Binary };

struct RegValue {
    RegType type = RegType::Sz;
    std::string data;  // raw bytes as stored, NULs included
    bool unreadable = false;  // the data cannot be read after its size was taken
};

struct FakeProcess {
    bool refusesToDie = false;  // cannot be opened for termination
    // How long its window lingers after the process was told to end.
    std::chrono::milliseconds windowLingers{0};
    // A decoy: each time one of its windows is acted on, that window closes and a new
    // matching one opens.
    bool replacesItsWindow = false;
    // How long the binding waits for it to end when told to terminate.
    std::chrono::milliseconds terminationTakes{0};
    bool alive = true;
    std::chrono::milliseconds endedAt{0};
};

struct FakeWindow {
    WindowHandle handle;
    std::string windowClass;
    std::string title;
    int process;
    // The instance quits by itself at this time, if set.
    std::chrono::milliseconds quitsAt{-1};
};

struct FakeFile {
    std::string bytes;
    bool locked = false;    // held open without sharing by another program
    bool readOnly = false;
};

inline bool SameText(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

class FakePlatform : public PlatformServices {
public:
    // --- setup
    void SetValue(const std::string& key, const std::string& value, RegValue data) { registry[key + "|" + value] = std::move(data); }
    void SetPath(const std::string& key, const std::string& path) { SetValue(key, "Path", {RegType::Sz, path + '\0'}); }

    int StartProcess(FakeProcess process = {})
    {
        processes.push_back(process);
        return static_cast<int>(processes.size()) - 1;
    }
    WindowHandle OpenWindow(int process, std::string windowClass, std::string title, std::chrono::milliseconds quitsAt = std::chrono::milliseconds{-1})
    {
        windows.push_back({nextWindow, std::move(windowClass), std::move(title), process, quitsAt});
        return nextWindow++;
    }
    // A running instance of a product: one process with one window.
    int StartInstance(const std::string& windowClass, const std::string& title, FakeProcess process = {})
    {
        const int id = StartProcess(process);
        OpenWindow(id, windowClass, title);
        return id;
    }

    // --- PlatformServices
    std::optional<std::string> ReadMachineString(std::string_view keyPath, std::string_view valueName) override
    {
        const auto found = registry.find(std::string(keyPath) + "|" + std::string(valueName));
        if (found == registry.end())
            return std::nullopt;
        const RegValue& value = found->second;
        if (value.data.empty())
            return std::string();
        if (value.type != RegType::Sz && value.type != RegType::ExpandSz)
            throw PlatformError("Invalid data type for '" + std::string(valueName) + "'");
        if (value.unreadable)
            throw PlatformError("Failed to get data for '" + std::string(valueName) + "'");
        return value.data.substr(0, value.data.find('\0'));
    }

    WindowHandle FindTopLevelWindow(std::string_view windowClass, std::string_view title) override
    {
        ++findCalls;
        for (const FakeWindow& window : windows) {
            if (WindowExists(window) && SameText(window.windowClass, windowClass) && SameText(window.title, title))
                return window.handle;
        }
        return kNoWindow;
    }

    bool TerminateWindowProcess(WindowHandle handle) override
    {
        const auto window = std::ranges::find(windows, handle, &FakeWindow::handle);
        if (window == windows.end() || !WindowExists(*window))
            return true;
        FakeProcess& process = processes[window->process];
        terminated.push_back(window->process);
        clock += process.terminationTakes;
        if (process.replacesItsWindow) {
            window->quitsAt = clock;
            const FakeWindow old = *window;  // the push below may move the windows
            OpenWindow(old.process, old.windowClass, old.title);
        }
        if (process.refusesToDie)
            return false;
        process.alive = false;
        process.endedAt = clock;
        return true;
    }

    PayloadBytes OpenEmbeddedPayload(std::string_view name) override
    {
        for (const auto& [payloadName, bytes] : payloads) {
            if (SameText(payloadName, name))
                return std::as_bytes(std::span(bytes.data(), bytes.size()));
        }
        throw PlatformError("Resource " + std::string(name) + " not found");
    }

    bool WritePayloadToFile(PayloadBytes payload, const std::string& path) override
    {
        writeAttempts.push_back(path);
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        if (!folders.contains(folder) || folders.contains(path) || shortWrites.contains(path))
            return false;
        if (const auto file = files.find(path); file != files.end() && (file->second.locked || file->second.readOnly))
            return false;
        files[path].bytes.assign(reinterpret_cast<const char*>(payload.data()), payload.size());
        return true;
    }

    std::chrono::milliseconds Now() override { return clock; }
    void Pause(std::chrono::milliseconds duration) override
    {
        ++pauses;
        clock += duration;
    }

    // --- state, open for the tests to arrange and inspect
    std::map<std::string, RegValue> registry;
    std::vector<FakeProcess> processes;
    std::vector<FakeWindow> windows;
    std::map<std::string, std::string> payloads;
    std::set<std::string> folders;
    std::map<std::string, FakeFile> files;
    std::set<std::string> shortWrites;  // paths whose writing stops short (a full disk)
    std::vector<int> terminated;
    std::vector<std::string> writeAttempts;
    std::chrono::milliseconds clock{0};
    int findCalls = 0;
    int pauses = 0;

private:
    bool WindowExists(const FakeWindow& window) const
    {
        if (window.quitsAt.count() >= 0 && clock >= window.quitsAt)
            return false;
        const FakeProcess& process = processes[window.process];
        return process.alive || clock < process.endedAt + process.windowLingers;
    }

    WindowHandle nextWindow = 0x1000;
};

// The log box and the controls, recorded.
class RecordingWindow : public LogSink, public InstallerView {
public:
    void AppendLine(std::string_view text) override { log += std::string(text) + "\r\n"; }
    void ScrollToEnd() override { logAtScroll.push_back(log); }

    void EnableInstallButton(bool enabled) override { installEnabled = enabled; }
    void EnableCancelButton(bool enabled) override { cancelEnabled = enabled; }
    void SetCancelCaption(std::string_view caption) override { cancelCaption = caption; }
    void SetProgressMax(int maximum) override { progressMax = maximum; }
    int ProgressMax() const override { return progressMax; }
    int ProgressPosition() const override { return progressPosition; }
    void SetProgressPosition(int position) override
    {
        progressPosition = position;
        highestPosition = std::max(highestPosition, position);
        positionPassedMax = positionPassedMax || position > progressMax;
    }
    void ShowInformationBox(std::string_view text) override
    {
        informationBoxes.emplace_back(text);
        // What the user saw when the box came up.
        buttonsWhenBoxShown = {installEnabled, cancelEnabled};
    }

    std::string log;
    std::vector<std::string> logAtScroll;
    bool installEnabled = true;
    bool cancelEnabled = true;
    std::string cancelCaption = "&Cancel";
    int progressMax = 100;
    int progressPosition = 0;
    int highestPosition = 0;
    bool positionPassedMax = false;
    std::vector<std::string> informationBoxes;
    std::pair<bool, bool> buttonsWhenBoxShown{};
};
