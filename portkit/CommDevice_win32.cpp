// CCommDevice on Windows: \\.\COMn opened for overlapped I/O, so that the reader's wait and the worker's
// writes never queue behind each other; the reader waits for one byte, then takes what is queued. A COM
// port opened without sharing is this process's alone.
#include "portkit/CommDevice.h"

#include "core/DebugPrint.h"
#include "platform/HandleOwner.h"
#include "portkit/PortKit.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD READ_CONSTANT_MS =
    500;                           // one idle read returns after this, so the reader never blocks for long
constexpr DWORD FULL_WAIT_MS = 10; // while the queue is full

// Written by Open and Close on the owner's thread, before the reader exists and after it ended; read by
// the reader, the writer and Wake in between.
struct DeviceState {
    CWinHandle Port;
    CWinHandle ReadDone;
    CWinHandle WriteDone;
    CWinHandle WakeUp;
    char Name[32] = ""; // for trace lines
};

// Traces a failed call on the port with the code it left, and returns that code.
int32_t TraceFailure(const DeviceState& state, const char* operation, DWORD code) {
    DebugPrint("WARNING: cannot %s \"%s\": error %lu\n", operation, state.Name,
               static_cast<unsigned long>(code));
    return static_cast<int32_t>(code);
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
    // Whatever the driver held before: received bytes are not dropped while DSR is low, sending does
    // not wait for an XON, and no byte is replaced after a parity error.
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fErrorChar = FALSE;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = READ_CONSTANT_MS;
    // Write waits its own limit; the driver ends a stalled write by itself as well.
    timeouts.WriteTotalTimeoutConstant = COMM_WRITE_TIMEOUT_MS;
    return SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts) &&
           PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

// What a failed read means: a read cut short by Wake, or one whose read time-out expired, got nothing
// yet (Windows reports the expiry as a read of 0 bytes, Wine as ERROR_TIMEOUT); anything else is a
// port that went away.
int FailedReadCount(DWORD error) {
    return error == ERROR_OPERATION_ABORTED || error == ERROR_TIMEOUT ? 0 : -1;
}

// Reads up to `size` bytes; `wake` cuts the wait short. Returns the count, or -1 when the port failed.
int OverlappedRead(DeviceState& state, char* buffer, DWORD size) {
    OVERLAPPED ov{};
    ov.hEvent = state.ReadDone.Get();
    DWORD got = 0;
    if (!ReadFile(state.Port.Get(), buffer, size, nullptr, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return FailedReadCount(GetLastError());
        }
        HANDLE waits[2] = {state.ReadDone.Get(), state.WakeUp.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(state.Port.Get());
        }
    }
    if (!GetOverlappedResult(state.Port.Get(), &ov, &got, TRUE)) {
        return FailedReadCount(GetLastError());
    }
    return static_cast<int>(got);
}

} // namespace

CCommDevice::CCommDevice() {
    m_state.Make<DeviceState>();
}

CCommDevice::~CCommDevice() {
    Close();
    m_state.Destroy<DeviceState>();
}

bool CCommDevice::Open(int32_t portNumber, const CommSettings& settings, int32_t* systemError) {
    DeviceState& state = m_state.Get<DeviceState>();
    std::snprintf(state.Name, sizeof state.Name, "\\\\.\\COM%d", static_cast<int>(portNumber));
    *systemError = 0;
    state.Port.Reset(CreateFileA(state.Name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
    if (!state.Port.IsOpen()) {
        *systemError = TraceFailure(state, "open", GetLastError());
        return false;
    }
    state.ReadDone.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    state.WriteDone.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    state.WakeUp.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!state.ReadDone.IsOpen() || !state.WriteDone.IsOpen() || !state.WakeUp.IsOpen()) {
        *systemError = TraceFailure(state, "make the events of", GetLastError());
    } else if (!ApplySettings(state.Port.Get(), settings)) {
        *systemError = TraceFailure(state, "set up", GetLastError());
    } else {
        return true;
    }
    Close();
    return false;
}

void CCommDevice::Close() {
    DeviceState& state = m_state.Get<DeviceState>();
    state.Port.Reset();
    state.ReadDone.Reset();
    state.WriteDone.Reset();
    state.WakeUp.Reset();
}

// A write that has not ended in time is cancelled, and its end waited for, since it writes to `ov`.
bool CCommDevice::Write(const char* data, std::size_t length, unsigned timeoutMilliseconds) {
    DeviceState& state = m_state.Get<DeviceState>();
    OVERLAPPED ov{};
    ov.hEvent = state.WriteDone.Get();
    DWORD written = 0;
    if (!WriteFile(state.Port.Get(), data, static_cast<DWORD>(length), nullptr, &ov) &&
        GetLastError() != ERROR_IO_PENDING) {
        TraceFailure(state, "write", GetLastError());
        return false;
    }
    const bool inTime = WaitForSingleObject(state.WriteDone.Get(), timeoutMilliseconds) == WAIT_OBJECT_0;
    if (!inTime) {
        CancelIo(state.Port.Get());
    }
    if (!GetOverlappedResult(state.Port.Get(), &ov, &written, TRUE)) {
        TraceFailure(state, "write", inTime ? GetLastError() : ERROR_TIMEOUT);
        return false;
    }
    if (written != length) {
        TraceFailure(state, "write", ERROR_TIMEOUT);
        return false;
    }
    return true;
}

// Every idle read ends after READ_CONSTANT_MS, whether bytes were left or not.
int CCommDevice::WaitAndRead(char* buffer, std::size_t room, bool) {
    DeviceState& state = m_state.Get<DeviceState>();
    if (room == 0) {
        WaitForSingleObject(state.WakeUp.Get(), FULL_WAIT_MS);
        return 0;
    }
    int got = OverlappedRead(state, buffer, 1);
    if (got <= 0) {
        return got;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(state.Port.Get(), &errors, &status)) {
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
    SetEvent(m_state.Get<DeviceState>().WakeUp.Get());
}
