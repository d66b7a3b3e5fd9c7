// Ctrl-C counted on POSIX: handlers for SIGINT (one) and SIGTERM and SIGHUP (two) that only add to a
// lock-free counter, and a SIGTERM handler that only notes a stop request. The POSIX side of the
// interrupt seam.
#include "cli/system/Interrupt.h"

#include <atomic>
#include <csignal>

namespace {

constexpr int CAUGHT[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> Count{0};
static_assert(std::atomic<int>::is_always_lock_free, "the counter is written by a signal handler");
std::atomic<bool> Stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is written by a signal handler");

void OnSignal(int signal) {
    Count.fetch_add(signal == SIGINT ? 1 : 2);
}

void OnStopRequest(int) {
    Stop.store(true);
}

bool Install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(signal, &action, nullptr) == 0;
}

} // namespace

bool CatchStopRequest() {
    return Install(SIGTERM, OnStopRequest);
}

bool StopRequested() {
    return Stop.load();
}

const std::atomic<bool>* StopRequestFlag() {
    return &Stop;
}

bool CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    // Each handler runs with the others held back; system calls go on where the system allows it.
    sigemptyset(&action.sa_mask);
    for (const int signal : CAUGHT) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int signal : CAUGHT) {
        installed = sigaction(signal, &action, nullptr) == 0 && installed;
    }
    return installed;
}

int InterruptCount() {
    return Count.load();
}
