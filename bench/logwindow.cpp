// The yardstick for what the installer's window costs by itself: the same libraries,
// taken from the system folder, and the same five controls in a window of the same size,
// with no registry, no report and no payloads.
//   logwindow          shows the window until it is closed (start-up)
//   logwindow PLAN     shows it with as many lines in the log box as the plan has files, then
//                      writes the plan's files with CreateFileW/WriteFile,
//                      showing each as the installer must: a line appended to the log box,
//                      the box scrolled to its end and repainted at once, the bar stepped.
//                      Prints "loop MILLISECONDS" and "failed COUNT" and ends.
#include "Plan.h"
#include "YardstickWindow.h"

#include <commctrl.h>
#include <richedit.h>

namespace {

HWND AddControl(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD exStyle,
                const RECT& place, HFONT font)
{
    const HWND control =
        CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                        place.right, place.bottom, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Append(HWND log, const std::wstring& line)
{
    const auto end = static_cast<LONG>(GetWindowTextLengthW(log));
    CHARRANGE selection{end, end};
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
}

int WriteShowingProgress(const std::wstring& planFile, HWND log, HWND progress)
{
    const std::vector<PlannedFile> plan = ReadPlan(planFile);
    std::vector<std::string> payloads;
    if (!ReadPayloads(plan, payloads))
        return 1;
    SendMessageW(progress, PBM_SETRANGE32, 0, static_cast<LPARAM>(plan.size()));
    // The installer's box holds about as many lines of its start-up report when a run
    // begins, so every file scrolls the box.
    for (const PlannedFile& file : plan)
        Append(log, L"\t" + file.target + L"\r\n");

    return TimedWriteLoop(plan.size(), [&](std::size_t i) {
        const bool ok = WritePlainly(plan[i].target, payloads[i], false);
        Append(log, L"\"" + plan[i].target + (ok ? L"\" - OK\r\n" : L"\" - Error\r\n"));
        SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(i + 1), 0);
        SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
        InvalidateRect(log, nullptr, TRUE);
        UpdateWindow(log);
        return ok;
    });
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const HMODULE commonControls = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    using Initialise = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initialise = reinterpret_cast<Initialise>(
        reinterpret_cast<void*>(GetProcAddress(commonControls, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    if (!initialise || !initialise(&classes) || !LoadLibraryExW(L"Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return 1;

    const HDC screen = GetDC(nullptr);
    const HFONT font = CreateFontW(-MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 96), 0, 0, 0, FW_NORMAL, FALSE,
                                   FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    ReleaseDC(nullptr, screen);

    const HWND window = CreateYardstickWindow(instance, L"BenchLogWindow", L"Log window",
                                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    if (!window)
        return 1;
    // Places as RECT{left, top, width, height}.
    const HWND log = AddControl(window, L"RICHEDIT50W", L"", WS_VSCROLL | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE,
                                {16, 16, 529, 273}, font);
    AddControl(window, L"BUTTON", L"&Install", WS_TABSTOP | BS_PUSHBUTTON, 0, {200, 304, 75, 25}, font);
    AddControl(window, L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, {288, 304, 75, 25}, font);
    const HWND progress = AddControl(window, PROGRESS_CLASSW, L"", 0, 0, {16, 344, 529, 9}, font);
    AddControl(window, L"STATIC", L"A notice under the progress bar.", SS_CENTER | SS_NOPREFIX, 0,
               {16, 368, 529, 13}, font);
    SendMessageW(log, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    if (__argc == 2 && __wargv)
        return WriteShowingProgress(__wargv[1], log, progress);

    return RunUntilClosed();
}
