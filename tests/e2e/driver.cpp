// The Windows-side half of the end-to-end tests: it presses keys and clicks through
// SendInput and reads the installer's window through window messages, so that the
// shell scripts can drive the real program under Wine and check what it shows.
//
//   driver report                      the installer window's state, one key=value per line
//   driver expect KEY VALUE...         waits until the report shows every pair; prints it and fails if not
//   driver keys main|box KEY...        waits for that window to be in front with the focus inside, then
//                                      types, e.g. Alt+F4 Shift+Tab i, each key once the one before is handled;
//                                      down:KEY and up:KEY press or release one key only, as a held key
//   driver click CONTROL|close|boxok   clicks the middle of a control, the close button or the box's OK
//   driver count CLASS TITLE           how many top-level windows have this class and title, hidden ones too
//   driver wait CLASS TITLE [COUNT]    waits until there are at least COUNT (1)
//   driver ready main|box              waits until that window is in front with the focus inside, as keys does
//   driver owner CLASS                 the id of the process that owns such a window, in hexadecimal
//   driver pipes NAME...               serves a named pipe \\.\pipe\NAME for each NAME until killed; prints
//                                      "listening", then a line for each client with the bytes it sent
//   driver payloads EXE                the names of the RCDATA resources of EXE
//   driver extract EXE NAME FILE       writes the RCDATA resource NAME of EXE to FILE
//   driver omit EXE COPY NAME          copies EXE to COPY without its RCDATA resource NAME
//   driver hold FILE                   keeps FILE open without sharing until killed
//   driver during_run held_enter|keys_and_clicks
//                                      starts a run from Install (a held Enter, or a click) with more input
//                                      waiting behind it: the held Enter's repeats, or fresh keys and clicks
//                                      on both buttons; fails if the run does not start
//   driver embed EXE COPY FOLDER       copies EXE to COPY with every file of FOLDER as an RCDATA resource
//   driver regset 32|64 KEY VALUE TYPE FILE
//                                      sets VALUE below HKLM\KEY to the exact bytes of FILE, of type
//                                      REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY or REG_DWORD
#include <windows.h>

#include <commctrl.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Long enough for a loaded two-core machine: a wait ends as soon as its condition holds.
constexpr auto kPatience = 60s;
// A program that has made no window by then has stalled in its start; the harness starts it once more.
constexpr auto kStartPatience = 30s;
constexpr auto kPoll = 50ms;
constexpr int kUsage = 2;
constexpr int kFailed = 3;
constexpr wchar_t kMainClass[] = L"TfrmMain";
constexpr std::array<const char*, 5> kControlNames{"redOutput", "btnInstall", "btnCancel", "Progress", "Label1"};

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// Control characters as the shell scripts write them: \r, \n, \t and \\.
std::string Escape(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\\': escaped += "\\\\"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::wstring WindowText(HWND window) {
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Timed by the system's tick count: without a threads library, std::chrono::steady_clock
// follows the wall clock here, and a clock set forward would end every wait at once.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds patience = kPatience) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(static_cast<DWORD>(kPoll.count()));
    }
    return true;
}

HWND MainWindow() { return FindWindowW(kMainClass, nullptr); }

std::vector<HWND> Controls(HWND main) {
    std::vector<HWND> controls;
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) controls.push_back(child);
    return controls;
}

