// CEvent on Linux: one atomic word and the futex system call, so that a hand-over between two threads
// costs one call on each side (a condition variable costs a third: its waiter takes the mutex back as
// contended, and the setter's unlock then wakes nobody).
#include "platform/Event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

namespace {

constexpr int NOT_SET = 0;
constexpr int SET = 1;
constexpr int NOT_SET_SLEEPERS = 2; // not set, and a waiter sleeps or is about to: Set must wake it

// Written by Set, Reset and Wait on any thread; the futex word itself.
struct EventState {
    std::atomic<int> Word{NOT_SET};
};

static_assert(std::atomic<int>::is_always_lock_free && sizeof(std::atomic<int>) == sizeof(int),
              "the futex word must be a plain int");

int* FutexWord(EventState& state) {
    return reinterpret_cast<int*>(&state.Word);
}

timespec DeadlineAfter(unsigned milliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

} // namespace

CEvent::CEvent() = default;

CEvent::~CEvent() {
    if (m_created) {
        m_state.Destroy<EventState>();
    }
}

bool CEvent::Create() {
    if (!m_created) {
        m_state.Make<EventState>();
        m_created = true;
    }
    return true;
}

void CEvent::Set() {
    EventState& state = m_state.Get<EventState>();
    if (state.Word.exchange(SET) == NOT_SET_SLEEPERS) {
        syscall(SYS_futex, FutexWord(state), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
    }
}

// Sleepers stay marked: they are still waiting for the next Set.
void CEvent::Reset() {
    int set = SET;
    m_state.Get<EventState>().Word.compare_exchange_strong(set, NOT_SET);
}

// The deadline is taken on entry and is absolute (FUTEX_WAIT_BITSET on the monotonic clock), so that
// wake-ups without a Set cannot stretch it. No spinning before the sleep: a reply over a real 9600-baud
// line takes milliseconds.
bool CEvent::Wait(unsigned milliseconds) {
    EventState& state = m_state.Get<EventState>();
    const timespec deadline = DeadlineAfter(milliseconds);
    for (;;) {
        int word = state.Word.load();
        if (word == SET) {
            return true;
        }
        if (word == NOT_SET && !state.Word.compare_exchange_strong(word, NOT_SET_SLEEPERS)) {
            continue;
        }
        if (syscall(SYS_futex, FutexWord(state), FUTEX_WAIT_BITSET_PRIVATE, NOT_SET_SLEEPERS, &deadline,
                    nullptr, FUTEX_BITSET_MATCH_ANY) != 0 &&
            errno == ETIMEDOUT) {
            return state.Word.load() == SET;
        }
    }
}
