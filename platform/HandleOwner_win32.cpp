// CWinHandle and WriteAll: CloseHandle, and WriteFile in blocks of at most MAXDWORD bytes.
#include "platform/HandleOwner.h"

bool CWinHandle::Close() {
    const HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle == nullptr || CloseHandle(handle) != 0;
}

bool WriteAll(HANDLE file, const char* data, std::size_t length) {
    while (length > 0) {
        const DWORD block = length > MAXDWORD ? MAXDWORD : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file, data, block, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}
