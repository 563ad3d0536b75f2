// Times the installer and its yardsticks from inside the Wine prefix with
// QueryPerformanceCounter, polling every millisecond; run.sh reads what it prints,
// one "LABEL MILLISECONDS RUN" a line for every counted run ("failed LABEL WHY" otherwise).
//
//   stopwatch startup WARMUP RUNS (LABEL EXE CLASS)...
//       process start to the shown window of class CLASS, the programs taken in turn; CLASS
//       #32770 is the NSIS peer, its window shown with the details list
//   stopwatch run WARMUP RUNS INSTALLER LOGWINDOW PLAINWRITE PEER PLAN
//       the whole job of the installer and of the log window yardstick (also writing, then
//       checking its log, then setting up its box as the installer does): process start to
//       the shown window, Install pressed at once, to the information box, with the steps
//       between (Install disabled, Cancel relabelled "&Close"); the NSIS peer with its
//       window, start to its page with the details list shown and to "Completed"; the plain
//       write loop, in-process and start to exit, again with safe replacement; the peer's
//       silent install, start to exit.
//       Each from no target file, and each run's files compared with the payloads.
//   stopwatch pair WARMUP RUNS INSTALLER BASELINE PLAN
//       the whole job, as for run, of this build ("paired") and of another build of the
//       installer ("baseline"), taken in turn, every other run in the reverse order
//   stopwatch terminate WARMUP RUNS INSTALLER STANDIN
//       with two instances of STANDIN running: installer start to both ended, and to the
//       shown window; then, as the baseline, start to the shown window with none running
#include "Plan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>

namespace {

constexpr double kPatienceMs = 30000;
constexpr DWORD kClosingMs = 10000;
constexpr wchar_t kInstallerClass[] = L"TfrmMain";
constexpr wchar_t kLogWindowClass[] = L"BenchLogWindow";
constexpr wchar_t kInstallCaption[] = L"&Install";
constexpr wchar_t kClosedCaption[] = L"&Close";
constexpr wchar_t kBoxClass[] = L"#32770";
constexpr wchar_t kPeerClass[] = L"#32770";
constexpr wchar_t kPeerDetailsClass[] = L"SysListView32";
// bench/peer.nsi sets this as the status line's text at the end of the install.
constexpr wchar_t kPeerCompleted[] = L"Completed";
constexpr wchar_t kStandinClass[] = L"TfrmTrovimo";
constexpr int kStandinCount = 2;

double NowMs()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

template <class Condition> bool Poll(Condition condition)
{
    const double deadline = NowMs() + kPatienceMs;
    while (!condition()) {
        if (NowMs() > deadline)
            return false;
        Sleep(1);
    }
    return true;
}

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

// OUTPUT, when given, receives the child's standard output.
Process Start(const std::wstring& exe, const std::wstring& arguments, HANDLE output = nullptr)
{
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup,
                        &started))
        return {};
    CloseHandle(started.hThread);
    return {started.hProcess, started.dwProcessId};
}

bool Ended(const Process& process)
{
    return WaitForSingleObject(process.handle, 0) == WAIT_OBJECT_0;
}

std::string Hexadecimal(DWORD code)
{
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : "?";
}

// Why a program that should still run is not there: its exit code when it ended (under
// Wine 0xC0000135 is a DLL it imports that was not found), else that it took too long.
std::string Missing(const Process& process, const std::string& what)
{
    DWORD exitCode = 0;
    if (Ended(process) && GetExitCodeProcess(process.handle, &exitCode))
        return "ended with exit code " + Hexadecimal(exitCode) + " before " + what;
    return "no " + what + " within " + std::to_string(static_cast<int>(kPatienceMs / 1000)) + " s";
}

// A top-level window of this class that belongs to the process, if any.
HWND WindowOf(const Process& process, const wchar_t* windowClass, bool mustBeVisible)
{
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process.id && (!mustBeVisible || IsWindowVisible(window)))
            return window;
    }
    return nullptr;
}

// Another process's window text, as its window manager keeps it (no message is sent, so
// it answers while that process is busy).
bool CaptionIs(HWND window, const wchar_t* caption)
{
    wchar_t text[64] = L"";
    GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return window && std::wstring(text) == caption;
}

