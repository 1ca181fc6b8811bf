// The application object and the process-wide services of the dialog
// framework: common controls, the program's resources, system metrics.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "platform/win32/dialog_state.h"

namespace {

CWinApp* g_app = nullptr;
std::string g_appName;

}  // namespace

namespace plat {

bool InitCommonControls(std::uint32_t size, std::uint32_t classes) {
    INITCOMMONCONTROLSEX init{};
    init.dwSize = size;
    init.dwICC = classes;
    // The size is passed on as given: a wrong one makes the call fail, as it
    // would for any caller of the system function.
    return InitCommonControlsEx(&init) != FALSE;
}

InstanceRef ProgramInstance() {
    return GetModuleHandleA(nullptr);
}

IconRef LoadIconA(InstanceRef instance, int resourceId) {
    return ::LoadIconA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(resourceId));
}

int GetSystemMetrics(int index) {
    return ::GetSystemMetrics(index);
}

namespace win32 {

const char* ApplicationName() {
    if (g_appName.empty()) {
        // The default name is the program file's name without its folder and
        // extension.
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string name(path, n < MAX_PATH ? n : 0);
        const auto slash = name.find_last_of("\\/");
        if (slash != std::string::npos) name.erase(0, slash + 1);
        const auto dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0) name.erase(dot);
        g_appName = name.empty() ? "Application" : name;
    }
    return g_appName.c_str();
}

}  // namespace win32
}  // namespace plat

CWinApp::CWinApp(const char* appName) {
    // One application object per process: the first one constructed.
    if (g_app == nullptr) g_app = this;
    if (appName != nullptr && g_app == this) g_appName = appName;
    m_hInstance = GetModuleHandleA(nullptr);
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

void CWinApp::SetRegistryKey(const char* key) {
    // Only the name is kept: nothing reads or writes settings under it.
    m_registryKey = key != nullptr ? key : "";
}

void CWinApp::OnHelp() {
    // There is no help content; the command is accepted and does nothing.
}

CWinApp* AfxGetApp() {
    return g_app;
}

void AfxEnableControlContainer() {
    // The templates host no embedded-object controls; nothing to set up.
}
