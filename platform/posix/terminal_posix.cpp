// The terminal on POSIX: termios raw mode, the alternate screen, a self-pipe
// that signal handlers and other threads use to wake the reader, and
// handlers that give the terminal back before the process stops or dies.
// Everything a handler touches is async-signal-safe: tcsetattr, write,
// sigaction, raise and plain flags.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace plat {
namespace {

// Alternate screen on, cursor hidden, wrap off; and the reverse. On the
// alternate screen (whose keyboard settings are its own), the progressive
// keyboard protocol is asked for: keys as escape codes, with their
// releases and repeats and the shifted key (flags 1 | 2 | 4 | 8), followed by
// a query whose answer tells that the terminal does it. Terminals without the
// protocol ignore both; the flags are popped before the screen is given back.
constexpr char kTakeScreen[] = "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[2J\x1b[H\x1b[>15u\x1b[?u";
constexpr char kGiveScreen[] = "\x1b[<u\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";

struct termios g_saved;
volatile std::sig_atomic_t g_raw = 0;  // raw mode is on and g_saved is valid
int g_pipe[2] = {-1, -1};
std::atomic<unsigned> g_events{0};
volatile std::sig_atomic_t g_closeRequests = 0;
bool g_handlersInstalled = false;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction g_previousFatal[sizeof kFatalSignals / sizeof kFatalSignals[0]];

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            struct pollfd p = {fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return;
        }
    }
}

// Runs in signal handlers: a failed write (a full pipe) must not leave its
// errno to the code the signal interrupted.
void Poke() {
    if (g_pipe[1] >= 0) {
        const int saved = errno;
        const char c = 0;
        // A full pipe already wakes the reader; the result does not matter.
        [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
        errno = saved;
    }
}

// Async-signal-safe: gives the terminal back as it was found.
void RestoreNow() {
    if (g_raw == 0) return;
    const int saved = errno;
    WriteAll(STDOUT_FILENO, kGiveScreen, sizeof kGiveScreen - 1);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    g_raw = 0;
    errno = saved;
}

bool TakeNow() {
    struct termios raw = g_saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return false;
    g_raw = 1;
    WriteAll(STDOUT_FILENO, kTakeScreen, sizeof kTakeScreen - 1);
    return true;
}

void OnCloseSignal(int sig) {
    // The first request closes the dialog in order; a second one means the
    // program is not getting there, so it ends now with the terminal back.
    if (g_closeRequests != 0) {
        RestoreNow();
        ::_exit(128 + sig);
    }
    g_closeRequests = 1;
    g_events.fetch_or(kTerminalCloseRequest);
    Poke();
}

void OnResize(int) {
    g_events.fetch_or(kTerminalResized);
    Poke();
}

void OnStop(int) {
    const int saved = errno;
    const bool wasRaw = g_raw != 0;
    RestoreNow();
    // Stop for real with the default action, then take the terminal again.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    struct sigaction mine;
    ::sigaction(SIGTSTP, &dfl, &mine);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, SIGTSTP);
    sigset_t old;
    ::sigprocmask(SIG_UNBLOCK, &unblock, &old);
    ::raise(SIGTSTP);
    // Continued.
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    ::sigaction(SIGTSTP, &mine, nullptr);
    if (wasRaw) TakeNow();
    g_events.fetch_or(kTerminalResumed);
    Poke();
    errno = saved;
}

void OnFatal(int sig) {
    RestoreNow();
    // Hand the signal to whoever had it before (the default action, or a
    // sanitizer's report), which runs when the fault happens again or, for
    // a raised signal, at once.
    for (std::size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i) {
        if (kFatalSignals[i] == sig) ::sigaction(sig, &g_previousFatal[i], nullptr);
    }
    if (sig == SIGABRT || sig == SIGFPE) ::raise(sig);
}

void Install(int sig, void (*handler)(int), struct sigaction* previous = nullptr) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, previous);
}

void InstallHandlers() {
    if (g_handlersInstalled) return;
    g_handlersInstalled = true;
    Install(SIGINT, OnCloseSignal);
    Install(SIGTERM, OnCloseSignal);
    Install(SIGHUP, OnCloseSignal);
    Install(SIGWINCH, OnResize);
    Install(SIGTSTP, OnStop);
    for (std::size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i) {
        Install(kFatalSignals[i], OnFatal, &g_previousFatal[i]);
    }
    std::atexit(LeaveRawTerminal);
}

bool MakePipe() {
    if (g_pipe[0] >= 0) return true;
    if (::pipe(g_pipe) != 0) return false;
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return true;
}

}  // namespace

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool EnterRawTerminal() {
    if (g_raw != 0) return true;
    if (!StdinIsTerminal() || !StdoutIsTerminal()) return false;
    if (::tcgetattr(STDIN_FILENO, &g_saved) != 0) return false;
    if (!MakePipe()) return false;
    InstallHandlers();
    return TakeNow();
}

void LeaveRawTerminal() {
    RestoreNow();
}

std::string TerminalRefusal() {
    return {};
}

void SuspendTerminal() {
    // The handler does the work, so a stop from a key and one from the
    // shell's kill behave alike.
    ::raise(SIGTSTP);
}

TerminalSize GetTerminalSize() {
    TerminalSize size;
    struct winsize ws;
    std::memset(&ws, 0, sizeof ws);
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        size.columns = ws.ws_col;
        size.rows = ws.ws_row;
    }
    return size;
}

int ReadTerminal(unsigned char* buffer, std::size_t capacity, int timeoutMs) {
    if (buffer == nullptr || capacity == 0) return 0;
    MakePipe();
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_pipe[0], POLLIN, 0}};
    const int ready = ::poll(fds, g_pipe[0] >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (ready == 0) return 0;
    if (g_pipe[0] >= 0 && (fds[1].revents & POLLIN) != 0) {
        char drain[64];
        while (::read(g_pipe[0], drain, sizeof drain) > 0) {
        }
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) return 0;
    const ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    return -1;
}

void WakeTerminalReader() {
    MakePipe();
    Poke();
}

void WriteTerminal(const std::string& text) {
    WriteAll(STDOUT_FILENO, text.data(), text.size());
}

unsigned TakeTerminalEvents() {
    return g_events.exchange(0);
}

}  // namespace plat
