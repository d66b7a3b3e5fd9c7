// CParamTransfer: one whole read or write of the device's configuration over a serial port, on a worker
// thread, reporting start, progress and outcome through a callback; portable (ports through portkit).
#pragma once

#include "core/ParamSet.h"
#include "devicelink/DeviceCommands.h"
#include "devicelink/ReplyFramer.h"
#include "platform/Event.h"
#include "platform/Lock.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>

// How long each reply may take: the device's own time, and what every silent device costs its port.
constexpr unsigned REPLY_TIMEOUT_MS = 2000;

constexpr int32_t COMM_BAUD_RATE = 9600; // the device's link, whatever its own serial line runs at

enum TransferEvent : int32_t {
    PT_EVENT_START = 1,    // value 0: the worker began
    PT_EVENT_ERROR = 2,    // value 0: the transfer failed; GetResult tells why
    PT_EVENT_PROGRESS = 3, // value: percent, 0..100
    PT_EVENT_DONE = 4,     // value 0: the transfer completed
};

enum TransferResult : int32_t {
    PT_OK = 0,
    PT_ERR_PORT = 1,     // the port did not open
    PT_ERR_COMM = 2,     // a write failed, no prompt in time, or a reply was rejected
    PT_ERR_HARDWARE = 3, // the reply to "save" was not "OK"
    PT_ERR_RESOURCE = 4, // the event or the thread could not be created
};

constexpr int READ_STEP_COUNT = 3 + TARGET_COUNT;

// How many progress reports a write of `set` makes before it sends "save": the version query, the baud
// rate and the network parameters when they are sent, and every destination.
int WriteStepsBeforeSave(const ParamSet& set);
// How many progress reports a whole write of `set` makes: those before "save", then "save" and "update".
int WriteStepCount(const ParamSet& set);

// Called on the worker thread with the engine's callback lock held: it must not wait for the owner.
using TransferCallback = int (*)(int32_t event, int32_t value, void* context);

class CParamTransfer : private CCommandSender {
public:
    CParamTransfer();
    virtual ~CParamTransfer();
    CParamTransfer(const CParamTransfer&) = delete;
    CParamTransfer& operator=(const CParamTransfer&) = delete;

    bool Init();
    void SetCallback(TransferCallback callback, void* context);
    // Starts a read into `param` (readMode nonzero) or a write from it on port `portNumber`. True when
    // the worker runs; every further report comes through the callback. `param` must stay untouched by
    // the caller until Stop returned.
    bool Start(int32_t portNumber, int32_t readMode, ParamSet* param);
    // Waits for the worker without a time limit, then closes the port. Harmless when nothing runs.
    void Stop();
    // From any thread, the callback included: the running transfer sends no further command and fails
    // with PT_ERR_COMM, so that a command line that can no longer report what happens (or is asked to end)
    // never sends "save" unknown to its caller. The command on the line still gets its reply time.
    void RequestStop() { StopRequested.store(true); }
    // A flag of the owner's that, once true, acts as RequestStop: set from anywhere, a signal handler
    // included, with no need to wake anybody. It must outlive every transfer; nullptr for none. Set while
    // no transfer runs.
    void SetStopFlag(const std::atomic<bool>* flag) { StopFlag = flag; }
    int32_t GetResult() const { return Result; }
    // After a Start that failed with PT_ERR_PORT: the system's error code of the failed open (errno,
    // GetLastError()), 0 when there was none. 0 after any other Start.
    int32_t GetPortError() const { return PortError; }
    // The device's answer to "vers" in the last transfer; empty when it gave none. Read after Stop.
    const char* GetVersion() const { return Version; }

    // Receive notification of the engine that started last; runs on portkit's reader thread.
    friend int32_t CommNotifyProc(int32_t, int32_t);

private:
    static void Run(void* context);
    bool ExchangeVers();
    bool ReadSequence();
    bool WriteSequence();
    bool ReadTarget(int index);
    bool WriteTarget(int index);
    void Notify(int32_t event, int32_t value);
    void NotifyProgress(int step, int total);
    bool SendCommand(const char* line, std::size_t length) override;
    bool WaitReply();
    bool Exchange(bool sent);
    bool Fail(const char* warning, int32_t result);
    int32_t OnReceive();
    void DisableOwnAddressTargets();

    // Written by Start and Stop on the owner's thread; read by the worker and the reader while a port
    // is open (Start writes it before either thread exists, Stop after both have ended).
    int32_t Port = -1;
    // Reader thread only: the reply being framed.
    ReplyBuffer Received = {};
    // The last complete reply: copied in by the reader at each prompt and out by the worker after the
    // event, both under ReplyLock, so that bytes arriving after a prompt never touch what the worker
    // parses.
    char Reply[REPLY_SIZE] = {};
    // Under ReplyLock: set by the reader with Reply, cleared by the worker before it sends a command; a
    // reply that came before its line went away still counts.
    bool ReplyReady = false;
    CLock ReplyLock;
    // Cleared by Start before the reader exists; set by the reader when portkit says the port went away
    // (then the event is set too); read by the worker, which then waits no more for a reply.
    std::atomic<bool> LineGone{false};
    // Worker only: its copy of the reply, parsed in place.
    char WorkReply[REPLY_SIZE] = {};
    // Written by Start before the worker is resumed; read by the worker.
    int32_t ReadMode = 0;
    ParamSet* Param = nullptr;
    // Written by Start before the worker runs and by the worker; read by the owner after Stop.
    int32_t Result = PT_OK;
    // Owner's thread only: written by Start.
    int32_t PortError = 0;
    // Cleared by Start before the worker runs, written by the worker at the "vers" reply; read by the
    // owner after Stop.
    char Version[REPLY_SIZE] = {};
    // Cleared by Start before the worker runs; set by RequestStop on any thread, read by the worker before
    // each command.
    std::atomic<bool> StopRequested{false};
    // Written by SetStopFlag on the owner's thread while no worker exists; read by the worker.
    const std::atomic<bool>* StopFlag = nullptr;
    CThread Thread;
    CEvent ReplyEvent;
    // Guarded by CallbackLock, which is held while the callback runs.
    TransferCallback Callback = nullptr;
    void* CallbackContext = nullptr;
    CLock CallbackLock;
};

int32_t CommNotifyProc(int32_t, int32_t);
