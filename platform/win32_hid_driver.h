// The Windows HID driver: DirectInput 8 finds the game controllers, hid.dll
// answers the capability queries, and overlapped file I/O carries the
// reports. Built only for Windows (library kx9_hid_win32); the entry point
// installs it with plat::InstallHid(&plat::Win32Hid()).
#pragma once

#include "platform/hid.h"

namespace plat {

// One instance for the process, alive until it ends.
HidDriver& Win32Hid();

}  // namespace plat
