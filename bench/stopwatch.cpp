// Times the installer and its yardsticks from inside the Wine prefix with
// QueryPerformanceCounter, polling every millisecond; run.sh reads what it prints,
// one "LABEL MILLISECONDS RUN" a line for every counted run ("failed LABEL WHY" otherwise).
//
//   stopwatch startup WARMUP RUNS (LABEL EXE CLASS)...
//       process start to the shown window of class CLASS, the programs taken in turn
//   stopwatch run WARMUP RUNS INSTALLER PLAINWRITE LOGWINDOW PEER PLAN
//       Install press to the information box; the plain write loop, in-process and start
//       to exit, again with safe replacement, and again shown file by file in the log
//       window; the peer's silent install, start to exit.
//       Each from no target file, and each run's files compared with the payloads.
//   stopwatch terminate WARMUP RUNS INSTALLER STANDIN
//       with two instances of STANDIN running: installer start to both ended, and to the
//       shown window; then, as the baseline, start to the shown window with none running
#include "Plan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

constexpr double kPatienceMs = 30000;
constexpr DWORD kClosingMs = 10000;
constexpr wchar_t kInstallerClass[] = L"TfrmMain";
constexpr wchar_t kInstallCaption[] = L"&Install";
constexpr wchar_t kBoxClass[] = L"#32770";
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

// Closes the window and waits for its process to end; a process that will not end is terminated.
bool Finish(Process& process, HWND window)
{
    if (!process.handle)
        return false;
    if (window)
        PostMessageW(window, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(process.handle, window ? kClosingMs : 0) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.handle, 1);
        WaitForSingleObject(process.handle, kClosingMs);
    }
    CloseHandle(process.handle);
    process = {};
    return ended;
}

// The counted run under way, printed with every figure so that run.sh pairs figures by run.
int gRun = 0;

void Report(bool counted, const std::string& label, double ms)
{
    if (counted)
        std::printf("%s %.3f %d\n", label.c_str(), ms, gRun);
    std::fflush(stdout);
}

bool Fail(const std::string& label, const char* why)
{
    std::printf("failed %s %s\n", label.c_str(), why);
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

bool StartupRun(bool counted, const std::string& label, const std::wstring& exe, const std::wstring& windowClass)
{
    const double start = NowMs();
    Process process = Start(exe, L"");
    if (!process.handle)
        return Fail(label, "cannot start");
    HWND window = nullptr;
    Poll([&] { return (window = WindowOf(process, windowClass.c_str(), true)) != nullptr || Ended(process); });
    const double shown = NowMs();
    const bool closed = Finish(process, window);
    if (!window)
        return Fail(label, "no window shown");
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
            return Fail(label, ("wrote wrong bytes to " + Narrow(file.target)).c_str());
    }
    return true;
}

HWND InformationBoxOf(const Process& process)
{
    return WindowOf(process, kBoxClass, true);
}

bool InstallerRun(bool counted, const std::wstring& installer, const std::vector<PlannedFile>& plan)
{
    const std::string label = "run.installer";
    RemoveTargets(plan);
    Process process = Start(installer, L"");
    if (!process.handle)
        return Fail(label, "cannot start");
    HWND window = nullptr;
    HWND install = nullptr;
    Poll([&] {
        window = WindowOf(process, kInstallerClass, true);
        install = window ? FindWindowExW(window, nullptr, L"Button", kInstallCaption) : nullptr;
        return (install && IsWindowEnabled(install)) || Ended(process);
    });
    if (!install) {
        Finish(process, window);
        return Fail(label, "no ready window");
    }
    const double pressed = NowMs();
    PostMessageW(install, BM_CLICK, 0, 0);
    HWND box = nullptr;
    Poll([&] { return (box = InformationBoxOf(process)) != nullptr || Ended(process); });
    const double boxShown = NowMs();
    if (!box) {
        Finish(process, window);
        return Fail(label, "no information box");
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Poll([&] { return InformationBoxOf(process) == nullptr; });
    if (!Finish(process, window))
        return Fail(label, "did not end when its window was closed");
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label, boxShown - pressed);
    return true;
}

bool PlainWriteRun(bool counted, const std::string& label, const std::wstring& plainWrite, const std::wstring& mode,
                   const std::wstring& planFile, const std::vector<PlannedFile>& plan)
{
    RemoveTargets(plan);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inheritable, 0))
        return Fail(label, "no pipe");
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    const double start = NowMs();
    Process process = Start(plainWrite, L"\"" + planFile + L"\"" + mode, writing);
    CloseHandle(writing);
    if (!process.handle) {
        CloseHandle(reading);
        return Fail(label, "cannot start");
    }
    std::string output;
    char chunk[256];
    DWORD read = 0;
    while (ReadFile(reading, chunk, sizeof chunk, &read, nullptr) && read > 0)
        output.append(chunk, read);
    CloseHandle(reading);
    WaitForSingleObject(process.handle, INFINITE);
    const double ended = NowMs();
    DWORD exitCode = 1;
    GetExitCodeProcess(process.handle, &exitCode);
    Finish(process, nullptr);
    const std::size_t loop = output.find("loop ");
    if (exitCode != 0 || loop == std::string::npos)
        return Fail(label, "the plain loop failed");
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label + ".loop", std::strtod(output.c_str() + loop + 5, nullptr));
    Report(counted, label + ".process", ended - start);
    return true;
}

bool PeerRun(bool counted, const std::wstring& peer, const std::vector<PlannedFile>& plan)
{
    const std::string label = "run.peer";
    RemoveTargets(plan);
    const double start = NowMs();
    Process process = Start(peer, L"/S");
    if (!process.handle)
        return Fail(label, "cannot start");
    WaitForSingleObject(process.handle, INFINITE);
    const double ended = NowMs();
    DWORD exitCode = 1;
    GetExitCodeProcess(process.handle, &exitCode);
    Finish(process, nullptr);
    if (exitCode != 0)
        return Fail(label, "the silent install failed");
    if (!TargetsMatchPayloads(plan, label))
        return false;
    Report(counted, label + ".process", ended - start);
    return true;
}

int Run(int warmup, int runs, const std::wstring& installer, const std::wstring& plainWrite,
        const std::wstring& logWindow, const std::wstring& peer, const std::wstring& planFile)
{
    const std::vector<PlannedFile> plan = ReadPlan(planFile);
    if (plan.empty()) {
        Fail("run", "empty plan");
        return 1;
    }
    bool ok = true;
    for (int run = 0; run < warmup + runs; ++run) {
        gRun = run - warmup;
        const bool counted = run >= warmup;
        ok = InstallerRun(counted, installer, plan) && ok;
        ok = PlainWriteRun(counted, "run.plainwrite", plainWrite, L"", planFile, plan) && ok;
        ok = PlainWriteRun(counted, "run.replacewrite", plainWrite, L" replace", planFile, plan) && ok;
        ok = PlainWriteRun(counted, "run.logwindow", logWindow, L"", planFile, plan) && ok;
        ok = PeerRun(counted, peer, plan) && ok;
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
        // cppcheck-suppress knownConditionTrueFalse ; it takes the earlier size checks as exhaustive
        if (command == L"terminate" && rest.size() == 2)
            return Terminate(warmup, runs, rest[0], rest[1]);
    }
    std::fprintf(stderr, "usage: see the top of stopwatch.cpp\n");
    return 2;
}
