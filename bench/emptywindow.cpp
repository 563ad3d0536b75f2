// The yardstick for start-up: the least a Win32 program does to show a window of the
// installer's size. It ends when the window is closed.
#include "YardstickWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const HWND window =
        CreateYardstickWindow(instance, L"BenchEmptyWindow", L"Empty window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return RunUntilClosed();
}
