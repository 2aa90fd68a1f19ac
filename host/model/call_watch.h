// The host model's calls into a daemon, announced to a watcher: the test
// programs set one that bounds them (tests/support/hang_watch.h), so a call
// that never returns fails by its name. Each export, the unload, and each
// message the host's bounded waits dispatch (where the daemon's hook runs)
// is a daemon call; the bounded wait itself is the host's own time. Without
// a watcher (norvhost.exe, the benchmarks) announcing costs a pointer test.
#pragma once

namespace hostmodel {

enum class StepKind {
    DaemonCall,  // the daemon may run inside and hold the host's thread
    HostWait,    // the host's own bounded wait (PumpUntil)
};

// Told on the calling thread as a step begins (begins true) and once it has
// ended. `what` names the step, a "%lu" in it standing for `value`; it is a
// literal that outlives the step.
using StepWatcher = void (*)(StepKind kind, const char* what, unsigned long value, bool begins);

// One watcher for the process; nullptr stops the announcing.
void SetStepWatcher(StepWatcher watcher);

// Announces a step for its own lifetime.
class WatchedStep {
public:
    explicit WatchedStep(StepKind kind, const char* what, unsigned long value = 0);
    ~WatchedStep();
    WatchedStep(const WatchedStep&) = delete;
    WatchedStep& operator=(const WatchedStep&) = delete;

private:
    StepKind kind_;
    const char* what_;
    unsigned long value_;
    StepWatcher watcher_;  // the one told at the beginning is told at the end
};

}  // namespace hostmodel
