// CEvent on POSIX: a flag under a mutex, with a condition variable on the monotonic clock.
#include "platform/Event.h"

#include <pthread.h>

#include <sched.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>

namespace {

struct EventState {
    pthread_mutex_t Mutex;
    pthread_cond_t Signalled;
    bool IsSet; // guarded by Mutex
    // Mirrors IsSet for the short look before sleeping; written under Mutex.
    std::atomic<bool> Hint;
};

// A reply usually comes within tens of microseconds: looking a little while before sleeping saves the
// waiter a wake-up, which costs as much as the exchange itself.
constexpr int SPIN_ROUNDS = 200;

void SpinWhileUnset(const EventState& state) {
    for (int i = 0; i < SPIN_ROUNDS && !state.Hint.load(std::memory_order_acquire); ++i) {
        sched_yield();
    }
}

static_assert(sizeof(EventState) <= 128, "CEvent storage too small");

EventState& State(unsigned char* storage) {
    return *std::launder(reinterpret_cast<EventState*>(storage));
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
        pthread_cond_destroy(&State(m_storage).Signalled);
        pthread_mutex_destroy(&State(m_storage).Mutex);
    }
}

bool CEvent::Create() {
    if (m_created) {
        return true;
    }
    EventState* state = new (m_storage) EventState;
    state->IsSet = false;
    state->Hint = false;
    if (pthread_mutex_init(&state->Mutex, nullptr) != 0) {
        return false;
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    int error = pthread_cond_init(&state->Signalled, &attributes);
    pthread_condattr_destroy(&attributes);
    if (error != 0) {
        pthread_mutex_destroy(&state->Mutex);
        return false;
    }
    m_created = true;
    return true;
}

void CEvent::Set() {
    EventState& state = State(m_storage);
    pthread_mutex_lock(&state.Mutex);
    state.IsSet = true;
    state.Hint.store(true, std::memory_order_release);
    pthread_cond_broadcast(&state.Signalled);
    pthread_mutex_unlock(&state.Mutex);
}

void CEvent::Reset() {
    EventState& state = State(m_storage);
    pthread_mutex_lock(&state.Mutex);
    state.IsSet = false;
    state.Hint.store(false, std::memory_order_release);
    pthread_mutex_unlock(&state.Mutex);
}

bool CEvent::Wait(unsigned milliseconds) {
    EventState& state = State(m_storage);
    SpinWhileUnset(state);
    const timespec deadline = DeadlineAfter(milliseconds);
    pthread_mutex_lock(&state.Mutex);
    int error = 0;
    while (!state.IsSet && error != ETIMEDOUT) {
        error = pthread_cond_timedwait(&state.Signalled, &state.Mutex, &deadline);
    }
    bool signalled = state.IsSet;
    pthread_mutex_unlock(&state.Mutex);
    return signalled;
}
