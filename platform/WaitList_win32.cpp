// CWaitList on Windows: WaitForMultipleObjects on the handles, for any one of them.
#include "platform/WaitList.h"

#include <windows.h>

#include <algorithm>

namespace {

// More handles than one wait takes: the first of them are waited for, and the rest looked at this soon.
constexpr DWORD CROWDED_WAIT_MS = 20;

} // namespace

bool CWaitList::Wait() const {
    DWORD timeout = m_limitMs < 0 ? INFINITE : static_cast<DWORD>(std::min<int64_t>(m_limitMs, INFINITE - 1));
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(m_handles.size(), MAXIMUM_WAIT_OBJECTS));
    if (count < m_handles.size()) {
        timeout = std::min(timeout, CROWDED_WAIT_MS);
    }
    if (count == 0) {
        Sleep(timeout);
        return false;
    }
    std::vector<HANDLE> handles;
    for (DWORD i = 0; i < count; ++i) {
        handles.push_back(reinterpret_cast<HANDLE>(m_handles[i]));
    }
    const DWORD waited = WaitForMultipleObjects(count, handles.data(), FALSE, timeout);
    return waited < WAIT_OBJECT_0 + count;
}