// The visible message box that the installer's process shows, if any.
HWND MessageBoxOf(HWND main) {
    DWORD installer = 0;
    GetWindowThreadProcessId(main, &installer);
    struct Search {
        DWORD process;
        HWND box;
    } search{installer, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == s->process && IsWindowVisible(window) && ClassName(window) == L"#32770") {
                s->box = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.box;
}

std::string Rect(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
           std::to_string(r.bottom - r.top);
}

struct StyleWord {
    LONG_PTR bit;
    bool extended;
    const char* name;
};

constexpr StyleWord kWindowWords[] = {
    {WS_THICKFRAME, false, "sizable"}, {WS_MAXIMIZEBOX, false, "maximizebox"},
    {WS_MINIMIZEBOX, false, "minimizebox"}, {WS_SYSMENU, false, "sysmenu"},
};
constexpr StyleWord kControlWords[] = {
    {WS_TABSTOP, false, "tabstop"}, {WS_VSCROLL, false, "vscroll"}, {WS_HSCROLL, false, "hscroll"},
    {WS_EX_CLIENTEDGE, true, "sunken"},
};

template <std::size_t N>
std::string StyleWords(HWND window, const StyleWord (&words)[N]) {
    const auto style = GetWindowLongPtrW(window, GWL_STYLE);
    const auto exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    std::string text;
    for (const StyleWord& word : words) {
        if ((word.extended ? exStyle : style) & word.bit) text += std::string(text.empty() ? "" : " ") + word.name;
    }
    return text.empty() ? "-" : text;
}

// Another process's font cannot be asked for its face, so the notice is drawn here in
// the expected font and compared with what is on the screen, pixel for pixel.
std::string NoticeFont(HWND label) {
    RECT place{};
    GetClientRect(label, &place);
    const int width = place.right;
    const int height = place.bottom;
    const HDC screen = GetDC(nullptr);
    const HDC shown = CreateCompatibleDC(screen);
    const HDC drawn = CreateCompatibleDC(screen);
    const HBITMAP shownBitmap = CreateCompatibleBitmap(screen, width, height);
    const HBITMAP drawnBitmap = CreateCompatibleBitmap(screen, width, height);
    SelectObject(shown, shownBitmap);
    SelectObject(drawn, drawnBitmap);
    POINT origin{0, 0};
    ClientToScreen(label, &origin);
    BitBlt(shown, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);

    const HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    SelectObject(drawn, font);
    FillRect(drawn, &place, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(drawn, TRANSPARENT);
    SetTextColor(drawn, GetSysColor(COLOR_WINDOWTEXT));
    const std::wstring text = WindowText(label);
    DrawTextW(drawn, text.c_str(), -1, &place, DT_CENTER | DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS);

    int differing = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) differing += GetPixel(shown, x, y) != GetPixel(drawn, x, y);
    }
    DeleteDC(shown);
    DeleteDC(drawn);
    DeleteObject(shownBitmap);
    DeleteObject(drawnBitmap);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return differing == 0 ? "Tahoma 8pt" : std::to_string(differing) + " pixels differ from Tahoma 8pt";
}

