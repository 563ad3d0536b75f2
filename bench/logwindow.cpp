// The yardstick for what the installer's window costs by itself: the same libraries,
// taken from the system folder, and the same five controls in a window of the same size,
// with no registry, no report and no payloads.
//   logwindow          shows the window until it is closed (start-up)
//   logwindow PLAN     shows it with as many lines in the log box as the plan has files and
//                      waits, as the installer does, for Install. Pressed, it disables both
//                      buttons, writes the plan's files with CreateFileW/WriteFile, showing
//                      each as the installer must (a line appended to the log box, the box
//                      scrolled to its end and repainted at once, the bar stepped), prints
//                      "loop MILLISECONDS" and "failed COUNT", relabels Cancel "&Close",
//                      enables it and shows the information box. It ends when closed.
//   logwindow PLAN [replace] [checked] [box]
//                      the same, each file written as a safe replacement (as the installer
//                      writes); each line appended as the installer checks it (the box's
//                      capacity and exact length before, its length after, the bar read back
//                      before it is stepped); the box set up as the installer's (undo and code
//                      pages kept, lines wrapped at the window). What each adds tells where the
//                      installer's run goes.
#include "Plan.h"
#include "YardstickWindow.h"

#include <commctrl.h>
#include <richedit.h>

namespace {

enum ControlId { kIdInstall = 101, kIdCancel };

// What a press of Install works with.
struct Run {
    std::vector<PlannedFile> plan;
    std::vector<std::string> payloads;
    HWND log = nullptr;
    HWND install = nullptr;
    HWND cancel = nullptr;
    HWND progress = nullptr;
    bool replace = false;
    bool checked = false;
    bool installerBox = false;
    int exitCode = 0;
};
Run gRun;

HWND AddControl(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD exStyle,
                const RECT& place, HFONT font, int id = 0)
{
    const HWND control =
        CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top, place.right,
                        place.bottom, parent, reinterpret_cast<HMENU>(INT_PTR{id}), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

LRESULT ExactLength(HWND log)
{
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return SendMessageW(log, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
}

void Append(HWND log, const std::wstring& line)
{
    const auto length = static_cast<LRESULT>(line.size());
    if (gRun.checked && ExactLength(log) + length > SendMessageW(log, EM_GETLIMITTEXT, 0, 0))
        return;
    const auto end = static_cast<LONG>(gRun.checked ? ExactLength(log) : GetWindowTextLengthW(log));
    CHARRANGE selection{end, end};
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    if (gRun.checked)
        ExactLength(log);
}

void StepProgress(HWND progress, std::size_t done)
{
    if (!gRun.checked) {
        SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(done), 0);
        return;
    }
    const LRESULT position = SendMessageW(progress, PBM_GETPOS, 0, 0);
    if (position < SendMessageW(progress, PBM_GETRANGE, FALSE, 0))
        SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(SendMessageW(progress, PBM_GETPOS, 0, 0) + 1), 0);
}

void WriteShowingProgress(HWND window)
{
    EnableWindow(gRun.install, FALSE);
    EnableWindow(gRun.cancel, FALSE);
    Append(gRun.log, L"\r\nInstallation log:\r\n");
    SendMessageW(gRun.progress, PBM_SETRANGE32, 0, static_cast<LPARAM>(gRun.plan.size()));
    gRun.exitCode = TimedWriteLoop(gRun.plan.size(), [](std::size_t i) {
        const PlannedFile& file = gRun.plan[i];
        const bool ok = gRun.replace ? ReplaceSafely(file.target, gRun.payloads[i])
                                     : WritePlainly(file.target, gRun.payloads[i], false);
        Append(gRun.log, L"\"" + file.target + (ok ? L"\" - OK\r\n" : L"\" - Error\r\n"));
        StepProgress(gRun.progress, i + 1);
        SendMessageW(gRun.log, WM_VSCROLL, SB_BOTTOM, 0);
        InvalidateRect(gRun.log, nullptr, TRUE);
        UpdateWindow(gRun.log);
        return ok;
    });
    SetWindowTextW(gRun.cancel, L"&Close");
    EnableWindow(gRun.cancel, TRUE);
    MessageBoxW(window, L"Installation is finished.\r\n\r\nThere were no errors.", L"Information",
                MB_OK | MB_ICONINFORMATION);
}

LRESULT CALLBACK OnInstallOrCancel(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == kIdInstall && IsWindowEnabled(gRun.install))
            WriteShowingProgress(window);
        else if (LOWORD(wParam) == kIdCancel)
            DestroyWindow(window);
        return 0;
    }
    return QuitWhenClosed(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const HMODULE commonControls = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    using Initialise = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initialise =
        reinterpret_cast<Initialise>(reinterpret_cast<void*>(GetProcAddress(commonControls, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    if (!initialise || !initialise(&classes) || !LoadLibraryExW(L"Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return 1;
    if (__argc >= 2 && __wargv) {
        for (int i = 2; i < __argc; ++i) {
            gRun.replace = gRun.replace || std::wstring(__wargv[i]) == L"replace";
            gRun.checked = gRun.checked || std::wstring(__wargv[i]) == L"checked";
            gRun.installerBox = gRun.installerBox || std::wstring(__wargv[i]) == L"box";
        }
        gRun.plan = ReadPlan(__wargv[1]);
        if (gRun.plan.empty() || !ReadPayloads(gRun.plan, gRun.payloads))
            return 1;
    }

    const HDC screen = GetDC(nullptr);
    const HFONT font = CreateFontW(-MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                   FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    ReleaseDC(nullptr, screen);

    const HWND window =
        CreateYardstickWindow(instance, L"BenchLogWindow", L"Log window",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, OnInstallOrCancel);
    if (!window)
        return 1;
    // Places as RECT{left, top, width, height}.
    gRun.log = AddControl(window, L"RICHEDIT50W", L"", WS_VSCROLL | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE,
                          {16, 16, 529, 273}, font);
    gRun.install =
        AddControl(window, L"BUTTON", L"&Install", WS_TABSTOP | BS_PUSHBUTTON, 0, {200, 304, 75, 25}, font, kIdInstall);
    gRun.cancel =
        AddControl(window, L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, {288, 304, 75, 25}, font, kIdCancel);
    gRun.progress = AddControl(window, PROGRESS_CLASSW, L"", 0, 0, {16, 344, 529, 9}, font);
    AddControl(window, L"STATIC", L"A notice under the progress bar.", SS_CENTER | SS_NOPREFIX, 0, {16, 368, 529, 13},
               font);
    if (gRun.installerBox) {
        SendMessageW(gRun.log, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
        SendMessageW(gRun.log, EM_SETTARGETDEVICE, 0, 0);
    } else {
        SendMessageW(gRun.log, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    }
    // The installer's box holds about as many lines of its start-up report when a run
    // begins, put in before the window shows, so that every file scrolls the box.
    std::wstring report;
    for (const PlannedFile& file : gRun.plan)
        report += L"\t" + file.target + L"\r\n";
    if (!report.empty())
        Append(gRun.log, report);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    RunUntilClosed();
    return gRun.exitCode;
}
