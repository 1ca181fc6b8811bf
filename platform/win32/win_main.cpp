// The Windows entry point. Like the dialog framework's own, it only runs the
// one application object: its InitInstance shows the main dialog modally and
// returns once the dialog has closed, and the program then ends.
#include <windows.h>

#include "platform/dialog.h"
#include "platform/hid.h"
#include "platform/win32_hid_driver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The real sticks: DirectInput finds them, hid.dll and file I/O talk.
    plat::InstallHid(&plat::Win32Hid());
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 0;
    app->m_hInstance = instance;
    app->InitInstance();
    return 0;
}