bool IsDefaultButton(HWND control) {
    return ClassName(control) == L"Button" && (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Where the caret of the log box is: "end" after the last line break, else its selection.
// Positions count a line break as one character, as the box does.
std::string Caret(HWND log) {
    const auto selection = static_cast<DWORD>(SendMessageW(log, EM_GETSEL, 0, 0));
    const auto lastLine = SendMessageW(log, EM_GETLINECOUNT, 0, 0) - 1;
    const auto lastStart = SendMessageW(log, EM_LINEINDEX, lastLine, 0);
    const auto end = lastStart + SendMessageW(log, EM_LINELENGTH, lastStart, 0);
    if (LOWORD(selection) == end && HIWORD(selection) == end) return "end";
    return std::to_string(LOWORD(selection)) + "-" + std::to_string(HIWORD(selection)) + " of " + std::to_string(end);
}

// Whether the end of the log's text is in view: "visible", or "below" or "above" the box.
std::string EndInView(HWND log) {
    const auto lastLine = SendMessageW(log, EM_GETLINECOUNT, 0, 0) - 1;
    const auto end = SendMessageW(log, EM_LINEINDEX, lastLine, 0);
    // Given the character index, the box answers with the point packed as an edit box does.
    const auto point = static_cast<DWORD>(SendMessageW(log, EM_POSFROMCHAR, end, 0));
    const int y = static_cast<short>(HIWORD(point));
    RECT inside{};
    GetClientRect(log, &inside);
    return y < 0 ? "above" : y >= inside.bottom ? "below" : "visible";
}

// The window's client area and controls against the sizes at 96 dpi, each scaled by the ratio
// of the line height of Tahoma 8 pt at this resolution to 13: "scaled", or what differs.
std::string Layout(HWND main, const std::vector<HWND>& controls) {
    struct Place {
        const char* name;
        int left, top, width, height;
    };
    static constexpr Place kPlaces[] = {
        {"redOutput", 16, 16, 529, 273}, {"btnInstall", 200, 304, 75, 25}, {"btnCancel", 288, 304, 75, 25},
        {"Progress", 16, 344, 529, 9},   {"Label1", 16, 368, 529, 13},
    };
    const HDC screen = GetDC(nullptr);
    const HFONT font = CreateFontW(-MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                   FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    const HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    const auto scaled = [&](int pixels) { return MulDiv(pixels, metrics.tmHeight, 13); };

    std::string differences;
    RECT client{};
    GetClientRect(main, &client);
    const std::string expectedClient = std::to_string(scaled(561)) + "x" + std::to_string(scaled(393));
    const std::string actualClient = std::to_string(client.right) + "x" + std::to_string(client.bottom);
    if (actualClient != expectedClient) differences += " client " + actualClient + " not " + expectedClient;
    for (std::size_t i = 0; i < controls.size() && i < std::size(kPlaces); ++i) {
        const Place& place = kPlaces[i];
        RECT actual{};
        GetWindowRect(controls[i], &actual);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&actual), 2);
        const RECT expected{scaled(place.left), scaled(place.top), scaled(place.left) + scaled(place.width),
                            scaled(place.top) + scaled(place.height)};
        if (Rect(actual) != Rect(expected))
            differences += std::string(" ") + place.name + " " + Rect(actual) + " not " + Rect(expected);
    }
    return differences.empty() ? "scaled" : differences.substr(1);
}

std::map<std::string, std::string> Report() {
    std::map<std::string, std::string> report;
    const HWND main = MainWindow();
    if (!main) {
        report["window"] = "none";
        return report;
    }
    report["window"] = IsWindowVisible(main) ? "shown" : "hidden";
    report["title"] = Narrow(WindowText(main));
    RECT frame{};
    GetWindowRect(main, &frame);
    RECT client{};
    GetClientRect(main, &client);
    report["frame"] = Rect(frame);
    report["client"] = std::to_string(client.right) + "x" + std::to_string(client.bottom);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const bool centred = frame.left == (screenWidth - (frame.right - frame.left)) / 2 &&
                         frame.top == (screenHeight - (frame.bottom - frame.top)) / 2;
    report["centred"] = centred ? "yes" : "no";
    report["style"] = StyleWords(main, kWindowWords);

    const auto controls = Controls(main);
    std::map<HWND, std::string> names{{main, "window"}};
    std::string defaults;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const std::string name = i < kControlNames.size() ? kControlNames[i] : "extra" + std::to_string(i);
        names[controls[i]] = name;
        RECT place{};
        GetWindowRect(controls[i], &place);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&place), 2);
        report["control." + name] = Narrow(ClassName(controls[i])) + " " + Rect(place) + " " + StyleWords(controls[i], kControlWords) +
                                    (IsWindowEnabled(controls[i]) ? " enabled" : " disabled");
        if (name != "redOutput") report["text." + name] = Narrow(WindowText(controls[i]));
        if (IsDefaultButton(controls[i])) defaults += (defaults.empty() ? "" : " ") + name;
    }
    report["default"] = defaults.empty() ? "none" : defaults;
    if (controls.size() >= kControlNames.size()) {
        report["log"] = Escape(Narrow(WindowText(controls[0])));
        const auto position = SendMessageW(controls[3], PBM_GETPOS, 0, 0);
        const auto maximum = SendMessageW(controls[3], PBM_GETRANGE, FALSE, 0);
        report["progress"] = std::to_string(position) + "/" + std::to_string(maximum);
        if (IsWindowVisible(main)) report["font"] = NoticeFont(controls[4]);
        report["firstline"] = std::to_string(SendMessageW(controls[0], EM_GETFIRSTVISIBLELINE, 0, 0));
        report["caret"] = Caret(controls[0]);
        report["end"] = EndInView(controls[0]);
        report["layout"] = Layout(main, controls);
    }
    report["dpi"] = std::to_string(ScreenDpi());

    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &thread);
    report["focus"] = names.count(thread.hwndFocus) ? names[thread.hwndFocus] : thread.hwndFocus ? "other" : "none";
    report["active"] = thread.hwndActive == main ? "main" : thread.hwndActive ? "other" : "none";

    const HWND box = MessageBoxOf(main);
    report["box"] = box ? Escape(Narrow(WindowText(box))) + "|" + Escape(Narrow(WindowText(GetDlgItem(box, 0xFFFF))))
                        : "none";
    if (box) report["box.ok"] = SendMessageW(GetDlgItem(box, IDOK), BM_GETSTATE, 0, 0) & BST_PUSHED ? "pushed" : "up";
    return report;
}

void Print(const std::map<std::string, std::string>& report) {
    for (const auto& [key, value] : report) std::printf("%s=%s\n", key.c_str(), value.c_str());
    // The harness waits for these lines; if they cannot be written it fails on their absence.
    (void)std::fflush(stdout);
}

