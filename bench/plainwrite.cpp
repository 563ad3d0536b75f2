// The yardstick for the installation run: the same payloads written to the same targets
// with nothing but CreateFileW and WriteFile. The payloads are read into memory first,
// as the installer has them in its image; only the write loop is timed.
//   plainwrite PLAN            prints "loop MILLISECONDS" and "failed COUNT"
//   plainwrite PLAN replace    the same, each file written as a safe replacement: beside the
//                              target, flushed, then moved over it (where the run's file time goes)
#include "Plan.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    const bool replace = argc == 3 && std::wstring(argv[2]) == L"replace";
    if (argc != 2 && !replace) {
        std::fprintf(stderr, "usage: plainwrite PLAN [replace]\n");
        return 2;
    }
    const std::vector<PlannedFile> plan = ReadPlan(argv[1]);
    std::vector<std::string> payloads;
    if (!ReadPayloads(plan, payloads)) {
        std::fprintf(stderr, "cannot read the payloads of the plan\n");
        return 1;
    }
    return TimedWriteLoop(plan.size(), [&](std::size_t i) {
        return replace ? ReplaceSafely(plan[i].target, payloads[i]) : WritePlainly(plan[i].target, payloads[i], false);
    });
}
