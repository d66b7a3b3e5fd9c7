// The OS side of one open serial port: the seam between portkit's port table and the platform
// (termios and poll on POSIX, a COM handle on Windows).
#pragma once

#include "platform/InPlace.h"

#include <cstddef>
#include <cstdint>

struct CommSettings {
    int32_t BaudRate;
    int32_t DataBits; // 5 to 8
    int32_t Parity;   // COMM_PARITY_NONE, _EVEN or _ODD
    int32_t StopBits; // 1 or 2
};

// Owns the OS handles of one port; opened and closed by the owner's thread, waited on by the reader.
class CCommDevice {
public:
    CCommDevice();
    ~CCommDevice();
    CCommDevice(const CCommDevice&) = delete;
    CCommDevice& operator=(const CCommDevice&) = delete;

    // Opens port `portNumber` with `settings`, kept from any other opener while open; false when it
    // cannot, with the system's error code in `systemError` (0 for a number that names no device). The
    // failure's trace line names the call, the device and the code.
    bool Open(int32_t portNumber, const CommSettings& settings, int32_t* systemError);
    void Close();

    // Sends all `length` bytes within `timeoutMilliseconds` in all; false when the port refused them,
    // went away, or took no more data until the time was up.
    bool Write(const char* data, std::size_t length, unsigned timeoutMilliseconds);

    // Reader thread: waits until bytes arrive or Wake is called, then reads up to `room` bytes. With
    // `bytesLeft` (the procedure left received bytes behind) the wait also ends after a short idle
    // period, so that the procedure is called again; without, an idle port may wake its reader rarely
    // (Windows) or never (POSIX). Returns their number, 0 when none came, or -1 when the port went away
    // (the device was unplugged or the other side of a pty closed). With `room` 0 it only waits, briefly.
    int WaitAndRead(char* buffer, std::size_t room, bool bytesLeft);

    // Any thread: makes a running WaitAndRead return soon.
    void Wake();

private:
    CInPlace<320> m_state; // the handles and the device's name
};
