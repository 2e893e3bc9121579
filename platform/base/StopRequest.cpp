#include "platform/base/StopRequest.h"

#include <signal.h>

#include <atomic>

namespace quillane {

namespace {

// 0: no request; -1: asked by the program itself; otherwise the signal's number. A signal
// handler may touch only a lock-free atomic.
std::atomic<int> g_request{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kAskedByTheProgram = -1;

void OnSignal(int signal) {
    // The first request is the one reported; later ones change nothing.
    int none = 0;
    g_request.compare_exchange_strong(none, signal);
}

}  // namespace

void RequestStop() {
    int none = 0;
    g_request.compare_exchange_strong(none, kAskedByTheProgram);
}

bool StopRequested() {
    return g_request.load() != 0;
}

void ClearStopRequest() {
    g_request.store(0);
}

void StopOnInterruptAndTerminate() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: reads and writes of the picture in progress go on undisturbed;
    // SA_RESETHAND: pressing Ctrl-C again ends the program at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() {
    const int request = g_request.load();
    return request > 0 ? request : 0;
}

const char* StopSignalName() {
    switch (StopSignal()) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case 0:
            return "";
        default:
            return "a signal";
    }
}

}  // namespace quillane
