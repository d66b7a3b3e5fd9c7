// A mutual-exclusion lock (a critical section on Windows, a mutex on POSIX); portable interface.
#pragma once

#include <cstddef>

class CLock {
public:
    CLock();
    ~CLock();
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter();
    void Leave();

private:
    // Room for the OS object, so that this header needs no OS header; each backend checks the size.
    static constexpr std::size_t STORAGE_SIZE = 64;
    alignas(alignof(void*)) unsigned char m_storage[STORAGE_SIZE];
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
