// The main window frmMain: the log box, Install and Cancel, the progress bar and the
// notice. It hosts the installer and is the installer's log and view.
#pragma once

#include "Installer.h"
#include "Owners.h"
#include "Win32PlatformServices.h"

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

inline constexpr wchar_t kApplicationTitle[] = L"Kalvanta Custom Language Files Installer";

class TfrmMain final : public LogSink, public InstallerView {
public:
    // Builds the window and its controls, writes the introductory lines and runs
    // start-up discovery; the window is not shown yet.
    TfrmMain(HINSTANCE instance, const wchar_t* richEditClass);
    ~TfrmMain() override;
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    // Puts the start-up report into the log box and shows the window.
    void Show();
    HWND Handle() const { return hwnd_; }

    // The keys of the keyboard table that the dialog manager would treat otherwise.
    // True when the message was handled and must go no further.
    bool PreTranslate(MSG& message);

    void ShowErrorBox(std::string_view message);

    void AppendLine(std::string_view text) override;
    void ScrollToEnd() override;

    void EnableInstallButton(bool enabled) override;
    void EnableCancelButton(bool enabled) override;
    void SetCancelCaption(std::string_view caption) override;
    void SetProgressMax(int maximum) override;
    int ProgressMax() const override;
    int ProgressPosition() const override;
    void SetProgressPosition(int position) override;
    void ShowInformationBox(std::string_view text) override;

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCreate();
    void OnCommand(HWND control, WORD notification);
    void OnActivate(WORD state, bool minimized);
    void OnNextDlgCtl(WPARAM wParam, LPARAM lParam);

    void FormCreate();
    void btnInstallClick();
    void btnCancelClick();
    void EscapeKeyPress(wchar_t key);
    void RequestQuit();

    template <class Handler>
    void RunHandler(Handler handler);
    void PressButton(HWND button);
    void EnableControl(HWND control, bool enabled);
    std::array<HWND, 4> TabOrder() const;
    HWND NextInTabOrder(HWND from, bool forward, bool tabStopsOnly) const;
    int Scale(int pixels) const;
    LRESULT LogLength() const;
    void PlaceLines();
    HWND CreateControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD exStyle, int id);

    HINSTANCE instance_;
    const wchar_t* richEditClass_;
    FontOwner font_;
    int lineHeight_ = 0;
    HWND hwnd_ = nullptr;
    HWND redOutput = nullptr;
    HWND btnInstall = nullptr;
    HWND btnCancel = nullptr;
    HWND Progress = nullptr;
    HWND Label1 = nullptr;
    HWND savedFocus_ = nullptr;
    bool quitRequested_ = false;
    std::wstring unplacedLines_;
    Win32PlatformServices platform_;
    Installer installer_{platform_, *this, *this};
};
