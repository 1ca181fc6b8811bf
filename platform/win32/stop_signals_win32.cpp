#include <windows.h>

#include <csignal>

#include "platform/stop_signals.h"

namespace plat {
namespace {

// Ctrl+C is SIGINT, as the C runtime has it; a break or the console going
// away asks the program to end, as SIGTERM does.
BOOL WINAPI KeepConsoleEvent(DWORD event) {
    StopSignalHold::Keep(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

}  // namespace

StopSignalHold::StopSignalHold() {
    Forget();
    ::SetConsoleCtrlHandler(KeepConsoleEvent, TRUE);
}

int StopSignalHold::End() {
    if (m_active) {
        ::SetConsoleCtrlHandler(KeepConsoleEvent, FALSE);
        m_active = false;
    }
    return Pending();
}

}  // namespace plat
