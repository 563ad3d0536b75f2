// A stand-in for a product of the family, built once per product: it shows the
// language packs in the Languages folder beside its executable, each with its flag
// and the name from entry 000 of its language file.
// Options for the tests, any combination:
//   --hang                          the window thread stops processing messages once the window is shown
//   --refuse-termination            nobody may open the process for termination
//   --quit-after-installer-appears  quits by itself a second after the installer's window exists
//   --hidden                        the window is never shown, so it can never be activated
//   --stream-of-windows             opens a new window every 10 ms and closes the oldest of the last
//                                   few, as a program that keeps a search for its windows busy would
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Identity {
    const wchar_t* mainClass;
    const wchar_t* title;
    // The hidden top-level window by which the product is recognised, when it is not the main one.
    const wchar_t* applicationClass;
    int left;  // side by side when both run
};

#if defined(STANDIN_LUNESCA)
constexpr Identity kProduct{L"TfrmLunesca", L"Lunesca", L"TApplication", 460};
#else
constexpr Identity kProduct{L"TfrmTrovimo", L"Trovimo", nullptr, 20};
#endif

constexpr int kRowHeight = 22;
constexpr int kMargin = 12;

constexpr wchar_t kInstallerClass[] = L"TfrmMain";
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchInterval = 10;
constexpr DWORD kQuitDelay = 1000;

struct Options {
    bool hang = false;
    bool refuseTermination = false;
    bool quitAfterInstallerAppears = false;
    bool hidden = false;
    bool streamOfWindows = false;
};

Options ParseOptions(const std::wstring& commandLine) {
    const auto has = [&](const wchar_t* option) { return commandLine.find(option) != std::wstring::npos; };
    return {has(L"--hang"), has(L"--refuse-termination"), has(L"--quit-after-installer-appears"), has(L"--hidden"),
            has(L"--stream-of-windows")};
}

// Denies everyone PROCESS_TERMINATE on this process, as a program protected by its
// vendor would; the installer then cannot open it for termination.
bool RefuseTermination() {
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                        nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESSW denial{};
    denial.grfAccessPermissions = PROCESS_TERMINATE;
    denial.grfAccessMode = DENY_ACCESS;
    denial.grfInheritance = NO_INHERITANCE;
    denial.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    denial.Trustee.ptstrName = const_cast<wchar_t*>(L"EVERYONE");
    PACL refusing = nullptr;
    const bool set = SetEntriesInAclW(1, &denial, current, &refusing) == ERROR_SUCCESS &&
                     SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                     nullptr, refusing, nullptr) == ERROR_SUCCESS;
    LocalFree(refusing);
    LocalFree(descriptor);
    return set;
}

// Watches for the installer's window (it exists, hidden, while the installer searches
// for running instances) and closes this instance a moment later.
void CALLBACK WatchForInstaller(HWND window, UINT, UINT_PTR, DWORD) {
    static DWORD seenAt = 0;
    if (!seenAt && FindWindowW(kInstallerClass, nullptr)) seenAt = GetTickCount();
    if (seenAt && GetTickCount() - seenAt >= kQuitDelay) {
        KillTimer(window, kWatchTimer);
        DestroyWindow(window);
    }
}

constexpr UINT_PTR kStreamTimer = 2;
constexpr UINT kStreamInterval = 10;

// The stream's windows, newest last; the process does not end when one of them goes.
std::deque<HWND> gStreamWindows;
constexpr std::size_t kStreamWindowsKept = 3;

// Each new window is made before the oldest goes, and a few are kept, so that a search that
// lists the windows and then looks at each one always finds one of them still there.
void CALLBACK ReplaceWindow(HWND, UINT, UINT_PTR, DWORD) {
    gStreamWindows.push_back(CreateWindowExW(0, kProduct.mainClass, kProduct.title, WS_POPUP, 0, 0, 0, 0, nullptr,
                                             nullptr, GetModuleHandleW(nullptr), nullptr));
    if (gStreamWindows.size() > kStreamWindowsKept) {
        DestroyWindow(gStreamWindows.front());
        gStreamWindows.pop_front();
    }
}

struct LanguagePack {
    std::wstring code;
    std::wstring name;
    HBITMAP flag;
};

std::vector<LanguagePack> gPacks;
std::wstring gFolder;

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Entry 000 of a language file (UTF-16, no byte order mark) holds the language's name:
// "000.:" + name + ":.000".
std::wstring LanguageName(const std::wstring& file) {
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return L"(unreadable)";
    std::wstring text(2048, L'\0');
    DWORD read = 0;
    ReadFile(handle, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(handle);
    text.resize(read / sizeof(wchar_t));
    const std::size_t end = text.find(L":.000");
    if (text.rfind(L"000.:", 0) != 0 || end == std::wstring::npos) return L"(no name)";
    return text.substr(5, end - 5);
}

void LoadPacks() {
    const std::wstring languages = gFolder + L"Languages\\";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((languages + L"*.lng").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring code = found.cFileName;
        code.resize(code.size() - 4);
        const std::wstring flagFile = languages + code + L".bmp";
        const auto flag = static_cast<HBITMAP>(LoadImageW(nullptr, flagFile.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        gPacks.push_back({code, LanguageName(languages + found.cFileName), flag});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(gPacks.begin(), gPacks.end(), [](const auto& a, const auto& b) { return a.code < b.code; });
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    const std::wstring heading = gPacks.empty() ? L"No language packs in " + gFolder + L"Languages"
                                                : L"Language packs in " + gFolder + L"Languages:";
    TextOutW(dc, kMargin, kMargin, heading.c_str(), static_cast<int>(heading.size()));
    const HDC memory = CreateCompatibleDC(dc);
    int top = kMargin + kRowHeight;
    for (const LanguagePack& pack : gPacks) {
        if (pack.flag) {
            const HGDIOBJ previous = SelectObject(memory, pack.flag);
            BitBlt(dc, kMargin, top, 16, 16, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
        }
        const std::wstring line = L"[" + pack.code + L"]  " + pack.name;
        TextOutW(dc, kMargin + 24, top + 2, line.c_str(), static_cast<int>(line.size()));
        top += kRowHeight;
    }
    DeleteDC(memory);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        if (gStreamWindows.empty()) PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
    const Options options = ParseOptions(commandLine);
    if (options.refuseTermination && !RefuseTermination()) return 1;
    gFolder = ProgramFolder();
    LoadPacks();

    HWND owner = nullptr;
    if (kProduct.applicationClass) {
        Register(instance, kProduct.applicationClass, DefWindowProcW);
        owner = CreateWindowExW(0, kProduct.applicationClass, kProduct.title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr);
    }
    Register(instance, kProduct.mainClass, MainProc);
    const int height = kMargin * 3 + kRowHeight * (static_cast<int>(gPacks.size()) + 1) + GetSystemMetrics(SM_CYCAPTION);
    const HWND window =
        CreateWindowExW(0, kProduct.mainClass, kProduct.title, WS_OVERLAPPEDWINDOW, kProduct.left, 20, 420,
                        std::max(height, 120), owner, nullptr, instance, nullptr);
    if (!window) return 1;
    if (!options.hidden) ShowWindow(window, show);
    if (options.quitAfterInstallerAppears) SetTimer(window, kWatchTimer, kWatchInterval, WatchForInstaller);
    if (options.streamOfWindows) {
        gStreamWindows.push_back(window);
        SetTimer(nullptr, kStreamTimer, kStreamInterval, ReplaceWindow);
    }
    if (options.hang) Sleep(INFINITE);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    for (const LanguagePack& pack : gPacks) DeleteObject(pack.flag);
    return 0;
}
