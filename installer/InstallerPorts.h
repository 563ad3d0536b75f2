// What the installer logic needs of the main window: the log box and the controls
// that the installation run drives.
#pragma once

#include <string_view>

class LogSink {
public:
    virtual ~LogSink() = default;
    // Appends `text` (UTF-8) and a line break at the end of the log; a CR LF inside
    // `text` starts a further line, so a leading CR LF shows as an empty line.
    virtual void AppendLine(std::string_view text) = 0;
    // Scrolls the log to its end and repaints it at once.
    virtual void ScrollToEnd() = 0;
};

class InstallerView {
public:
    virtual ~InstallerView() = default;
    virtual void EnableInstallButton(bool enabled) = 0;
    virtual void EnableCancelButton(bool enabled) = 0;
    virtual void SetCancelCaption(std::string_view caption) = 0;
    virtual void SetProgressMax(int maximum) = 0;
    virtual int ProgressMax() const = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Shows the modal information box and returns when the user has closed it.
    virtual void ShowInformationBox(std::string_view text) = 0;
};
