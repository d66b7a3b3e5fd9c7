// CCommDevice on Windows: \\.\COMn opened for overlapped I/O, so that the reader's wait and the worker's
// writes never queue behind each other; the reader waits for one byte, then takes what is queued.
#include "portkit/CommDevice.h"

#include "portkit/PortKit.h"

#include <windows.h>

#include <cstdio>
#include <new>

namespace {

constexpr DWORD READ_CONSTANT_MS =
    500;                           // one idle read returns after this, so the reader never blocks for long
constexpr DWORD FULL_WAIT_MS = 10; // while the queue is full

struct DeviceState {
    HANDLE Port = INVALID_HANDLE_VALUE;
    HANDLE ReadDone = nullptr;
    HANDLE WriteDone = nullptr;
    HANDLE WakeUp = nullptr;
};

static_assert(sizeof(DeviceState) <= 64, "CCommDevice storage too small");

DeviceState& State(unsigned char* storage) {
    return *std::launder(reinterpret_cast<DeviceState*>(storage));
}

void CloseHandleOnce(HANDLE& handle, HANDLE none) {
    if (handle != none) {
        CloseHandle(handle);
        handle = none;
    }
}

bool ApplySettings(HANDLE port, const CommSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(settings.BaudRate);
    dcb.ByteSize = static_cast<BYTE>(settings.DataBits);
    dcb.Parity = settings.Parity == COMM_PARITY_EVEN  ? EVENPARITY
                 : settings.Parity == COMM_PARITY_ODD ? ODDPARITY
                                                      : NOPARITY;
    dcb.StopBits = settings.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = settings.Parity != COMM_PARITY_NONE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = READ_CONSTANT_MS;
    return SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts) &&
           PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

// Reads up to `size` bytes; `wake` cuts the wait short. Returns the count, or -1 when the port failed.
int OverlappedRead(DeviceState& state, char* buffer, DWORD size) {
    OVERLAPPED ov{};
    ov.hEvent = state.ReadDone;
    DWORD got = 0;
    if (!ReadFile(state.Port, buffer, size, nullptr, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return -1;
        }
        HANDLE waits[2] = {state.ReadDone, state.WakeUp};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(state.Port);
        }
    }
    if (!GetOverlappedResult(state.Port, &ov, &got, TRUE)) {
        return GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
    }
    return static_cast<int>(got);
}

} // namespace

CCommDevice::CCommDevice() {
    new (m_storage) DeviceState;
}

CCommDevice::~CCommDevice() {
    Close();
}

bool CCommDevice::Open(int32_t portNumber, const CommSettings& settings) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(portNumber));
    DeviceState& state = State(m_storage);
    state.Port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    state.ReadDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state.WriteDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state.WakeUp = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (state.Port == INVALID_HANDLE_VALUE || state.ReadDone == nullptr || state.WriteDone == nullptr ||
        state.WakeUp == nullptr || !ApplySettings(state.Port, settings)) {
        Close();
        return false;
    }
    return true;
}

void CCommDevice::Close() {
    DeviceState& state = State(m_storage);
    CloseHandleOnce(state.Port, INVALID_HANDLE_VALUE);
    CloseHandleOnce(state.ReadDone, nullptr);
    CloseHandleOnce(state.WriteDone, nullptr);
    CloseHandleOnce(state.WakeUp, nullptr);
}

bool CCommDevice::Write(const char* data, std::size_t length) {
    DeviceState& state = State(m_storage);
    OVERLAPPED ov{};
    ov.hEvent = state.WriteDone;
    DWORD written = 0;
    if (!WriteFile(state.Port, data, static_cast<DWORD>(length), nullptr, &ov) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    return GetOverlappedResult(state.Port, &ov, &written, TRUE) && written == length;
}

int CCommDevice::WaitAndRead(char* buffer, std::size_t room) {
    DeviceState& state = State(m_storage);
    if (room == 0) {
        WaitForSingleObject(state.WakeUp, FULL_WAIT_MS);
        return 0;
    }
    int got = OverlappedRead(state, buffer, 1);
    if (got <= 0) {
        return got;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(state.Port, &errors, &status)) {
        return -1;
    }
    DWORD more = status.cbInQue < room - 1 ? status.cbInQue : static_cast<DWORD>(room - 1);
    if (more == 0) {
        return got;
    }
    int rest = OverlappedRead(state, buffer + 1, more);
    return rest < 0 ? got : got + rest;
}

void CCommDevice::Wake() {
    SetEvent(State(m_storage).WakeUp);
}
