// Checks of the Windows binding of PlatformServices, run under Wine in the test prefix:
// registry values of awkward shapes and views, files replaced in one step, the folder
// held while its files are written, payload lookup and process termination. Argument: the folder of the stand-in products.
#include "Owners.h"
#include "Win32PlatformServices.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kKey[] = L"Software\\Vexlo\\PlatformCheck";
constexpr char kKeyNarrow[] = "Software\\Vexlo\\PlatformCheck";

int gPassed = 0;
int gFailed = 0;

void Check(bool condition, const std::string& what) {
    ++(condition ? gPassed : gFailed);
    if (!condition) std::printf("FAILED: %s\n", what.c_str());
}

void SetValue(REGSAM view, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr);
    RegSetValueExW(key, L"Path", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetText(REGSAM view, DWORD type, const std::wstring& text, bool withNul = true) {
    SetValue(view, type, text.c_str(), static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t)));
}

void ClearKeys() {
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, view, 0);
}

// What ReadMachineString gives: the text, "(absent)", or "throws: <message>".
std::string Read() {
    Win32PlatformServices platform;
    try {
        const auto value = platform.ReadMachineString(kKeyNarrow, "Path");
        return value ? *value : "(absent)";
    } catch (const PlatformError& error) {
        return std::string("throws: ") + error.what();
    }
}

void CheckRegistry() {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string expected;
    };
    const DWORD number = 42;
    const std::wstring longPath = L"C:\\" + std::wstring(600, L'd') + L"\\Trovimo.exe";
    const std::wstring withInnerNul(L"C:\\A\\a.exe\0C:\\B\\b.exe", 21);
    const std::vector<Case> cases = {
        {"missing key", [] {}, "(absent)"},
        {"string", [] { SetText(KEY_WOW64_32KEY, REG_SZ, L"C:\\Apps\\Trovimo.exe"); }, "C:\\Apps\\Trovimo.exe"},
        {"string without its final NUL", [] { SetText(KEY_WOW64_32KEY, REG_SZ, L"C:\\Apps\\x.exe", false); },
         "C:\\Apps\\x.exe"},
        {"text after an inner NUL is dropped", [&] { SetText(KEY_WOW64_32KEY, REG_SZ, withInnerNul, false); },
         "C:\\A\\a.exe"},
        {"expandable string stays unexpanded", [] { SetText(KEY_WOW64_32KEY, REG_EXPAND_SZ, L"%WINDIR%\\t.exe"); },
         "%WINDIR%\\t.exe"},
        {"empty string", [] { SetText(KEY_WOW64_32KEY, REG_SZ, L""); }, ""},
        {"longer than MAX_PATH", [&] { SetText(KEY_WOW64_32KEY, REG_SZ, longPath); }, Narrow(longPath)},
        {"number", [&] { SetValue(KEY_WOW64_32KEY, REG_DWORD, &number, sizeof number); },
         "throws: Invalid data type for 'Path'"},
        {"empty value of another type", [] { SetValue(KEY_WOW64_32KEY, REG_BINARY, nullptr, 0); }, ""},
        {"only in the 64-bit view", [] { SetText(KEY_WOW64_64KEY, REG_SZ, L"C:\\64\\p.exe"); }, "C:\\64\\p.exe"},
        {"32-bit view first",
         [] {
             SetText(KEY_WOW64_64KEY, REG_SZ, L"C:\\64\\p.exe");
             SetText(KEY_WOW64_32KEY, REG_SZ, L"C:\\32\\p.exe");
         },
         "C:\\32\\p.exe"},
        {"Unicode", [] { SetText(KEY_WOW64_32KEY, REG_SZ, L"C:\\Trøvimo \u0110 \u8a9e\\t.exe"); },
         "C:\\Tr\xc3\xb8vimo \xc4\x90 \xe8\xaa\x9e\\t.exe"},
    };
    for (const Case& c : cases) {
        ClearKeys();
        c.arrange();
        const std::string actual = Read();
        Check(actual == c.expected, std::string("registry, ") + c.name + ": got \"" + actual.substr(0, 80) + "\"");
    }
    ClearKeys();
}

std::string FileText(const std::wstring& path) {
    const HandleOwner file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "(missing)";
    std::string text(1 << 20, '\0');
    DWORD read = 0;
    ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
    return text;
}

void PutFile(const std::wstring& path, const std::string& text) {
    const HandleOwner file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool NoTemporaryFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    FindClose(search);
    return false;
}

