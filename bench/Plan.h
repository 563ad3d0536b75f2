// The benchmark's plan of the 30 files: one "source<TAB>target" a line (UTF-8), the
// sources being the payloads the installer embeds, the targets where it writes them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PlannedFile {
    std::wstring source;
    std::wstring target;
};

inline std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The whole file, or false when it cannot be read.
inline bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x10000000;
    if (ok) {
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

inline std::vector<PlannedFile> ReadPlan(const std::wstring& path)
{
    std::string text;
    std::vector<PlannedFile> plan;
    if (!ReadWholeFile(path, text))
        return plan;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (const std::size_t tab = line.find('\t'); tab != std::string::npos)
            plan.push_back({Widen(line.substr(0, tab)), Widen(line.substr(tab + 1))});
        start = end + 1;
    }
    return plan;
}
