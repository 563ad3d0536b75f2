// What the window yardsticks share: a top-level window of the installer's size that
// ends the program when it is closed, and the event loop that waits for that.
#pragma once

#include <windows.h>

inline LRESULT CALLBACK QuitWhenClosed(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window, not yet shown, or null when it cannot be made. PROCEDURE handles what the
// yardstick needs and passes the rest to QuitWhenClosed.
inline HWND CreateYardstickWindow(HINSTANCE instance, const wchar_t* windowClassName, const wchar_t* title, DWORD style,
                                  WNDPROC procedure = QuitWhenClosed)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = windowClassName;
    if (!RegisterClassW(&windowClass))
        return nullptr;
    return CreateWindowExW(0, windowClassName, title, style, CW_USEDEFAULT, CW_USEDEFAULT, 567, 422, nullptr, nullptr,
                           instance, nullptr);
}

inline int RunUntilClosed()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
