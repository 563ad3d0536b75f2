// The main window frmMain. Keys: Esc quits (not on the progress bar); Tab and Shift+Tab
// move between the enabled buttons; arrows walk every enabled control; Enter and Space
// press a focused button; I and C (with or without Alt) press Install and Cancel. A held
// key presses nothing, and no button is ever the default one.
#include "Unit1.h"

#include "resource.h"

#include <commctrl.h>
#include <richedit.h>

#include <cwctype>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace {

constexpr wchar_t kWindowClass[] = L"TfrmMain";
constexpr wchar_t kInformationCaption[] = L"Information";
constexpr wchar_t kNotice[] = L"The language files are made by Kalvanta users and come without any guarantee.";
constexpr char kInsertionError[] = "RichEdit line insertion error";
constexpr std::string_view kIntroduction[] = {
    "This program will add all available custom language files to already installed Kalvanta. However,",
    "these files were created by our users, so we do not guarantee that all translations are correct and/or",
    "accurate.",
};

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Sizes at 96 dpi, where the font's line height is 13 pixels.
constexpr int kClientWidth = 561;
constexpr int kClientHeight = 393;
constexpr int kFontHeightAt96Dpi = 11;
constexpr int kLineHeightAt96Dpi = 13;

enum ControlId { kIdOutput = 100, kIdInstall, kIdCancel, kIdProgress, kIdNotice };

struct ControlPlace {
    int id;
    int left, top, width, height;
};

constexpr ControlPlace kPlaces[] = {
    {kIdOutput, 16, 16, 529, 273}, {kIdInstall, 200, 304, 75, 25}, {kIdCancel, 288, 304, 75, 25},
    {kIdProgress, 16, 344, 529, 9}, {kIdNotice, 16, 368, 529, 13},
};

bool CanTakeFocus(HWND control) { return control && IsWindowVisible(control) && IsWindowEnabled(control); }

// Bit 30 of a key message: the key was already down, so this is a held key repeating.
bool IsRepeat(const MSG& message) { return (message.lParam & (LPARAM{1} << 30)) != 0; }

// The window has no default button, yet the dialog manager makes the push button that it
// moves the focus to the default one, through BM_SETSTYLE. The buttons keep the plain style
// whatever asks for the other, by that message or by a new window style.
LRESULT CALLBACK PlainButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(button, GWLP_USERDATA));
    if (message == BM_SETSTYLE && (wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        wParam = (wParam & ~WPARAM{BS_TYPEMASK}) | BS_PUSHBUTTON;
    if (message == WM_STYLECHANGING && static_cast<int>(wParam) == GWL_STYLE) {
        auto* styles = reinterpret_cast<STYLESTRUCT*>(lParam);
        if ((styles->styleNew & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            styles->styleNew = (styles->styleNew & ~DWORD{BS_TYPEMASK}) | BS_PUSHBUTTON;
    }
    return CallWindowProcW(buttonProc, button, message, wParam, lParam);
}

bool KeepPlainButton(HWND button) {
    const LONG_PTR buttonProc = GetWindowLongPtrW(button, GWLP_WNDPROC);
    SetWindowLongPtrW(button, GWLP_USERDATA, buttonProc);
    return buttonProc && SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainButtonProc)) != 0;
}

// A key held down since before a box was shown, or on after it, does not answer the box;
// only a fresh press does. Boxes run their own message loop, which shows every message to
// this hook first.
LRESULT CALLBACK IgnoreHeldKeys(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && IsRepeat(*message)) return TRUE;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct HookRemover {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using HookOwner = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

// Keys and clicks made while the window was busy and took no input wait in the queue; they
// are dropped, so that they do not answer the box meant for the user to read.
void DiscardQueuedInput() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

void ShowBox(HWND owner, std::string_view text, const wchar_t* caption, UINT type) {
    DiscardQueuedInput();
    // Without the hook the box still works; only a held key would answer it.
    const HookOwner hook(SetWindowsHookExW(WH_MSGFILTER, IgnoreHeldKeys, nullptr, GetCurrentThreadId()));
    MessageBoxW(owner, Widen(text).c_str(), caption, type);
}

// The rich edit box keeps one character for each line break however it was given.
LRESULT StoredLength(std::wstring_view text) {
    LRESULT length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) ++length;
    }
    return length;
}

}  // namespace

TfrmMain::TfrmMain(HINSTANCE instance, const wchar_t* richEditClass)
    : instance_(instance), richEditClass_(richEditClass) {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    font_.reset(CreateFontW(-MulDiv(kFontHeightAt96Dpi, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    const HGDIOBJ previous = SelectObject(screen, font_.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    lineHeight_ = metrics.tmHeight > 0 ? metrics.tmHeight : kLineHeightAt96Dpi;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);

    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    CreateWindowExW(0, kWindowClass, kApplicationTitle, kWindowStyle, left, top, width, height, nullptr, nullptr,
                    instance, this);
    if (!hwnd_) throw PlatformError("The main window could not be created");

    SetWindowTextW(redOutput, L"");
    for (const std::string_view line : kIntroduction) AppendLine(line);
    RunHandler([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void TfrmMain::Show() {
    RunHandler([this] { PlaceLines(); });
    // The box scrolls to the caret as lines go in on some systems and not on others; the
    // reader starts at the first line either way. The caret stays at the end.
    SendMessageW(redOutput, WM_VSCROLL, SB_TOP, 0);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

LRESULT CALLBACK TfrmMain::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TfrmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate() ? 0 : -1;
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), HIWORD(wParam) != 0);
        return 0;
    case WM_NEXTDLGCTL:
        OnNextDlgCtl(wParam, lParam);
        return 0;
    case WM_CLOSE:
        RequestQuit();
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

HWND TfrmMain::CreateControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD exStyle, int id) {
    for (const ControlPlace& place : kPlaces) {
        if (place.id != id) continue;
        const HWND control = CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style,
                                             Scale(place.left), Scale(place.top), Scale(place.width),
                                             Scale(place.height), hwnd_, reinterpret_cast<HMENU>(INT_PTR{id}),
                                             instance_, nullptr);
        if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return control;
    }
    return nullptr;
}

// The controls are made in tab order, which is their order among the window's children.
bool TfrmMain::OnCreate() {
    redOutput = CreateControl(richEditClass_, L"", WS_VSCROLL | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE,
                              kIdOutput);
    btnInstall = CreateControl(L"BUTTON", L"&Install", WS_TABSTOP | BS_PUSHBUTTON, 0, kIdInstall);
    btnCancel = CreateControl(L"BUTTON", L"&Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, kIdCancel);
    Progress = CreateControl(PROGRESS_CLASSW, L"", 0, 0, kIdProgress);
    Label1 = CreateControl(L"STATIC", kNotice, SS_CENTER | SS_NOPREFIX, 0, kIdNotice);
    if (!redOutput || !btnInstall || !btnCancel || !Progress || !Label1) return false;
    if (!KeepPlainButton(btnInstall) || !KeepPlainButton(btnCancel)) return false;

    // Plain text can only be chosen while the box is empty; some boxes also refuse it while
    // they can undo something, such as the font they were given when they were made.
    SendMessageW(redOutput, EM_EMPTYUNDOBUFFER, 0, 0);
    if (SendMessageW(redOutput, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0) != 0)
        return false;
    SendMessageW(redOutput, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageW(redOutput, EM_SETTARGETDEVICE, 0, 0);
    SendMessageW(Progress, PBM_SETRANGE32, 0, 100);
    SendMessageW(Progress, PBM_SETPOS, 0, 0);
    return true;
}

void TfrmMain::OnCommand(HWND control, WORD notification) {
    if (notification == BN_CLICKED && (control == btnInstall || control == btnCancel)) PressButton(control);
}

// What a dialog does for itself: the focus comes back where it was, or to the first
// tab stop that can take it.
void TfrmMain::OnActivate(WORD state, bool minimized) {
    if (state == WA_INACTIVE) {
        const HWND focus = GetFocus();
        savedFocus_ = IsChild(hwnd_, focus) ? focus : nullptr;
        return;
    }
    if (minimized) return;
    HWND target = CanTakeFocus(savedFocus_) ? savedFocus_ : NextInTabOrder(nullptr, true, true);
    SetFocus(target ? target : hwnd_);
}

// The dialog manager and the rich edit box move the focus this way; a plain window ignores
// it. The focus moves by SetFocus alone, which leaves the buttons' styles alone.
void TfrmMain::OnNextDlgCtl(WPARAM wParam, LPARAM lParam) {
    const HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : NextInTabOrder(GetFocus(), wParam == 0, true);
    if (CanTakeFocus(target)) SetFocus(target);
}

bool TfrmMain::PreTranslate(MSG& message) {
    if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
    const HWND target = message.hwnd;
    const bool onButton = target == btnInstall || target == btnCancel;
    switch (message.message) {
    case WM_KEYDOWN:
        switch (message.wParam) {
        case VK_ESCAPE:
            // Esc must reach the focused control's key press handler as character 27,
            // not become the dialog manager's IDCANCEL.
            TranslateMessage(&message);
            DispatchMessageW(&message);
            return true;
        case VK_TAB:
            // Handled here wherever the focus is, so that the dialog manager never moves it
            // and the log box need not hand Tab on. Ctrl+Tab is not Tab and does nothing.
            if (GetKeyState(VK_CONTROL) < 0) return true;
            if (const HWND next = NextInTabOrder(target, GetKeyState(VK_SHIFT) >= 0, true)) SetFocus(next);
            return true;
        case VK_RETURN:
            if (!onButton) return false;
            if (!IsRepeat(message)) PressButton(target);
            return true;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (!onButton && target != Progress) return false;
            if (const HWND next = NextInTabOrder(target, message.wParam == VK_RIGHT || message.wParam == VK_DOWN, false))
                SetFocus(next);
            return true;
        default:
            return false;
        }
    case WM_CHAR:
    case WM_SYSCHAR: {
        const bool withAlt = message.message == WM_SYSCHAR;
        auto key = static_cast<wchar_t>(message.wParam);
        if (!withAlt && (target == hwnd_ || target == redOutput || onButton)) EscapeKeyPress(key);
        // The log box takes typed characters itself; Alt works everywhere.
        if (!withAlt && target == redOutput) return false;
        const wchar_t letter = static_cast<wchar_t>(std::towlower(key));
        const HWND button = letter == L'i' ? btnInstall : letter == L'c' ? btnCancel : nullptr;
        if (!button) return false;
        if (!IsRepeat(message)) PressButton(button);
        return true;
    }
    default:
        return false;
    }
}

template <class Handler>
void TfrmMain::RunHandler(Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    }
}

void TfrmMain::PressButton(HWND button) {
    if (!IsWindowEnabled(button)) return;
    if (button == btnInstall) RunHandler([this] { btnInstallClick(); });
    if (button == btnCancel) RunHandler([this] { btnCancelClick(); });
}

void TfrmMain::FormCreate() { installer_.DiscoverProducts(); }

void TfrmMain::btnInstallClick() { installer_.RunInstallation(); }

void TfrmMain::btnCancelClick() { RequestQuit(); }

void TfrmMain::EscapeKeyPress(wchar_t key) {
    if (key == 27) RequestQuit();
}

void TfrmMain::RequestQuit() {
    if (quitRequested_) return;
    quitRequested_ = true;
    PostQuitMessage(0);
}

void TfrmMain::ShowErrorBox(std::string_view message) {
    // Before the window is shown the box belongs to the whole thread, not to a hidden owner.
    const HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
    ShowBox(owner, ErrorBoxText(message), kApplicationTitle,
            MB_OK | MB_ICONSTOP | (owner ? MB_APPLMODAL : MB_TASKMODAL));
}

void TfrmMain::ShowInformationBox(std::string_view text) {
    ShowBox(hwnd_, text, kInformationCaption, MB_OK | MB_ICONINFORMATION);
}

LRESULT TfrmMain::LogLength() const {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return SendMessageW(redOutput, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
}

void TfrmMain::AppendLine(std::string_view text) {
    const std::wstring line = Widen(text) + L"\r\n";
    // Not every rich edit box stops an insertion at its capacity, so the room is checked first.
    const LRESULT capacity = SendMessageW(redOutput, EM_GETLIMITTEXT, 0, 0);
    if (LogLength() + StoredLength(unplacedLines_) + StoredLength(line) > capacity) throw PlatformError(kInsertionError);
    unplacedLines_ += line;
    // Each insertion lays out the box anew; while nobody can see it, the lines wait and go in
    // together just before it is shown.
    if (IsWindowVisible(redOutput)) PlaceLines();
}

void TfrmMain::PlaceLines() {
    if (unplacedLines_.empty()) return;
    const std::wstring lines = std::move(unplacedLines_);
    unplacedLines_.clear();
    const LRESULT before = LogLength();
    CHARRANGE end{static_cast<LONG>(before), static_cast<LONG>(before)};
    // The box would repaint itself for the insertion; it is painted once, later, instead:
    // by ScrollToEnd during a run, or when the window next paints.
    SendMessageW(redOutput, WM_SETREDRAW, FALSE, 0);
    SendMessageW(redOutput, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(redOutput, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
    SendMessageW(redOutput, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(redOutput, nullptr, FALSE);
    if (LogLength() - before != StoredLength(lines)) throw PlatformError(kInsertionError);
}

void TfrmMain::ScrollToEnd() {
    SendMessageW(redOutput, WM_VSCROLL, SB_BOTTOM, 0);
    InvalidateRect(redOutput, nullptr, TRUE);
    UpdateWindow(redOutput);
}

// The focus never stays on a disabled control: it passes to the window itself.
void TfrmMain::EnableControl(HWND control, bool enabled) {
    if (!enabled && GetFocus() == control) SetFocus(hwnd_);
    EnableWindow(control, enabled);
}

void TfrmMain::EnableInstallButton(bool enabled) { EnableControl(btnInstall, enabled); }

void TfrmMain::EnableCancelButton(bool enabled) { EnableControl(btnCancel, enabled); }

void TfrmMain::SetCancelCaption(std::string_view caption) { SetWindowTextW(btnCancel, Widen(caption).c_str()); }

void TfrmMain::SetProgressMax(int maximum) { SendMessageW(Progress, PBM_SETRANGE32, 0, maximum); }

int TfrmMain::ProgressMax() const { return static_cast<int>(SendMessageW(Progress, PBM_GETRANGE, FALSE, 0)); }

int TfrmMain::ProgressPosition() const { return static_cast<int>(SendMessageW(Progress, PBM_GETPOS, 0, 0)); }

void TfrmMain::SetProgressPosition(int position) { SendMessageW(Progress, PBM_SETPOS, position, 0); }

std::array<HWND, 4> TfrmMain::TabOrder() const { return {redOutput, btnInstall, btnCancel, Progress}; }

// The next control after `from` in tab order that can take the focus, wrapping around;
// from outside the order (the window itself) it starts at the first or the last.
HWND TfrmMain::NextInTabOrder(HWND from, bool forward, bool tabStopsOnly) const {
    const auto order = TabOrder();
    const int count = static_cast<int>(order.size());
    int position = forward ? -1 : count;
    for (int i = 0; i < count; ++i) {
        if (order[i] == from) position = i;
    }
    for (int step = 1; step <= count; ++step) {
        const HWND candidate = order[((position + (forward ? step : -step)) % count + count) % count];
        const bool tabStop = (GetWindowLongPtrW(candidate, GWL_STYLE) & WS_TABSTOP) != 0;
        if (CanTakeFocus(candidate) && (tabStop || !tabStopsOnly)) return candidate;
    }
    return nullptr;
}

int TfrmMain::Scale(int pixels) const { return MulDiv(pixels, lineHeight_, kLineHeightAt96Dpi); }
