// The scripted stand-in for portkit's five operations.
#include "FakePortKit.h"

#include "portkit/PortKit.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex Mutex;
FakePortScript Script;
FakePortLog Log;
std::string Queue; // delivered, not yet read
CommNotifyProcType Proc = nullptr;
bool Open = false;
bool ErrorDue = false;

} // namespace

void FakePortReset(const FakePortScript& script) {
    std::lock_guard<std::mutex> lock(Mutex);
    Script = script;
    Log = FakePortLog{};
}

FakePortLog FakePortRecorded() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Log;
}

int32_t CreateCommPort(int32_t portNumber, int32_t baudRate, int32_t dataBits, int32_t parity,
                       int32_t stopBits, int32_t reserved1, int32_t reserved2, int32_t reserved3) {
    std::lock_guard<std::mutex> lock(Mutex);
    Log.CreateArgs = {portNumber, baudRate, dataBits, parity, stopBits, reserved1, reserved2, reserved3};
    if (Open) { // a port that is still open
        return -1;
    }
    Open = true;
    ++Log.Opened;
    Queue.clear();
    Proc = nullptr;
    return 3;
}

int32_t GetCommPortOpenError() {
    return 0;
}

int32_t DestroyCommPort(int32_t) {
    std::lock_guard<std::mutex> lock(Mutex);
    Open = false;
    ++Log.Destroyed;
    return 0;
}

int32_t ReadCommBlock(int32_t, char* buffer, int32_t size) {
    std::lock_guard<std::mutex> lock(Mutex);
    if (ErrorDue) {
        ErrorDue = false;
        return -1;
    }
    std::size_t count = std::min(Queue.size(), static_cast<std::size_t>(size));
    Queue.copy(buffer, count);
    Queue.erase(0, count);
    return static_cast<int32_t>(count);
}

// The reply is delivered before the write returns, on the writer's thread; like portkit, the procedure
// is called again while bytes it left behind still wait.
int32_t WriteCommBlock(int32_t, const char* data, int32_t length) {
    std::unique_lock<std::mutex> lock(Mutex);
    std::string line(data, static_cast<std::size_t>(length));
    Log.Lines.push_back(line);
    if (static_cast<int>(Log.Lines.size()) - 1 == Script.FailWriteAt) {
        return 0;
    }
    Queue += Script.Respond ? Script.Respond(line) : std::string(">");
    ErrorDue = Script.ReadErrorFirst;
    while (!Queue.empty() && Proc != nullptr) {
        CommNotifyProcType proc = Proc;
        lock.unlock();
        proc(0, 0);
        lock.lock();
    }
    return 1;
}

int32_t InstallNotifyProc(int32_t, int32_t, int32_t, CommNotifyProcType proc) {
    std::lock_guard<std::mutex> lock(Mutex);
    Proc = proc;
    return 0;
}
