#include "call_watch.h"

#include <atomic>

namespace hostmodel {

namespace {

std::atomic<StepWatcher> g_watcher{nullptr};

}  // namespace

void SetStepWatcher(StepWatcher watcher) { g_watcher = watcher; }

WatchedStep::WatchedStep(StepKind kind, const char* what, unsigned long value)
    : kind_(kind), what_(what), value_(value), watcher_(g_watcher) {
    if (watcher_ != nullptr) {
        watcher_(kind_, what_, value_, true);
    }
}

WatchedStep::~WatchedStep() {
    if (watcher_ != nullptr) {
        watcher_(kind_, what_, value_, false);
    }
}

}  // namespace hostmodel
