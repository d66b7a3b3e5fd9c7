// A mutual-exclusion lock (a critical section on Windows, a mutex on POSIX); portable interface.
#pragma once

#include "platform/InPlace.h"

class CLock {
public:
    CLock();
    ~CLock();
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter();
    void Leave();

private:
    CInPlace<64> m_state; // pthread_mutex_t or CRITICAL_SECTION
};

// Holds a CLock for the life of a scope.
class CLockGuard {
public:
    explicit CLockGuard(CLock& lock) : m_lock(lock) { m_lock.Enter(); }
    ~CLockGuard() { m_lock.Leave(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CLock& m_lock;
};