using Arguments = std::vector<std::string>;

int Expect(const Arguments& pairs) {
    std::map<std::string, std::string> report;
    const bool met = WaitFor([&] {
        report = Report();
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            if (report[pairs[i]] != pairs[i + 1]) return false;
        }
        return true;
    });
    if (met) return 0;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        if (report[pairs[i]] != pairs[i + 1])
            std::printf("MISMATCH %s\n  expected: %s\n  actual:   %s\n", pairs[i].c_str(), pairs[i + 1].c_str(),
                        report[pairs[i]].c_str());
    }
    Print(report);
    return 1;
}

void Send(std::vector<INPUT>& inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    inputs.clear();
}

// Sends INPUTS and waits until the thread of WINDOW has handled them all, or the window is
// gone. A thread paints a window only when no input is left in its queue, so once the window,
// invalidated after the input was queued, has been painted again, every key and click before
// it has been taken and handled.
bool SendAndWait(std::vector<INPUT>& inputs, HWND window) {
    Send(inputs);
    // No window: its thread is held, and the input is left waiting for it on purpose.
    if (!window) return true;
    InvalidateRect(window, nullptr, FALSE);
    return WaitFor([&] { return !IsWindow(window) || !GetUpdateRect(window, nullptr, FALSE); });
}

INPUT Key(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

WORD VirtualKey(const std::string& name) {
    static const std::map<std::string, WORD> kKeys{
        {"Escape", VK_ESCAPE}, {"Tab", VK_TAB}, {"Return", VK_RETURN}, {"space", VK_SPACE}, {"Left", VK_LEFT},
        {"Right", VK_RIGHT}, {"Up", VK_UP}, {"Down", VK_DOWN}, {"F4", VK_F4}, {"Shift", VK_SHIFT},
        {"Alt", VK_MENU}, {"Ctrl", VK_CONTROL},
    };
    if (const auto found = kKeys.find(name); found != kKeys.end()) return found->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
    return 0;
}

// The keys of "Alt+F4", or none if one is unknown.
std::vector<WORD> Combination(const std::string& combination) {
    std::vector<WORD> keys;
    for (std::size_t start = 0;;) {
        const std::size_t plus = combination.find('+', start);
        const WORD key = VirtualKey(combination.substr(start, plus - start));
        if (!key) return {};
        keys.push_back(key);
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return keys;
}

// "Alt+F4": every part but the last is held while the last is pressed.
bool TypeCombination(const std::string& combination, HWND window) {
    const std::vector<WORD> keys = Combination(combination);
    std::vector<INPUT> inputs;
    inputs.reserve(2 * keys.size());
    for (const WORD key : keys) inputs.push_back(Key(key, false));
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) inputs.push_back(Key(*key, true));
    if (!SendAndWait(inputs, window)) {
        std::printf("%s was not taken\n", combination.c_str());
        return false;
    }
    return true;
}

// "down:Return" presses a key without releasing it, "up:Return" releases it.
// "down:Return" or "up:Return": one half of a key press, as a held key gives it.
bool IsHalf(const std::string& text) { return text.starts_with("down:") || text.starts_with("up:"); }

WORD HalfKey(const std::string& half) { return VirtualKey(half.substr(half.find(':') + 1)); }

bool TypeHalf(const std::string& half, HWND window) {
    std::vector<INPUT> inputs{Key(HalfKey(half), half.starts_with("up:"))};
    if (!SendAndWait(inputs, window)) {
        std::printf("%s was not taken\n", half.c_str());
        return false;
    }
    return true;
}

HWND Target(const std::string& name) {
    const HWND main = MainWindow();
    return name == "box" ? MessageBoxOf(main) : main;
}

// A window in front is not yet ready for keys until its thread has made it active and put
// the focus in it; a key sent before that reaches whatever had them.
bool ReadyForKeys(HWND window) {
    if (!window || GetForegroundWindow() != window || !IsWindowEnabled(window)) return false;
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndActive == window &&
           (thread.hwndFocus == window || IsChild(window, thread.hwndFocus));
}

int Keys(const Arguments& arguments) {
    const std::string& target = arguments[0];
    HWND window = nullptr;
    if (!WaitFor([&] {
            window = Target(target);
            return ReadyForKeys(window) && (target == "box" || !MessageBoxOf(window));
        })) {
        std::printf("the %s window is not in front with the focus\n", target.c_str());
        return 1;
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (IsHalf(arguments[i]) ? HalfKey(arguments[i]) == 0 : Combination(arguments[i]).empty()) {
            std::printf("unknown key %s\n", arguments[i].c_str());
            return kUsage;
        }
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& key = arguments[i];
        if (!(IsHalf(key) ? TypeHalf(key, window) : TypeCombination(key, window))) return 1;
    }
    return 0;
}

// The point of the close button, found the way the mouse would: by hit-testing the caption.
bool CloseButtonPoint(HWND main, POINT& point) {
    RECT frame{};
    GetWindowRect(main, &frame);
    const int y = frame.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    for (int x = frame.right - 1; x > frame.left; --x) {
        if (SendMessageW(main, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
            point = {x - 4, y};
            return true;
        }
    }
    return false;
}

int Click(const std::string& what, bool waitUntilHandled = true) {
    HWND main = nullptr;
    if (!WaitFor([&] { return (main = MainWindow()) && IsWindowVisible(main); })) return 1;
    POINT point{};
    if (what == "close") {
        if (!CloseButtonPoint(main, point)) return 1;
    } else {
        HWND control = nullptr;
        if (what == "boxok") {
            WaitFor([&] { return MessageBoxOf(main) != nullptr; });
            control = GetDlgItem(MessageBoxOf(main), IDOK);
        } else {
            const auto controls = Controls(main);
            for (std::size_t i = 0; i < controls.size() && i < kControlNames.size(); ++i) {
                if (what == kControlNames[i]) control = controls[i];
            }
        }
        if (!control) return 1;
        RECT place{};
        GetWindowRect(control, &place);
        point = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(point.x, 65535, width - 1);
        input.mi.dy = MulDiv(point.y, 65535, height - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    return SendAndWait(inputs, waitUntilHandled ? main : nullptr) ? 0 : 1;
}

// Input that is waiting when a run starts is read only once the run is over, like input made
// while it writes. The installer's thread is held while the input goes in, so that it cannot
// read any of it before the first key or click, which starts the run, is in too.
int DuringRun(const std::string& kind) {
    if (kind != "held_enter" && kind != "keys_and_clicks") return kUsage;
    HWND main = nullptr;
    // As keys waits: the input must reach the window's focus, not what had it before.
    if (!WaitFor([&] { return (main = MainWindow()) && ReadyForKeys(main) && !MessageBoxOf(main); })) {
        std::printf("the main window is not in front with the focus\n");
        return 1;
    }
    const auto controls = Controls(main);
    if (controls.size() < kControlNames.size()) return 1;
    const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(main, nullptr));
    if (!thread || SuspendThread(thread) == static_cast<DWORD>(-1)) {
        std::printf("cannot hold the installer's thread\n");
        return 1;
    }
    bool made = true;
    if (kind == "held_enter") {
        // A held key repeats its key-down without a key-up in between.
        std::vector<INPUT> inputs(6, Key(VK_RETURN, false));
        Send(inputs);
    } else {
        made = Click("btnInstall", false) == 0 && Click("btnCancel", false) == 0 && Click("btnInstall", false) == 0 &&
               TypeCombination("Return", nullptr) && TypeCombination("space", nullptr) &&
               Click("btnCancel", false) == 0;
    }
    ResumeThread(thread);
    CloseHandle(thread);
    if (!made) return 1;
    if (!WaitFor([&] { return !IsWindowEnabled(controls[1]) && !IsWindowEnabled(controls[2]); })) {
        std::printf("the run did not start\n");
        return 1;
    }
    return 0;
}

int CountWindows(const std::wstring& windowClass, const std::wstring& title) {
    int count = 0;
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass.c_str(), title.c_str()); window;
         window = FindWindowExW(nullptr, window, windowClass.c_str(), title.c_str()))
        ++count;
    return count;
}

int ListPayloads(const std::wstring& exe) {
    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return 1;
    EnumResourceNamesW(
        module, RT_RCDATA,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR) -> BOOL {
            if (!IS_INTRESOURCE(name)) std::printf("%s\n", Narrow(name).c_str());
            return TRUE;
        },
        0);
    FreeLibrary(module);
    return 0;
}

