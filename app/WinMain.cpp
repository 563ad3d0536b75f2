// Program start: loads the rich edit box from the system folder, runs the main
// window's event loop and ends with exit code 0 however the window was left.
#include "Unit1.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

struct RichEditLibrary {
    const wchar_t* file;
    const wchar_t* windowClass;
};

// The Unicode rich edit boxes, newest first.
constexpr RichEditLibrary kRichEditLibraries[] = {
    {L"Msftedit.dll", L"RICHEDIT50W"},
    {L"Riched20.dll", L"RichEdit20W"},
};

// comctl32 is not a known DLL: imported, it would be looked for in the program's folder
// before any code of ours runs, so the progress bar's library is loaded here instead.
bool RegisterProgressBar(HMODULE commonControls) {
    using Initialise = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initialise = commonControls ? reinterpret_cast<Initialise>(reinterpret_cast<void*>(
                                                 GetProcAddress(commonControls, "InitCommonControlsEx")))
                                           : nullptr;
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    return initialise && initialise(&classes);
}

void RunEventLoop(TfrmMain& frmMain) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frmMain.PreTranslate(message) || IsDialogMessageW(frmMain.Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First of all: where the system can, junctions that no administrator made are ignored.
    TrustOnlyAdministratorsRedirections();

    // Before anything loads a library: no DLL is ever taken from the program's folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const ModuleOwner commonControls(LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const bool progressBarRegistered = RegisterProgressBar(commonControls.get());

    ModuleOwner richEdit;
    const wchar_t* richEditClass = nullptr;
    for (const RichEditLibrary& library : kRichEditLibraries) {
        richEdit.reset(LoadLibraryExW(library.file, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (richEdit) {
            richEditClass = library.windowClass;
            break;
        }
    }

    try {
        if (!progressBarRegistered) throw PlatformError("The common controls could not be loaded");
        if (!richEditClass) throw PlatformError("The rich edit control could not be loaded");
        TfrmMain frmMain(instance, richEditClass);
        frmMain.Show();
        RunEventLoop(frmMain);
    } catch (const std::exception& error) {
        MessageBoxW(nullptr, Widen(ErrorBoxText(error.what())).c_str(), kApplicationTitle,
                    MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
    return 0;
}
