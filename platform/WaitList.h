// Sleeping until the first of several things happens: a descriptor that becomes readable or reaches its
// end (POSIX: poll), or a handle that is signalled (Windows: WaitForMultipleObjects), or a time limit;
// portable interface (WaitList_posix.cpp, WaitList_win32.cpp).
#pragma once

#include <cstdint>
#include <vector>

// A POSIX file descriptor or a Win32 handle that a loop waits for; it stays its owner's.
using WaitHandle = intptr_t;

// What a loop waits for before it looks at its world again, and for how long at most.
class CWaitList {
public:
    void Add(WaitHandle handle) { m_handles.push_back(handle); }
    // The loop looks again after `milliseconds` at the latest (0 or less: at once); the shortest limit
    // given counts. Without one the wait is for the handles alone.
    void LimitMs(int64_t milliseconds) {
        const int64_t limit = milliseconds > 0 ? milliseconds : 0;
        m_limitMs = m_limitMs < 0 || limit < m_limitMs ? limit : m_limitMs;
    }

    // Sleeps until a handle is ready or the limit has passed; true when a handle was ready. A signal
    // handled meanwhile may end the wait early (POSIX).
    bool Wait() const;

private:
    std::vector<WaitHandle> m_handles;
    int64_t m_limitMs = -1; // -1: none
};