int ExtractPayload(const std::wstring& exe, const std::wstring& name, const std::wstring& file) {
    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC resource = module ? FindResourceW(module, name.c_str(), RT_RCDATA) : nullptr;
    if (!resource) return 1;
    const void* data = LockResource(LoadResource(module, resource));
    const DWORD size = SizeofResource(module, resource);
    const HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, data, size, &written, nullptr) && written == size;
    CloseHandle(out);
    return ok ? 0 : 1;
}

// Wine does not delete single resources, so the copy is rebuilt with every resource
// of the original but one.
struct Rebuild {
    HANDLE update;
    std::wstring omitted;
    bool ok = true;
    int kept = 0;
    int left = 0;
};

BOOL CALLBACK CopyLanguage(HMODULE source, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR context) {
    auto* rebuild = reinterpret_cast<Rebuild*>(context);
    if (type == RT_RCDATA && !IS_INTRESOURCE(name) && _wcsicmp(name, rebuild->omitted.c_str()) == 0) {
        ++rebuild->left;
        return TRUE;
    }
    const HRSRC found = FindResourceExW(source, type, name, language);
    void* data = LockResource(LoadResource(source, found));
    rebuild->ok = rebuild->ok && UpdateResourceW(rebuild->update, type, name, language, data, SizeofResource(source, found));
    ++rebuild->kept;
    return TRUE;
}

