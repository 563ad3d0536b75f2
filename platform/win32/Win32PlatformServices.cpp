// The Windows binding of PlatformServices. Every call is the wide one, so install
// folders outside the ANSI code page work; text crosses the interface as UTF-8.
#include "Win32PlatformServices.h"

#include "Owners.h"

#include <algorithm>
#include <array>

namespace {

// 32-bit products register in the 32-bit view, so it is asked first.
constexpr std::array<REGSAM, 2> kRegistryViews{KEY_WOW64_32KEY, KEY_WOW64_64KEY};

constexpr DWORD kWritePiece = 61440;

// Spelled out here: the C library's formatting would add its whole printf to the program.
std::wstring HexDigits(DWORD value) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789abcdef"[value % 16]);
        value /= 16;
    } while (value != 0);
    return digits;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

std::optional<std::string> ReadStringInView(REGSAM view, const std::wstring& keyPath, const std::wstring& valueName,
                                            std::string_view valueNameForMessage) {
    HKEY opened = nullptr;
    // Read access only: a user who may not change the product's key still finds the product.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const KeyOwner key(opened);

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (size == 0) return std::string{};
    if (!IsStringType(type)) throw PlatformError("Invalid data type for '" + std::string(valueNameForMessage) + "'");

    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &read) !=
            ERROR_SUCCESS ||
        !IsStringType(type))
        throw PlatformError("Failed to get data for '" + std::string(valueNameForMessage) + "'");
    data.resize(read / sizeof(wchar_t));
    data.resize(std::min(data.find(L'\0'), data.size()));
    return Narrow(data);
}

bool WriteWhole(HANDLE file, PayloadBytes payload) {
    while (!payload.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(payload.size(), kWritePiece));
        DWORD written = 0;
        if (!WriteFile(file, payload.data(), piece, &written, nullptr) || written != piece) return false;
        payload = payload.subspan(piece);
    }
    return true;
}

// The full path in the form that bypasses the MAX_PATH limit, so that a target in a deep
// folder, or its temporary file a few characters longer, is not refused for its length.
std::wstring ExtendedPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size) return path;
    full.resize(length);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The target is replaced only when nobody holds it open and it is not read-only,
// as creating it over the old one would demand.
bool TargetReplaceable(const std::wstring& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    const HandleOwner existing(
        CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(existing);
}

}  // namespace

std::optional<std::string> Win32PlatformServices::ReadMachineString(std::string_view keyPath,
                                                                    std::string_view valueName) {
    const std::wstring wideKey = Widen(keyPath);
    const std::wstring wideValue = Widen(valueName);
    for (const REGSAM view : kRegistryViews) {
        if (auto value = ReadStringInView(view, wideKey, wideValue, valueName)) return value;
    }
    return std::nullopt;
}

WindowHandle Win32PlatformServices::FindTopLevelWindow(std::string_view windowClass, std::string_view title) {
    return reinterpret_cast<WindowHandle>(FindWindowW(Widen(windowClass).c_str(), Widen(title).c_str()));
}

bool Win32PlatformServices::TerminateWindowProcess(WindowHandle window) {
    DWORD processId = 0;
    // A window that is already gone took its instance with it.
    if (!GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &processId) || processId == 0) return true;
    const HandleOwner process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return false;
    TerminateProcess(process.get(), 0);
    return WaitForSingleObject(process.get(), static_cast<DWORD>(kTerminationWait.count())) == WAIT_OBJECT_0;
}

PayloadBytes Win32PlatformServices::OpenEmbeddedPayload(std::string_view name) {
    const HRSRC resource = FindResourceW(nullptr, Widen(name).c_str(), RT_RCDATA);
    const HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) throw PlatformError("Resource " + std::string(name) + " not found");
    return {static_cast<const std::byte*>(data), SizeofResource(nullptr, resource)};
}

bool Win32PlatformServices::WritePayloadToFile(PayloadBytes payload, const std::string& path) {
    const std::wstring target = ExtendedPath(Widen(path));
    if (!TargetReplaceable(target)) return false;

    // Written beside the target and moved over it in one step, so a failure never
    // leaves a half-written file or loses the old one.
    const std::wstring temporary = target + L"." + HexDigits(GetCurrentProcessId()) + L".tmp";
    HandleOwner file(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool written = WriteWhole(file.get(), payload) && FlushFileBuffers(file.get());
    file.Close();
    if (written &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

std::chrono::milliseconds Win32PlatformServices::Now() { return std::chrono::milliseconds(GetTickCount64()); }

void Win32PlatformServices::Pause(std::chrono::milliseconds duration) { Sleep(static_cast<DWORD>(duration.count())); }
