// The Windows binding of PlatformServices. Every call is the wide one, so install
// folders outside the ANSI code page work; text crosses the interface as UTF-8.
#include "Win32PlatformServices.h"

#include "Owners.h"

#include <algorithm>
#include <array>

namespace {

// 32-bit products register in the 32-bit view, so it is asked first.
constexpr std::array<REGSAM, 2> kRegistryViews{KEY_WOW64_32KEY, KEY_WOW64_64KEY};

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
    // The id may have been given to another process since it was read; the open handle pins
    // it now, so the window must still belong to it. If not, the instance is gone.
    DWORD owner = 0;
    if (!GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner) || owner != processId) return true;
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
    return writer_.Write(payload, Widen(path));
}

std::chrono::milliseconds Win32PlatformServices::Now() { return std::chrono::milliseconds(GetTickCount64()); }

void Win32PlatformServices::Pause(std::chrono::milliseconds duration) { Sleep(static_cast<DWORD>(duration.count())); }
