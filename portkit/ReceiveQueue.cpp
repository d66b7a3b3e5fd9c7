// A bounded ring of received bytes under a lock; portable.
#include "portkit/ReceiveQueue.h"

#include <algorithm>
#include <cstring>

std::size_t CReceiveQueue::Push(const char* data, std::size_t length) {
    CLockGuard guard(m_lock);
    std::size_t pushed = std::min(length, CAPACITY - m_count);
    for (std::size_t done = 0; done < pushed;) {
        std::size_t tail = (m_head + m_count) % CAPACITY;
        std::size_t run = std::min(pushed - done, CAPACITY - tail);
        std::memcpy(m_bytes + tail, data + done, run);
        m_count += run;
        done += run;
    }
    return pushed;
}

std::size_t CReceiveQueue::Pop(char* buffer, std::size_t size) {
    CLockGuard guard(m_lock);
    std::size_t popped = std::min(size, m_count);
    for (std::size_t done = 0; done < popped;) {
        std::size_t run = std::min(popped - done, CAPACITY - m_head);
        std::memcpy(buffer + done, m_bytes + m_head, run);
        m_head = (m_head + run) % CAPACITY;
        m_count -= run;
        done += run;
    }
    return popped;
}

std::size_t CReceiveQueue::Room() {
    CLockGuard guard(m_lock);
    return CAPACITY - m_count;
}

std::size_t CReceiveQueue::Count() {
    CLockGuard guard(m_lock);
    return m_count;
}