BOOL CALLBACK CopyName(HMODULE source, LPCWSTR type, LPWSTR name, LONG_PTR context) {
    return EnumResourceLanguagesW(source, type, name, CopyLanguage, context);
}

BOOL CALLBACK CopyType(HMODULE source, LPWSTR type, LONG_PTR context) {
    return EnumResourceNamesW(source, type, CopyName, context);
}

int OmitPayload(const std::wstring& exe, const std::wstring& copy, const std::wstring& name) {
    if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE)) return 1;
    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HANDLE update = module ? BeginUpdateResourceW(copy.c_str(), TRUE) : nullptr;
    if (!update) return 1;
    Rebuild rebuild{update, name};
    EnumResourceTypesW(module, CopyType, reinterpret_cast<LONG_PTR>(&rebuild));
    FreeLibrary(module);
    const bool complete = rebuild.ok && rebuild.left == 1 && rebuild.kept > 0;
    return EndUpdateResourceW(update, !complete) && complete ? 0 : 1;
}

int Hold(const std::wstring& file) {
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    std::printf("held\n");
    (void)std::fflush(stdout);
    Sleep(INFINITE);
    CloseHandle(held);
    return 0;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0;
    bytes.assign(ok ? static_cast<std::size_t>(size.QuadPart) : 0, '\0');
    DWORD read = 0;
    ok = ok && (bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                                  read == bytes.size()));
    CloseHandle(file);
    return ok;
}

// Payloads of a test build, named after their files as the build names them (upper case,
// language 1050); a resource of the same name is replaced.
int EmbedPayloads(const std::wstring& exe, const std::wstring& copy, const std::wstring& folder) {
    if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE)) return 1;
    const HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
    if (!update) return 1;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    bool ok = search != INVALID_HANDLE_VALUE;
    int embedded = 0;
    for (bool more = ok; more; more = FindNextFileW(search, &found)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring name = found.cFileName;
        CharUpperW(name.data());
        std::string bytes;
        ok = ok && ReadWholeFile(folder + L"\\" + found.cFileName, bytes) &&
             UpdateResourceW(update, RT_RCDATA, name.c_str(), MAKELANGID(LANG_CROATIAN, SUBLANG_CROATIAN_CROATIA),
                             bytes.data(), static_cast<DWORD>(bytes.size()));
        ++embedded;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    ok = ok && embedded > 0;
    return EndUpdateResourceW(update, !ok) && ok ? 0 : 1;
}

