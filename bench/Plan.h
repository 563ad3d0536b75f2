// The benchmark's plan of the 30 files: one "source<TAB>target" a line (UTF-8), the
// sources being the payloads the installer embeds, the targets where it writes them;
// the two ways the yardsticks write them, and their timed write loop.
#pragma once

#include <windows.h>

#include <cstdio>
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

// Every payload of the plan read into memory, as the installer has them in its image.
inline bool ReadPayloads(const std::vector<PlannedFile>& plan, std::vector<std::string>& payloads)
{
    payloads.assign(plan.size(), {});
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!ReadWholeFile(plan[i].source, payloads[i]))
            return false;
    }
    return true;
}

// PAYLOAD written to PATH with nothing but CreateFileW and WriteFile; FLUSH adds FlushFileBuffers.
inline bool WritePlainly(const std::wstring& path, const std::string& payload, bool flush)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr) &&
                    written == payload.size() && (!flush || FlushFileBuffers(file));
    CloseHandle(file);
    return ok;
}

// PAYLOAD written as the installer writes it: beside the target, flushed, then moved over
// it, once an existing target has been opened for writing.
inline bool ReplaceSafely(const std::wstring& target, const std::string& payload)
{
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const HANDLE existing = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (existing == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(existing);
    }
    const std::wstring temporary = target + L".tmp";
    return WritePlainly(temporary, payload, true) &&
           MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Calls WRITE(i) for i below COUNT, timed with QueryPerformanceCounter; prints "loop
// MILLISECONDS" and "failed COUNT" on standard output and gives the exit code.
template <class Write> int TimedWriteLoop(std::size_t count, Write write)
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int failed = 0;
    for (std::size_t i = 0; i < count; ++i)
        failed += write(i) ? 0 : 1;
    QueryPerformanceCounter(&end);

    char report[64];
    const int length = std::snprintf(
        report, sizeof report, "loop %.3f\nfailed %d\n",
        1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart), failed);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report, static_cast<DWORD>(length), &written, nullptr);
    return failed == 0 && count > 0 ? 0 : 1;
}
