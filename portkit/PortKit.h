// Our serial-port library: open a port with line settings, write, read without blocking, and be called
// on a thread of the library's own whenever received bytes wait. Portable interface; the OS side lives
// behind CommDevice.h.
#pragma once

#include <cstdint>

// Called on the library's reader thread whenever received bytes wait, and once when the port goes away;
// both arguments are 0.
using CommNotifyProcType = int32_t (*)(int32_t, int32_t);

constexpr int32_t COMM_PARITY_NONE = 'N';
constexpr int32_t COMM_PARITY_EVEN = 'E';
constexpr int32_t COMM_PARITY_ODD = 'O';

// The longest a WriteCommBlock may take: a device that takes no data for this long fails the write,
// one that pauses for less does not. As long as the device has to answer a command.
constexpr unsigned COMM_WRITE_TIMEOUT_MS = 2000;

// Opens port `portNumber` (COMn on Windows; an entry of the path table elsewhere, see CommPortPaths.h)
// with the given line settings, for this process alone: while it is open, a second open of the same
// device fails. Returns a handle of 0 or more, or a negative value when the port cannot be opened. The
// three reserved arguments must be 0.
int32_t CreateCommPort(int32_t portNumber, int32_t baudRate, int32_t dataBits, int32_t parity,
                       int32_t stopBits, int32_t reserved1, int32_t reserved2, int32_t reserved3);

// The system's error code of this thread's last CreateCommPort (errno, GetLastError()): 0 after a
// success, or after a failure without a system cause (an unknown port number, unsupported settings, a
// full table).
int32_t GetCommPortOpenError();

// Stops the port's notifications (waiting for a running one to return) and closes it. Must not be called
// from inside the notify procedure. Returns 0, or a negative value for an unknown handle. A process that
// ends (exit, or a return from main) with ports open has them closed this way, before the static
// objects that were made before it first used portkit are destroyed.
int32_t DestroyCommPort(int32_t handle);

// What ReadCommBlock returns once the port went away (the device was unplugged or hung up) and every
// byte that came before has been read: nothing more will come.
constexpr int32_t COMM_PORT_GONE = -2;

// Copies up to `size` received bytes, in arrival order, and returns their number; 0 when none wait. Never
// blocks. COMM_PORT_GONE once the port went away and nothing waits; -1 for an unknown handle.
int32_t ReadCommBlock(int32_t handle, char* buffer, int32_t size);

// Sends `length` bytes within COMM_WRITE_TIMEOUT_MS. Nonzero when all were accepted for sending, 0 on
// failure (a port that went away, or a device that took no data for that long, included).
int32_t WriteCommBlock(int32_t handle, const char* data, int32_t length);

// From now on `proc` is called on the library's reader thread whenever received bytes wait, and once when
// the port goes away, so that its owner need not wait out a reply that cannot come. The two reserved
// arguments must be 0. Returns 0, or a negative value for an unknown handle.
int32_t InstallNotifyProc(int32_t handle, int32_t reserved1, int32_t reserved2, CommNotifyProcType proc);