// The value is written with the exact byte count of the file: no terminating NUL is added.
int SetRegistryValue(const Arguments& arguments) {
    static const std::map<std::string, DWORD> kTypes{
        {"REG_SZ", REG_SZ}, {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
        {"REG_BINARY", REG_BINARY}, {"REG_DWORD", REG_DWORD},
    };
    const auto type = kTypes.find(arguments[3]);
    std::string bytes;
    if ((arguments[0] != "32" && arguments[0] != "64") || type == kTypes.end() ||
        !ReadWholeFile(Widen(arguments[4]), bytes))
        return kUsage;
    const REGSAM view = arguments[0] == "32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(arguments[1]).c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 1;
    const LONG result = RegSetValueExW(key, Widen(arguments[2]).c_str(), 0, type->second,
                                       reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

// One overlapped server per name; a client is read until it closes, then the next may come.
int ServePipes(const Arguments& names) {
    if (names.empty() || names.size() > MAXIMUM_WAIT_OBJECTS) return kUsage;
    std::vector<HANDLE> pipes;
    std::vector<HANDLE> events;
    std::vector<OVERLAPPED> waits(names.size());
    const auto listen = [&](std::size_t i) {
        waits[i] = {};
        waits[i].hEvent = events[i];
        if (!ConnectNamedPipe(pipes[i], &waits[i]) && GetLastError() == ERROR_PIPE_CONNECTED) SetEvent(events[i]);
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        pipes.push_back(CreateNamedPipeW((L"\\\\.\\pipe\\" + Widen(names[i])).c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr));
        events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (pipes.back() == INVALID_HANDLE_VALUE || !events.back()) return 1;
        listen(i);
    }
    std::printf("listening\n");
    (void)std::fflush(stdout);
    for (;;) {
        const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE) - WAIT_OBJECT_0;
        if (which >= events.size()) return 1;
        ResetEvent(events[which]);
        unsigned long total = 0;
        for (;;) {
            char buffer[4096];
            DWORD read = 0;
            OVERLAPPED reading{};
            reading.hEvent = events[which];
            BOOL ok = ReadFile(pipes[which], buffer, sizeof buffer, &read, &reading);
            if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(pipes[which], &reading, &read, TRUE);
            if (!ok || read == 0) break;
            total += read;
        }
        std::printf("%s: %lu bytes\n", names[which].c_str(), total);
        (void)std::fflush(stdout);
        DisconnectNamedPipe(pipes[which]);
        ResetEvent(events[which]);
        listen(which);
    }
}

int Run(const std::string& command, const Arguments& rest) {
    const auto arg = [&](std::size_t i) { return Widen(i < rest.size() ? rest[i] : ""); };
    if (command == "report") {
        Print(Report());
        return 0;
    }
    if (command == "expect" && rest.size() >= 2) return Expect(rest);
    if (command == "keys" && rest.size() >= 2) return Keys(rest);
    if (command == "click" && rest.size() == 1) return Click(rest[0]);
    if (command == "ready" && rest.size() == 1) return WaitFor([&] { return ReadyForKeys(Target(rest[0])); }) ? 0 : 1;
    if (command == "count" && rest.size() == 2) {
        std::printf("%d\n", CountWindows(arg(0), arg(1)));
        return 0;
    }
    if (command == "wait" && (rest.size() == 2 || rest.size() == 3)) {
        const int count = rest.size() == 3 ? std::atoi(rest[2].c_str()) : 1;
        return WaitFor([&] { return CountWindows(arg(0), arg(1)) >= count; }, kStartPatience) ? 0 : 1;
    }
    if (command == "owner" && rest.size() == 1) {
        DWORD process = 0;
        const HWND window = FindWindowW(arg(0).c_str(), nullptr);
        if (!window || !GetWindowThreadProcessId(window, &process)) return 1;
        std::printf("%lx\n", process);
        return 0;
    }
    if (command == "pipes") return ServePipes(rest);
    if (command == "payloads" && rest.size() == 1) return ListPayloads(arg(0));
    if (command == "extract" && rest.size() == 3) return ExtractPayload(arg(0), arg(1), arg(2));
    if (command == "omit" && rest.size() == 3) return OmitPayload(arg(0), arg(1), arg(2));
    if (command == "hold" && rest.size() == 1) return Hold(arg(0));
    if (command == "during_run" && rest.size() == 1) return DuringRun(rest[0]);
    if (command == "embed" && rest.size() == 3) return EmbedPayloads(arg(0), arg(1), arg(2));
    if (command == "regset" && rest.size() == 5) return SetRegistryValue(rest);
    (void)std::fprintf(stderr, "usage: see the top of driver.cpp\n");
    return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Like the installer, so that both see the screen's real resolution and pixels.
    SetProcessDPIAware();
    Arguments args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
    const std::string command = args.empty() ? "" : args[0];
    const int status = Run(command, Arguments(args.begin() + (args.empty() ? 0 : 1), args.end()));
    if (status == 0) return 0;
    // The driver's own failures say so and end with 2 (usage) or 3, so that any other exit
    // code tells the harness that Wine ended the driver from outside.
    std::printf("driver %s failed (last error %lu)\n", command.c_str(), GetLastError());
    return status == kUsage ? kUsage : kFailed;
}