// A visible window below WINDOW of this class, and with this text when TEXT is given.
HWND VisibleDescendant(HWND window, const wchar_t* windowClass, const wchar_t* text = nullptr)
{
    struct Search {
        const wchar_t* windowClass;
        const wchar_t* text;
        HWND found;
    } search{windowClass, text, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM context) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(context);
            wchar_t name[64] = L"";
            GetClassNameW(child, name, static_cast<int>(std::size(name)));
            if (std::wstring(name) != wanted.windowClass || !IsWindowVisible(child) ||
                (wanted.text && !CaptionIs(child, wanted.text)))
                return TRUE;
            wanted.found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for the process to end; one that will not end is terminated.
bool AwaitEnd(Process& process, DWORD patienceMs)
{
    if (!process.handle)
        return false;
    const bool ended = WaitForSingleObject(process.handle, patienceMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.handle, 1);
        WaitForSingleObject(process.handle, kClosingMs);
    }
    CloseHandle(process.handle);
    process = {};
    return ended;
}

// Closes the window and waits for its process to end; a process that will not end is terminated.
bool Finish(Process& process, HWND window)
{
    if (process.handle && window)
        PostMessageW(window, WM_CLOSE, 0, 0);
    return AwaitEnd(process, window ? kClosingMs : 0);
}

// The counted run under way, printed with every figure so that run.sh pairs figures by run.
int gRun = 0;

void Report(bool counted, const std::string& label, double ms)
{
    if (counted)
        std::printf("%s %.3f %d\n", label.c_str(), ms, gRun);
    std::fflush(stdout);
}

bool Fail(const std::string& label, const std::string& why)
{
    std::printf("failed %s %s\n", label.c_str(), why.c_str());
    std::fflush(stdout);
    return false;
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

// The NSIS peer's window once its instfiles page shows with the details list, if it does.
HWND PeerPage(const Process& process)
{
    const HWND window = WindowOf(process, kPeerClass, true);
    return window && VisibleDescendant(window, kPeerDetailsClass) ? window : nullptr;
}

bool PeerCompleted(HWND window)
{
    return VisibleDescendant(window, L"Static", kPeerCompleted) != nullptr;
}

// Presses Close, which takes the place of Cancel once the page has finished, and waits for
// the peer to end.
bool ClosePeer(Process& process, HWND window)
{
    const HWND close = GetDlgItem(window, IDOK);
    if (Poll([&] { return IsWindowEnabled(close) || Ended(process); }))
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(close));
    return AwaitEnd(process, kClosingMs);
}

// CLASS #32770 stands for the NSIS peer, whose window shows with its page and which is
// closed once its install has completed.
bool StartupRun(bool counted, const std::string& label, const std::wstring& exe, const std::wstring& windowClass)
{
    const bool peer = windowClass == kPeerClass;
    const double start = NowMs();
    Process process = Start(exe, L"");
    if (!process.handle)
        return Fail(label, "cannot start");
    HWND window = nullptr;
    Poll([&] {
        window = peer ? PeerPage(process) : WindowOf(process, windowClass.c_str(), true);
        return window || Ended(process);
    });
    const double shown = NowMs();
    const std::string missing = window ? "" : Missing(process, "its window showed");
    if (peer && window)
        Poll([&] { return PeerCompleted(window) || Ended(process); });
    const bool closed = peer && window ? ClosePeer(process, window) : Finish(process, window);
    if (!window)
        return Fail(label, missing);
    if (!closed)
        return Fail(label, "did not end when its window was closed");
    Report(counted, label, shown - start);
    return true;
}

int Startup(int warmup, int runs, const std::vector<std::wstring>& programs)
{
    const std::size_t count = programs.size() / 3;
    bool ok = true;
    for (int run = 0; run < warmup + runs; ++run) {
        gRun = run - warmup;
        // Every other run in the reverse order, so that no program always goes first.
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = 3 * (run % 2 ? count - 1 - k : k);
            ok = StartupRun(run >= warmup, Narrow(programs[i]), programs[i + 1], programs[i + 2]) && ok;
        }
    }
    return ok ? 0 : 1;
}

void RemoveTargets(const std::vector<PlannedFile>& plan)
{
    for (const PlannedFile& file : plan)
        DeleteFileW(file.target.c_str());
}

bool TargetsMatchPayloads(const std::vector<PlannedFile>& plan, const std::string& label)
{
    for (const PlannedFile& file : plan) {
        std::string payload;
        std::string written;
        if (!ReadWholeFile(file.source, payload) || !ReadWholeFile(file.target, written) || payload != written)
            return Fail(label, "wrote wrong bytes to " + Narrow(file.target));
    }
    return true;
}

