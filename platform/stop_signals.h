// Holding off the requests to stop (SIGINT, SIGTERM, SIGHUP; Ctrl+C and the
// console's close on Windows) while a write to a stick must not be cut
// short: one that arrives meanwhile is kept and handed back when the hold
// ends, for the program to act on once the stick is in a known state.
#pragma once

namespace plat {

class StopSignalHold {
  public:
    // From here on, a request to stop is kept instead of acted on.
    StopSignalHold();
    // Ends the hold if End() has not; a request kept is then dropped.
    ~StopSignalHold() { End(); }
    StopSignalHold(const StopSignalHold&) = delete;
    StopSignalHold& operator=(const StopSignalHold&) = delete;

    // The signal number of the first request that came during the hold
    // (0: none), without ending it.
    int Pending() const;
    // Ends the hold, the signals acted on as before it again; returns what
    // Pending() would.
    int End();

    // What the backends' handlers call: keeps the first request of a hold.
    // Safe in a signal handler.
    static void Keep(int signal);

  private:
    static void Forget();  // a new hold starts with none
    bool m_active = true;
};

}  // namespace plat
