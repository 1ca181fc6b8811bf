// The terminal on Windows: the console in virtual-terminal mode with UTF-8
// output, key events read with ReadConsoleInputW and handed on as the
// progressive keyboard protocol's sequences (so the front-end gets the real
// releases), an event that other threads set to wake the reader, and the
// console's modes and code pages put back on every way out: a normal return,
// exit(), Ctrl+C and Ctrl+Break, the console window closed, a crash.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/terminal.h"
#include "platform/win32/console_keys.h"

namespace plat {
namespace {

// Alternate screen on, cursor hidden, wrap off; and the reverse.
constexpr char kTakeScreen[] = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[2J\x1b[H";
constexpr char kGiveScreen[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
// A console closed, or the session ending, gives the program this long
// before it is ended (the system allows about five seconds).
constexpr DWORD kCloseGraceMs = 4000;

HANDLE g_in = INVALID_HANDLE_VALUE;
HANDLE g_out = INVALID_HANDLE_VALUE;
DWORD g_savedInMode = 0;
DWORD g_savedOutMode = 0;
UINT g_savedInCp = 0;
UINT g_savedOutCp = 0;
std::atomic<int> g_raw{0};  // the console is ours and the saved values are valid
std::atomic<unsigned> g_events{0};
std::atomic<int> g_closeRequests{0};
bool g_handlersInstalled = false;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
std::string g_refusal;

// Only the reading thread uses these.
std::string g_pending;
ConsoleKeyEncoder g_encoder;
TerminalSize g_lastSize;

HANDLE WakeEvent() {
    static const HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return wake;
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

void WriteAll(const char* data, std::size_t size) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
            return;
        }
        data += written;
        size -= written;
    }
}

// From any thread, the handlers' included: gives the console back as it
// was found, once.
void RestoreNow() {
    if (g_raw.exchange(0) == 0) return;
    // While the sequences still mean something to the console.
    WriteAll(kGiveScreen, sizeof kGiveScreen - 1);
    ::SetConsoleMode(g_in, g_savedInMode);
    ::SetConsoleMode(g_out, g_savedOutMode);
    ::SetConsoleCP(g_savedInCp);
    ::SetConsoleOutputCP(g_savedOutCp);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // The first request closes the dialog in order; a second one means
        // the program is not getting there, so it ends now with the console
        // back (128 + SIGINT or SIGBREAK, as a signal's end is told).
        if (g_closeRequests.exchange(1) != 0) {
            RestoreNow();
            ::ExitProcess(event == CTRL_C_EVENT ? 130 : 149);
        }
        g_events.fetch_or(kTerminalCloseRequest);
        ::SetEvent(WakeEvent());
        return TRUE;
    }
    // The window closed, or the user logging off or the machine shutting
    // down: the process ends when this returns, so the dialog is asked to
    // close and given the time the system allows to do it.
    g_closeRequests.store(1);
    g_events.fetch_or(kTerminalCloseRequest);
    ::SetEvent(WakeEvent());
    for (DWORD waited = 0; g_raw.load() != 0 && waited < kCloseGraceMs; waited += 50) ::Sleep(50);
    RestoreNow();
    return TRUE;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
    RestoreNow();
    return g_previousFilter != nullptr ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

void InstallHandlers() {
    if (g_handlersInstalled) return;
    g_handlersInstalled = true;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    g_previousFilter = ::SetUnhandledExceptionFilter(OnCrash);
    std::atexit(LeaveRawTerminal);
}

void NoteResize() {
    const TerminalSize size = GetTerminalSize();
    if (size.columns != g_lastSize.columns || size.rows != g_lastSize.rows) {
        g_lastSize = size;
        g_events.fetch_or(kTerminalResized);
    }
}

int TakePending(unsigned char* buffer, std::size_t capacity) {
    const std::size_t n = g_pending.size() < capacity ? g_pending.size() : capacity;
    std::memcpy(buffer, g_pending.data(), n);
    g_pending.erase(0, n);
    return static_cast<int>(n);
}

}  // namespace

bool StdinIsTerminal() {
    return IsConsole(STD_INPUT_HANDLE);
}

bool StdoutIsTerminal() {
    return IsConsole(STD_OUTPUT_HANDLE);
}

bool EnterRawTerminal() {
    if (g_raw.load() != 0) return true;
    g_refusal.clear();
    g_in = ::GetStdHandle(STD_INPUT_HANDLE);
    g_out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!::GetConsoleMode(g_in, &g_savedInMode) || !::GetConsoleMode(g_out, &g_savedOutMode)) {
        return false;
    }
    g_savedInCp = ::GetConsoleCP();
    g_savedOutCp = ::GetConsoleOutputCP();
    // Everything the screen draws is escape sequences: a console without
    // them would show the sequences as text.
    if (!::SetConsoleMode(g_out, g_savedOutMode | ENABLE_PROCESSED_OUTPUT |
                                     ENABLE_VIRTUAL_TERMINAL_PROCESSING |
                                     DISABLE_NEWLINE_AUTO_RETURN)) {
        g_refusal = "this console does not take virtual-terminal sequences (Windows 10 or later)";
        return false;
    }
    // Keys one by one, Ctrl+C a key, no echo, no line editing, no mouse
    // selection (which would stop the output while it lasts).
    if (!::SetConsoleMode(g_in, ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS) ||
        !::SetConsoleOutputCP(CP_UTF8)) {
        ::SetConsoleMode(g_in, g_savedInMode);
        ::SetConsoleMode(g_out, g_savedOutMode);
        ::SetConsoleOutputCP(g_savedOutCp);
        return false;
    }
    ::SetConsoleCP(CP_UTF8);
    g_raw.store(1);
    InstallHandlers();
    WriteAll(kTakeScreen, sizeof kTakeScreen - 1);
    g_pending = ConsoleKeyEncoder::ProtocolAnswer();
    g_encoder = ConsoleKeyEncoder();
    g_lastSize = GetTerminalSize();
    return true;
}

void LeaveRawTerminal() {
    RestoreNow();
}

std::string TerminalRefusal() {
    return g_refusal;
}

// A console has no job control: Ctrl+Z is a key like any other.
void SuspendTerminal() {}

TerminalSize GetTerminalSize() {
    TerminalSize size;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
        if (columns > 0 && rows > 0) {
            size.columns = columns;
            size.rows = rows;
        }
    }
    return size;
}