HWND InformationBoxOf(const Process& process)
{
    return WindowOf(process, kBoxClass, true);
}

// A pipe for a child's standard output: the child's end is inheritable, ours is not.
bool OpenPipe(HANDLE& reading, HANDLE& writing)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(&reading, &writing, &inheritable, 0))
        return false;
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// All a child wrote to the pipe, once it has closed its end.
std::string ReadToEnd(HANDLE reading)
{
    std::string output;
    char chunk[256];
    DWORD read = 0;
    while (ReadFile(reading, chunk, sizeof chunk, &read, nullptr) && read > 0)
        output.append(chunk, read);
    CloseHandle(reading);
    return output;
}

// The whole job as a user lives it, for the installer or the log window yardstick (the
// yardstick started with ARGUMENTS, and its own timing of its write loop read from its
// output): process start, Install pressed as soon as the window shows, the information box.
bool JobRun(bool counted, const std::string& label, const std::wstring& exe, const std::wstring& arguments,
            const wchar_t* windowClass, const std::vector<PlannedFile>& plan)
{
    RemoveTargets(plan);
    const bool timesItsLoop = !arguments.empty();
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (timesItsLoop && !OpenPipe(reading, writing))
        return Fail(label, "no pipe");
    const double start = NowMs();
    Process process = Start(exe, arguments, writing);
    if (writing)
        CloseHandle(writing);
    if (!process.handle) {
        if (reading)
            CloseHandle(reading);
        return Fail(label, "cannot start");
    }
    HWND window = nullptr;
    HWND install = nullptr;
    HWND cancel = nullptr;
    Poll([&] {
        window = WindowOf(process, windowClass, true);
        install = window ? FindWindowExW(window, nullptr, L"Button", kInstallCaption) : nullptr;
        return (install && IsWindowEnabled(install)) || Ended(process);
    });
    const double pressed = NowMs();
    std::string problem = install ? "" : Missing(process, "a ready window");
    HWND box = nullptr;
    double begun = 0;
    double written = 0;
    if (install) {
        cancel = FindWindowExW(window, install, L"Button", nullptr);
        PostMessageW(install, BM_CLICK, 0, 0);
        // The steps are seen from outside: Install disabled when the run begins, Cancel
        // relabelled when its last file is shown, then the box.
        Poll([&] {
            if (!begun && !IsWindowEnabled(install))
                begun = NowMs();
            if (begun && !written && CaptionIs(cancel, kClosedCaption))
                written = NowMs();
            return (box = InformationBoxOf(process)) != nullptr || Ended(process);
        });
        if (!box)
            problem = Missing(process, "the information box");
    }
    const double boxShown = NowMs();
    if (box) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        Poll([&] { return InformationBoxOf(process) == nullptr; });
    }
    const bool closed = Finish(process, window);
    const std::string output = reading ? ReadToEnd(reading) : "";
    if (!problem.empty())
        return Fail(label, problem);
    if (!closed)
        return Fail(label, "did not end when its window was closed");
    const std::size_t loop = output.find("loop ");
    if (timesItsLoop && loop == std::string::npos)
        return Fail(label, "did not time its write loop");
    if (!TargetsMatchPayloads(plan, label))
        return false;
    written = written ? written : boxShown;
    begun = begun ? begun : written;
    Report(counted, label + ".window", pressed - start);
    Report(counted, label + ".run", boxShown - pressed);
    Report(counted, label + ".job", boxShown - start);
    Report(counted, label + ".press", begun - pressed);
    Report(counted, label + ".files", written - begun);
    Report(counted, label + ".box", boxShown - written);
    if (timesItsLoop)
        Report(counted, label + ".loop", std::strtod(output.c_str() + loop + 5, nullptr));
    return true;
}

