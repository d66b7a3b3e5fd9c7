// Ctrl-C counted on POSIX: handlers for SIGINT (one) and SIGTERM and SIGHUP (two) that only add to a
// lock-free counter and write a byte to a pipe of the process's own, which a waiting loop polls; and a
// SIGTERM handler that only notes a stop request. The POSIX side of the interrupt seam.
#include "cli/system/Interrupt.h"

#include "platform/FdOwner.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int CAUGHT[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> Count{0};
static_assert(std::atomic<int>::is_always_lock_free, "the counter is written by a signal handler");
std::atomic<bool> Stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is written by a signal handler");

// Made once by CatchInterrupts before the handlers, never closed; non-blocking at both ends, so that a
// full pipe (a loop that has not looked yet) costs the handler nothing.
struct WakePipe {
    CFd Read;
    CFd Write;
};
WakePipe& Wake() {
    static WakePipe* pipe = [] {
        auto* made = new WakePipe;
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
            made->Read.Reset(ends[0]);
            made->Write.Reset(ends[1]);
        }
        return made;
    }();
    return *pipe;
}
// Read by the handler, which must not make the pipe.
std::atomic<int> WakeWrite{-1};

void OnSignal(int signal) {
    Count.fetch_add(signal == SIGINT ? 1 : 2);
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(WakeWrite.load(), &byte, 1);
    errno = saved;
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
    WakeWrite = Wake().Write.Get();
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

WaitHandle InterruptWaitHandle() {
    char sink[64];
    while (read(Wake().Read.Get(), sink, sizeof sink) > 0) {
    }
    return Wake().Read.Get();
}