int ReadTerminal(unsigned char* buffer, std::size_t capacity, int timeoutMs) {
    if (buffer == nullptr || capacity == 0) return 0;
    if (!g_pending.empty()) return TakePending(buffer, capacity);
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE waits[2] = {in, WakeEvent()};
    const DWORD woke = ::WaitForMultipleObjects(
        2, waits, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    // Not every console reports a new size as an event: it is compared too.
    NoteResize();
    if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_TIMEOUT) return 0;
    if (woke != WAIT_OBJECT_0) return -1;
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!::ReadConsoleInputW(in, records, 64, &count)) return -1;
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT) {
            g_events.fetch_or(kTerminalResized);
            continue;
        }
        if (records[i].EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& k = records[i].Event.KeyEvent;
        ConsoleKey key;
        key.virtualKey = k.wVirtualKeyCode;
        key.ch = static_cast<char16_t>(k.uChar.UnicodeChar);
        key.down = k.bKeyDown != FALSE;
        key.ctrl = (k.dwControlKeyState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
        key.alt = (k.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
        key.shift = (k.dwControlKeyState & SHIFT_PRESSED) != 0;
        // A held key's repeats may come folded into one record.
        const WORD times = key.down && k.wRepeatCount > 1 ? k.wRepeatCount : 1;
        for (WORD t = 0; t < times; ++t) g_pending += g_encoder.Encode(key);
    }
    return TakePending(buffer, capacity);
}

void WakeTerminalReader() {
    ::SetEvent(WakeEvent());
}

void WriteTerminal(const std::string& text) {
    WriteAll(text.data(), text.size());
}

unsigned TakeTerminalEvents() {
    return g_events.exchange(0);
}

}  // namespace plat