// The NSIS peer with its window: process start, its instfiles page with the details list
// shown, the install under way without a press, "Completed" in the page's status line.
bool PeerWindowRun(bool counted, const std::wstring& peer, const std::vector<PlannedFile>& plan)
{
    const std::string label = "peerwindow";
    RemoveTargets(plan);
    const double start = NowMs();
    Process process = Start(peer, L"");
    if (!process.handle)
        return Fail(label, "cannot start");
    HWND window = nullptr;
    Poll([&] { return (window = PeerPage(process)) != nullptr || Ended(process); });
    const double shown = NowMs();
    std::string problem = window ? "" : Missing(process, "its page with the details list");
    if (window && !(Poll([&] { return PeerCompleted(window) || Ended(process); }) && !Ended(process)))
        problem = Missing(process, "\"Completed\"");
    const double done = NowMs();
    const bool closed = window ? ClosePeer(process, window) : AwaitEnd(process, 0);
    if (!problem.empty())
        return Fail(label, problem);
    if (!closed)
        return Fail(label, "did not end when Close was pressed");
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label + ".window", shown - start);
    Report(counted, label + ".files", done - shown);
    Report(counted, label + ".job", done - start);
    return true;
}

bool PlainWriteRun(bool counted, const std::string& label, const std::wstring& plainWrite, const std::wstring& mode,
                   const std::wstring& planFile, const std::vector<PlannedFile>& plan)
{
    RemoveTargets(plan);
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!OpenPipe(reading, writing))
        return Fail(label, "no pipe");
    const double start = NowMs();
    Process process = Start(plainWrite, L"\"" + planFile + L"\"" + mode, writing);
    CloseHandle(writing);
    if (!process.handle) {
        CloseHandle(reading);
        return Fail(label, "cannot start");
    }
    const std::string output = ReadToEnd(reading);
    WaitForSingleObject(process.handle, INFINITE);
    const double ended = NowMs();
    DWORD exitCode = 1;
    GetExitCodeProcess(process.handle, &exitCode);
    AwaitEnd(process, 0);
    const std::size_t loop = output.find("loop ");
    if (exitCode != 0 || loop == std::string::npos) {
        return Fail(label, "the plain loop failed (exit code " + Hexadecimal(exitCode) + ")");
    }
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label + ".loop", std::strtod(output.c_str() + loop + 5, nullptr));
    Report(counted, label + ".process", ended - start);
    return true;
}

bool PeerRun(bool counted, const std::wstring& peer, const std::vector<PlannedFile>& plan)
{
    const std::string label = "peer";
    RemoveTargets(plan);
    const double start = NowMs();
    Process process = Start(peer, L"/S");
    if (!process.handle)
        return Fail(label, "cannot start");
    WaitForSingleObject(process.handle, INFINITE);
    const double ended = NowMs();
    DWORD exitCode = 1;
    GetExitCodeProcess(process.handle, &exitCode);
    AwaitEnd(process, 0);
    if (exitCode != 0) {
        return Fail(label, "the silent install failed (exit code " + Hexadecimal(exitCode) + ")");
    }
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label + ".process", ended - start);
    return true;
}

int Run(int warmup, int runs, const std::wstring& installer, const std::wstring& logWindow,
        const std::wstring& plainWrite, const std::wstring& peer, const std::wstring& planFile)
{
    const std::vector<PlannedFile> plan = ReadPlan(planFile);
    if (plan.empty()) {
        Fail("run", "empty plan");
        return 1;
    }
    const std::wstring quotedPlan = L"\"" + planFile + L"\"";
    // The windows in turn, every other run in the reverse order; then the write loops.
    const std::function<bool(bool)> windows[] = {
        [&](bool counted) { return JobRun(counted, "installer", installer, L"", kInstallerClass, plan); },
        [&](bool counted) { return JobRun(counted, "logwindow", logWindow, quotedPlan, kLogWindowClass, plan); },
        [&](bool counted) {
            return JobRun(counted, "logwindow+replace", logWindow, quotedPlan + L" replace", kLogWindowClass, plan);
        },
        [&](bool counted) {
            return JobRun(counted, "logwindow+replace+checked", logWindow, quotedPlan + L" replace checked",
                          kLogWindowClass, plan);
        },
        [&](bool counted) {
            return JobRun(counted, "logwindow+replace+checked+box", logWindow, quotedPlan + L" replace checked box",
                          kLogWindowClass, plan);
        },
        [&](bool counted) { return PeerWindowRun(counted, peer, plan); },
    };
    const std::size_t count = std::size(windows);
    bool ok = true;
    for (int run = 0; run < warmup + runs; ++run) {
        gRun = run - warmup;
        const bool counted = run >= warmup;
        for (std::size_t k = 0; k < count; ++k)
            ok = windows[run % 2 ? count - 1 - k : k](counted) && ok;
        ok = PlainWriteRun(counted, "plainwrite", plainWrite, L"", planFile, plan) && ok;
        ok = PlainWriteRun(counted, "replacewrite", plainWrite, L" replace", planFile, plan) && ok;
        ok = PeerRun(counted, peer, plan) && ok;
    }
    return ok ? 0 : 1;
}

