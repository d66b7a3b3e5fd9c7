// CEvent on POSIX: a flag under a mutex, with a condition variable on the monotonic clock.
#include "platform/Event.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

namespace {

struct EventState {
    pthread_mutex_t Mutex;
    pthread_cond_t Signalled;
    bool IsSet; // guarded by Mutex
};

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
    pthread_cond_broadcast(&state.Signalled);
    pthread_mutex_unlock(&state.Mutex);
}

void CEvent::Reset() {
    EventState& state = State(m_storage);
    pthread_mutex_lock(&state.Mutex);
    state.IsSet = false;
    pthread_mutex_unlock(&state.Mutex);
}

// The deadline is taken on entry, so that nothing the wait does first can stretch it. No spinning
// before the sleep: a reply over a real 9600-baud line takes milliseconds, and under load each
// sched_yield of a spin gave the processor away for a whole time slice.
bool CEvent::Wait(unsigned milliseconds) {
    EventState& state = State(m_storage);
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
