// The program's entry: harden the DLL search, create the window hidden, run
// start-up, show the window and process messages until it closes. Every way
// out returns from here, and the exit code is 0 on every path.
#include "core/handlers.h"
#include "host/win32/dll_search.h"
#include "host/win32/win32_host.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: only the system folder is searched.
    const bool strictSearch = brunvald::win32::HardenDllSearch();
    // The window takes no text; without an input method, showing it loads no
    // COM.
    brunvald::win32::DisableInputMethod();
    // The system DLLs that the platform's DLLs load by name later, loaded now
    // from the system folder, so that no later request finds one beside us.
    brunvald::win32::PreloadSystemDlls(strictSearch);

    brunvald::win32::Win32Host host;
    brunvald::ProgramState state;
    const brunvald::ui::WindowHandlers handlers{&brunvald::FormCreate, &brunvald::InstallRun,
                                                &brunvald::UninstallRun};
    brunvald::ui::MainWindow window(host, state, handlers, instance);
    if (!window.Create()) return 0;

    // A refusal has closed the window before it was ever shown.
    if (window.FormCreate() == brunvald::AfterHandler::CloseWindow) return 0;
    window.ShowCentred();
    // Nothing so far has loaded COM; the window is on the screen before it
    // is loaded.
    brunvald::win32::PreloadComDlls();
    return window.RunMessageLoop();
}