void CheckFiles(const std::wstring& folder) {
    Win32PlatformServices platform;
    const std::string big(200000, 'b');  // more than one piece of 61440 bytes
    const auto bytes = [](const std::string& text) {
        return PayloadBytes(reinterpret_cast<const std::byte*>(text.data()), text.size());
    };
    const std::wstring target = folder + L"\\target.lng";
    const std::string targetNarrow = Narrow(target);

    struct Case {
        const char* name;
        std::function<void()> arrange;
        const std::string& payload;
        bool succeeds;
        std::string expected;  // the target's content afterwards
        std::function<void()> release;
    };
    const std::string empty;
    const std::string small = "new";
    HandleOwner holder;
    const std::vector<Case> cases = {
        {"new file", [] {}, small, true, "new", [] {}},
        {"replaces an existing file", [&] { PutFile(target, "old"); }, small, true, "new", [] {}},
        {"larger than one piece", [] {}, big, true, big, [] {}},
        {"empty payload", [&] { PutFile(target, "old"); }, empty, true, "", [] {}},
        {"read-only target stays", [&] {
             PutFile(target, "old");
             SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
         },
         small, false, "old", [&] { SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL); }},
        {"target in use stays", [&] {
             PutFile(target, "old");
             holder = HandleOwner(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
         },
         small, false, "old", [&] { holder.Close(); }},
    };
    for (const Case& c : cases) {
        DeleteFileW(target.c_str());
        c.arrange();
        const bool succeeded = platform.WritePayloadToFile(bytes(c.payload), targetNarrow);
        c.release();
        const std::string content = FileText(target);
        Check(succeeded == c.succeeds, std::string("file, ") + c.name + ": wrong result");
        Check(content == c.expected, std::string("file, ") + c.name + ": content \"" + content.substr(0, 20) + "\"");
        Check(NoTemporaryFiles(folder), std::string("file, ") + c.name + ": a temporary file is left");
    }
    DeleteFileW(target.c_str());
    Check(!platform.WritePayloadToFile(bytes(small), Narrow(folder + L"\\Missing\\x.lng")),
          "file, a missing folder is not created");
}

// The folder whose files are being written cannot be moved away until the next folder's turn.
void CheckFolderHeld(const std::wstring& scratch) {
    Win32PlatformServices platform;
    const std::string text = "x";
    const PayloadBytes payload(reinterpret_cast<const std::byte*>(text.data()), text.size());
    const std::wstring first = scratch + L"\\first";
    const std::wstring second = scratch + L"\\second";
    const std::wstring moved = scratch + L"\\moved";
    CreateDirectoryW(first.c_str(), nullptr);
    CreateDirectoryW(second.c_str(), nullptr);
    Check(platform.WritePayloadToFile(payload, Narrow(first + L"\\a.lng")), "folder, the first file is written");
    Check(!MoveFileW(first.c_str(), moved.c_str()), "folder, held while its files are written");
    Check(platform.WritePayloadToFile(payload, Narrow(second + L"\\b.lng")), "folder, the next folder's file is written");
    Check(MoveFileW(first.c_str(), moved.c_str()), "folder, released when the next folder's files come");
    DeleteFileW((moved + L"\\a.lng").c_str());
    DeleteFileW((second + L"\\b.lng").c_str());
    RemoveDirectoryW(moved.c_str());
    RemoveDirectoryW(first.c_str());
    RemoveDirectoryW(second.c_str());
}

void CheckPayloads() {
    Win32PlatformServices platform;
    const PayloadBytes payload = platform.OpenEmbeddedPayload("text_tv_check");
    const std::string text(reinterpret_cast<const char*>(payload.data()), payload.size());
    using namespace std::string_literals;
    Check(text == "0\0\r\npayload"s, "payload, the lower-case name finds the upper-case resource whole");
    std::string message;
    try {
        platform.OpenEmbeddedPayload("icon_xx");
    } catch (const PlatformError& error) {
        message = error.what();
    }
    Check(message == "Resource icon_xx not found", "payload, missing: \"" + message + "\"");
}

void CheckTermination(const std::wstring& standins) {
    Win32PlatformServices platform;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + standins + L"\\Trovimo.exe\"";
    Check(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process),
          "termination, the stand-in starts");
    const HandleOwner processHandle(process.hProcess);
    const HandleOwner threadHandle(process.hThread);
    // Long enough for a loaded machine; the loop ends when the window is there.
    WindowHandle window = kNoWindow;
    for (const ULONGLONG deadline = GetTickCount64() + 60000; window == kNoWindow && GetTickCount64() < deadline;
         Sleep(50))
        window = platform.FindTopLevelWindow("tfrmtrovimo", "TROVIMO");
    Check(window != kNoWindow, "termination, the window is found with other letter case");
    Check(platform.FindTopLevelWindow("TfrmTrovimo", "Trovimo 2") == kNoWindow, "termination, the whole title must match");
    Check(platform.TerminateWindowProcess(window), "termination, reported as ended");
    // Termination is asynchronous: the process has an exit code once it has ended.
    Check(WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0, "termination, the process ends");
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    Check(code == 0, "termination, exit code 0");
    Check(platform.TerminateWindowProcess(window), "termination, a window already gone counts as ended");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::printf("usage: platform_checks STANDIN_FOLDER SCRATCH_FOLDER\n");
        return 2;
    }
    CheckRegistry();
    CheckFiles(argv[2]);
    CheckFolderHeld(argv[2]);
    CheckPayloads();
    CheckTermination(argv[1]);
    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
