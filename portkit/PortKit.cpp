// portkit's port table: handles, the receive queue and the reader thread that calls the notify
// procedure; portable, over the CCommDevice seam.
#include "portkit/PortKit.h"

#include "platform/Lock.h"
#include "platform/Thread.h"
#include "portkit/CommDevice.h"
#include "portkit/ReceiveQueue.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

constexpr int MAX_OPEN_PORTS = 16;
constexpr std::size_t READ_BLOCK_SIZE = 256;

struct OpenPort {
    // Written under the table's lock by CreateCommPort and DestroyCommPort; read by any thread.
    std::atomic<bool> InUse{false};
    // Opened before the reader exists, closed after it ended.
    CCommDevice Device;
    CReceiveQueue Queue;
    CThread Reader;
    std::atomic<CommNotifyProcType> Proc{nullptr};
    // Set by DestroyCommPort before it wakes the reader and joins it.
    std::atomic<bool> Stopping{false};
    // Set by the reader when the port went away, after the last bytes it queued; later writes fail and
    // reads of an empty queue say so.
    std::atomic<bool> Gone{false};
};

struct PortTable {
    CLock Lock;
    OpenPort Ports[MAX_OPEN_PORTS];
};

// Written by CreateCommPort on its caller's thread, read by GetCommPortOpenError on the same thread.
thread_local int32_t LastOpenError = 0;

void CloseAtExit();

// Made on first use and never destroyed: a static table would join its readers in its destructor,
// which never returns for a reader that nobody told to stop. Ports still open when the process ends
// are closed by CloseAtExit instead, which runs before every static made before the first use.
PortTable& Table() {
    static PortTable* table = [] {
        auto* made = new PortTable;
        std::atexit(CloseAtExit);
        return made;
    }();
    return *table;
}

OpenPort* Find(int32_t handle) {
    if (handle < 0 || handle >= MAX_OPEN_PORTS || !Table().Ports[handle].InUse) {
        return nullptr;
    }
    return &Table().Ports[handle];
}

// Reads what arrives into the queue and tells the procedure, until the port is destroyed or gone. A
// procedure that leaves bytes behind is called again after the next wait, never in a tight loop; one
// that takes them all lets the reader sleep until the device sends more. A port that goes away is told
// once: the procedure's reads then come to COMM_PORT_GONE.
void ReaderMain(void* context) {
    OpenPort& port = *static_cast<OpenPort*>(context);
    char block[READ_BLOCK_SIZE];
    while (!port.Stopping) {
        const std::size_t waiting = port.Queue.Count();
        const std::size_t room = std::min(sizeof block, CReceiveQueue::CAPACITY - waiting);
        int received = port.Device.WaitAndRead(block, room, waiting > 0);
        if (received < 0) {
            port.Gone = true;
            CommNotifyProcType proc = port.Proc;
            if (proc != nullptr && !port.Stopping) {
                proc(0, 0);
            }
            return;
        }
        port.Queue.Push(block, static_cast<std::size_t>(received));
        CommNotifyProcType proc = port.Proc;
        if (proc != nullptr && port.Queue.Count() > 0 && !port.Stopping) {
            proc(0, 0);
        }
    }
}

// With the table's lock held.
void Close(OpenPort& port) {
    port.Stopping = true;
    port.Device.Wake();
    port.Reader.Join();
    port.Device.Close();
    char drain[READ_BLOCK_SIZE];
    while (port.Queue.Pop(drain, sizeof drain) > 0) {
    }
    port.InUse = false;
}

void CloseAtExit() {
    PortTable& table = Table();
    CLockGuard guard(table.Lock);
    for (OpenPort& port : table.Ports) {
        if (port.InUse) {
            Close(port);
        }
    }
}

bool IsSupported(const CommSettings& settings) {
    return settings.BaudRate > 0 && settings.DataBits >= 5 && settings.DataBits <= 8 &&
           (settings.Parity == COMM_PARITY_NONE || settings.Parity == COMM_PARITY_EVEN ||
            settings.Parity == COMM_PARITY_ODD) &&
           (settings.StopBits == 1 || settings.StopBits == 2);
}

} // namespace

int32_t CreateCommPort(int32_t portNumber, int32_t baudRate, int32_t dataBits, int32_t parity,
                       int32_t stopBits, int32_t, int32_t, int32_t) {
    LastOpenError = 0;
    const CommSettings settings{baudRate, dataBits, parity, stopBits};
    if (!IsSupported(settings)) {
        return -1;
    }
    PortTable& table = Table();
    CLockGuard guard(table.Lock);
    for (int32_t handle = 0; handle < MAX_OPEN_PORTS; ++handle) {
        OpenPort& port = table.Ports[handle];
        if (port.InUse) {
            continue;
        }
        if (!port.Device.Open(portNumber, settings, &LastOpenError)) {
            return -1;
        }
        port.Proc = nullptr;
        port.Stopping = false;
        port.Gone = false;
        port.InUse = true;
        return handle;
    }
    return -1;
}

int32_t GetCommPortOpenError() {
    return LastOpenError;
}

int32_t DestroyCommPort(int32_t handle) {
    CLockGuard guard(Table().Lock);
    OpenPort* port = Find(handle);
    if (port == nullptr) {
        return -1;
    }
    Close(*port);
    return 0;
}

int32_t ReadCommBlock(int32_t handle, char* buffer, int32_t size) {
    OpenPort* port = Find(handle);
    if (port == nullptr || size < 0) {
        return -1;
    }
    // Looked at before the queue: every byte that came before the port went is queued by then.
    const bool gone = port->Gone;
    const std::size_t count = port->Queue.Pop(buffer, static_cast<std::size_t>(size));
    return count == 0 && gone ? COMM_PORT_GONE : static_cast<int32_t>(count);
}

int32_t WriteCommBlock(int32_t handle, const char* data, int32_t length) {
    OpenPort* port = Find(handle);
    if (port == nullptr || length < 0 || port->Gone) {
        return 0;
    }
    return port->Device.Write(data, static_cast<std::size_t>(length), COMM_WRITE_TIMEOUT_MS) ? 1 : 0;
}

int32_t InstallNotifyProc(int32_t handle, int32_t, int32_t, CommNotifyProcType proc) {
    CLockGuard guard(Table().Lock);
    OpenPort* port = Find(handle);
    if (port == nullptr) {
        return -1;
    }
    port->Proc = proc;
    if (!port->Reader.Exists()) {
        if (!port->Reader.Create(ReaderMain, port)) {
            return -1;
        }
        port->Reader.Resume();
    }
    return 0;
}
