// The few Windows scalar types and constants that the dialog, the wizard and
// the device code speak in. On a Windows build the backend files include
// <windows.h> first; the guards below then keep its own definitions.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Messages.
#ifndef WM_PAINT
#define WM_SETICON 0x0080
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define BN_CLICKED 0
#define ICON_BIG 1
#define ICON_SMALL 0
#endif

// Virtual keys.
#ifndef VK_SPACE
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#endif

// Show commands and window positioning.
#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#endif
#ifndef SWP_NOSIZE
#define SWP_NOSIZE 0x0001
#define SWP_NOZORDER 0x0004
#endif

// Message boxes and dialog results.
#ifndef MB_OK
#define MB_OK 0x00000000
#define MB_ICONHAND 0x00000010
#define MB_ICONINFORMATION 0x00000040
#define IDOK 1
#define IDCANCEL 2
#endif

// Save-file dialog flags.
#ifndef OFN_OVERWRITEPROMPT
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_PATHMUSTEXIST 0x00000800
#endif

// System metrics.
#ifndef SM_CXICON
#define SM_CXICON 11
#define SM_CYICON 12
#endif

// Framework command ids.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif
