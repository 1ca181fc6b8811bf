// The controlling terminal of the terminal program: full-screen raw input,
// its size, reading bytes with a time limit, and writing the screen. Raw mode
// is undone on every way out: a normal return, exit(), a fatal signal, and
// SIGINT, SIGTERM and SIGHUP (which are turned into a close request the
// program answers by shutting down in order); SIGTSTP puts the terminal back
// while the program is stopped and takes it again on SIGCONT.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

struct TerminalSize {
    int columns = 80;
    int rows = 24;
};

// What happened to the process since the last TakeTerminalEvents().
enum TerminalEvent : unsigned {
    kTerminalCloseRequest = 1u << 0,  // SIGINT, SIGTERM or SIGHUP arrived
    kTerminalResized = 1u << 1,       // SIGWINCH
    kTerminalResumed = 1u << 2,       // back from a stop: redraw everything
};

bool StdinIsTerminal();
bool StdoutIsTerminal();

// Takes the terminal: raw input (no echo, no line buffering, no signal keys,
// so Ctrl+C and Ctrl+Z arrive as bytes), the alternate screen, the cursor
// hidden. False (and nothing changed) when standard input or output is not
// a terminal.
bool EnterRawTerminal();
// Why the last EnterRawTerminal() failed, where there is more to say than
// that it did; empty otherwise.
std::string TerminalRefusal();
// Gives it back exactly as it was found. Safe to call more than once.
void LeaveRawTerminal();
// Stops the process as Ctrl+Z does in a shell, with the terminal given back
// meanwhile; returns once the process has been continued.
void SuspendTerminal();

// The window size; 80 x 24 when it cannot be told.
TerminalSize GetTerminalSize();

// Reads what standard input has, up to `capacity` bytes, waiting at most
// `timeoutMs` (negative: no limit). Returns the count; 0 when the time ran
// out or WakeTerminalReader() was called or a signal arrived; -1 at the end
// of input or on an error.
int ReadTerminal(unsigned char* buffer, std::size_t capacity, int timeoutMs);
// Makes a ReadTerminal() that is waiting on another thread return now.
void WakeTerminalReader();

// Writes all of `text` to standard output.
void WriteTerminal(const std::string& text);

unsigned TakeTerminalEvents();

}  // namespace plat
