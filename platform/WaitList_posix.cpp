// CWaitList on POSIX: poll on the descriptors, each waited for until it is readable or at its end.
#include "platform/WaitList.h"

#include <poll.h>

#include <algorithm>
#include <climits>

bool CWaitList::Wait() const {
    std::vector<pollfd> fds;
    for (const WaitHandle handle : m_handles) {
        fds.push_back({static_cast<int>(handle), POLLIN, 0});
    }
    const int timeout = m_limitMs < 0 ? -1 : static_cast<int>(std::min<int64_t>(m_limitMs, INT_MAX));
    return poll(fds.data(), fds.size(), timeout) > 0;
}
