// The yardstick for the installation run: the same payloads written to the same targets
// with nothing but CreateFileW and WriteFile. The payloads are read into memory first,
// as the installer has them in its image; only the write loop is timed.
//   plainwrite PLAN            prints "loop MILLISECONDS" and "failed COUNT"
//   plainwrite PLAN replace    the same, each file written as a safe replacement: beside the
//                              target, flushed, then moved over it (where the run's file time goes)
#include "Plan.h"

#include <cstdio>

namespace {

bool WriteAll(const std::wstring& path, const std::string& payload, bool flush)
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

bool ReplaceSafely(const std::wstring& target, const std::string& payload)
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
    return WriteAll(temporary, payload, true) &&
           MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool replace = argc == 3 && std::wstring(argv[2]) == L"replace";
    if (argc != 2 && !replace) {
        std::fprintf(stderr, "usage: plainwrite PLAN [replace]\n");
        return 2;
    }
    const std::vector<PlannedFile> plan = ReadPlan(argv[1]);
    std::vector<std::string> payloads(plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!ReadWholeFile(plan[i].source, payloads[i])) {
            std::fprintf(stderr, "cannot read payload %zu of the plan\n", i);
            return 1;
        }
    }

    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int failed = 0;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const bool ok =
            replace ? ReplaceSafely(plan[i].target, payloads[i]) : WriteAll(plan[i].target, payloads[i], false);
        failed += ok ? 0 : 1;
    }
    QueryPerformanceCounter(&end);

    std::printf("loop %.3f\nfailed %d\n",
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                failed);
    return failed == 0 && !plan.empty() ? 0 : 1;
}