int Pair(int warmup, int runs, const std::wstring& installer, const std::wstring& baseline,
         const std::wstring& planFile)
{
    const std::vector<PlannedFile> plan = ReadPlan(planFile);
    if (plan.empty()) {
        Fail("pair", "empty plan");
        return 1;
    }
    const std::function<bool(bool)> builds[] = {
        [&](bool counted) { return JobRun(counted, "paired", installer, L"", kInstallerClass, plan); },
        [&](bool counted) { return JobRun(counted, "baseline", baseline, L"", kInstallerClass, plan); },
    };
    bool ok = true;
    for (int run = 0; run < warmup + runs; ++run) {
        gRun = run - warmup;
        const bool counted = run >= warmup;
        ok = builds[run % 2](counted) && ok;
        ok = builds[1 - run % 2](counted) && ok;
    }
    return ok ? 0 : 1;
}

int CountStandinWindows(const Process (&standins)[kStandinCount])
{
    int count = 0;
    for (const Process& instance : standins)
        count += WindowOf(instance, kStandinClass, true) ? 1 : 0;
    return count;
}

bool AllEnded(const Process (&standins)[kStandinCount])
{
    return std::all_of(std::begin(standins), std::end(standins), Ended);
}

bool TerminateRun(bool counted, const std::wstring& installer, const std::wstring& standinExe)
{
    const std::string label = "terminate";
    Process standins[kStandinCount];
    for (Process& instance : standins)
        instance = Start(standinExe, L"");
    const bool running = Poll([&] { return CountStandinWindows(standins) == kStandinCount; });

    double allEnded = 0;
    double shown = 0;
    HWND window = nullptr;
    Process process;
    if (running) {
        const double start = NowMs();
        process = Start(installer, L"");
        Poll([&] {
            if (!allEnded && AllEnded(standins))
                allEnded = NowMs() - start;
            if (!shown && (window = WindowOf(process, kInstallerClass, true)) != nullptr)
                shown = NowMs() - start;
            return (allEnded && shown) || !process.handle || Ended(process);
        });
    }
    const bool closed = Finish(process, window);
    for (Process& instance : standins)
        Finish(instance, nullptr);
    if (!running)
        return Fail(label, "the two instances did not start");
    if (!allEnded)
        return Fail(label, "the instances were not terminated");
    if (!shown)
        return Fail(label, "no window shown");
    if (!closed)
        return Fail(label, "did not end when its window was closed");
    Report(counted, label + ".ended", allEnded);
    Report(counted, label + ".shown", shown);
    return true;
}

int Terminate(int warmup, int runs, const std::wstring& installer, const std::wstring& standinExe)
{
    bool ok = true;
    for (int run = 0; run < warmup + runs; ++run) {
        gRun = run - warmup;
        const bool counted = run >= warmup;
        if (run % 2)
            ok = StartupRun(counted, "terminate.baseline", installer, kInstallerClass) && ok;
        ok = TerminateRun(counted, installer, standinExe) && ok;
        if (run % 2 == 0)
            ok = StartupRun(counted, "terminate.baseline", installer, kInstallerClass) && ok;
    }
    return ok ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() >= 3) {
        const std::wstring& command = args[0];
        const int warmup = _wtoi(args[1].c_str());
        const int runs = _wtoi(args[2].c_str());
        const std::vector<std::wstring> rest(args.begin() + 3, args.end());
        if (command == L"startup" && !rest.empty() && rest.size() % 3 == 0)
            return Startup(warmup, runs, rest);
        if (command == L"run" && rest.size() == 5)
            return Run(warmup, runs, rest[0], rest[1], rest[2], rest[3], rest[4]);
        if (command == L"pair" && rest.size() == 3)
            return Pair(warmup, runs, rest[0], rest[1], rest[2]);
        // cppcheck-suppress knownConditionTrueFalse ; it takes the earlier size checks as exhaustive
        if (command == L"terminate" && rest.size() == 2)
            return Terminate(warmup, runs, rest[0], rest[1]);
    }
    std::fprintf(stderr, "usage: see the top of stopwatch.cpp\n");
    return 2;
}
