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
bool Gone = false; // the line went away

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
    Gone = false;
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
    return count == 0 && Gone ? COMM_PORT_GONE : static_cast<int32_t>(count);
}

// The reply is delivered before the write returns, on the writer's thread; like portkit, the procedure
// is called again while bytes it left behind still wait, and once when the line goes away.
int32_t WriteCommBlock(int32_t, const char* data, int32_t length) {
    std::unique_lock<std::mutex> lock(Mutex);
    if (Gone) {
        return 0;
    }
    std::string line(data, static_cast<std::size_t>(length));
    Log.Lines.push_back(line);
    const int index = static_cast<int>(Log.Lines.size()) - 1;
    if (index == Script.FailWriteAt) {
        return 0;
    }
    const bool hangUp = index == Script.HangUpAt;
    if (!hangUp || Script.AnswerBeforeHangUp) {
        Queue += Script.Respond ? Script.Respond(line) : std::string(">");
    }
    Gone = hangUp;
    if (Gone && Proc != nullptr) { // portkit's reader tells of a hang-up once, after the bytes before it
        CommNotifyProcType proc = Proc;
        lock.unlock();
        proc(0, 0);
        return 1;
    }
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
