// The parameter transfer engine: the read and write sequences, the reply hand-over between portkit's
// reader thread and the worker, progress and outcome reports; portable.
#include "devicelink/ParamTransfer.h"

#include "core/DebugPrint.h"
#include "core/IPv4.h"
#include "core/ParamRules.h"
#include "devicelink/ReplyParser.h"
#include "portkit/PortKit.h"

#include <atomic>
#include <cstring>

// A stalled write fails its command no later than a missing reply would.
static_assert(COMM_WRITE_TIMEOUT_MS <= REPLY_TIMEOUT_MS, "a write may outlast the reply time-out");

namespace {

// The engine that receive notifications serve: set by Start, cleared only by that engine's destructor.
std::atomic<CParamTransfer*> NotifyTarget{nullptr};

const char* const WARN_COMM_ERROR = "WARNING: communication error\n";
const char* const WARN_TIMEOUT = "WARNING: communication timeout\n";
const char* const WARN_PARAMETER = "WARNING: parameter error\n";
const char* const WARN_HARDWARE = "WARNING: hardware error\n";

void TraceAddress(const char* label, uint32_t address) {
    DebugPrint("%s = %03d.%03d.%03d.%03d\n", label, IPv4Octet(address, 0), IPv4Octet(address, 1),
               IPv4Octet(address, 2), IPv4Octet(address, 3));
}

void TraceNetParam(const ParamSet& set) {
    TraceAddress("IP address", set.IPAddress);
    TraceAddress("subnet mask", set.SubnetMask);
    TraceAddress("gateway", set.Gateway);
}

void TraceTarget(const ParamSet& set, int index) {
    const ParamTarget& target = set.Target[index];
    const uint32_t a = target.Address;
    DebugPrint("target%02d = [%c] %03d.%03d.%03d.%03d %.64s\n", index, target.Enable != 0 ? '*' : ' ',
               IPv4Octet(a, 0), IPv4Octet(a, 1), IPv4Octet(a, 2), IPv4Octet(a, 3), target.Name);
}

bool HasNetParam(const ParamSet& set) {
    return set.IPAddress != 0 || set.SubnetMask != 0 || set.Gateway != 0;
}

} // namespace

int WriteStepsBeforeSave(const ParamSet& set) {
    return 1 + (set.BaudRate != 0 ? 1 : 0) + (HasNetParam(set) ? 1 : 0) + TARGET_COUNT;
}

int WriteStepCount(const ParamSet& set) {
    return WriteStepsBeforeSave(set) + 2;
}

CParamTransfer::CParamTransfer() = default;

CParamTransfer::~CParamTransfer() {
    Stop();
    CParamTransfer* self = this;
    NotifyTarget.compare_exchange_strong(self, nullptr);
}

bool CParamTransfer::Init() {
    if (!ReplyEvent.Create()) {
        DebugPrint("%s", "WARNING: CreateEvent() failed\n");
        Result = PT_ERR_RESOURCE;
        return false;
    }
    return true;
}

void CParamTransfer::SetCallback(TransferCallback callback, void* context) {
    CLockGuard guard(CallbackLock);
    Callback = callback;
    CallbackContext = context;
}

bool CParamTransfer::Start(int32_t portNumber, int32_t readMode, ParamSet* param) {
    Stop();
    NotifyTarget = this;
    ReadMode = readMode;
    Param = param;
    Result = PT_OK;
    PortError = 0;
    Version[0] = '\0';
    StopRequested.store(false);
    LineGone.store(false);
    if (!ReplyEvent.IsCreated() || param == nullptr) {
        Result = PT_ERR_RESOURCE;
        return false;
    }
    Port = CreateCommPort(portNumber, COMM_BAUD_RATE, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    if (Port < 0) {
        PortError = GetCommPortOpenError();
        DebugPrint("WARNING: cannot open COM%d\n", portNumber);
        Result = PT_ERR_PORT;
        Stop();
        return false;
    }
    InstallNotifyProc(Port, 0, 0, CommNotifyProc);
    if (!Thread.Create(Run, this)) {
        DebugPrint("%s", "WARNING: CreateThread() failed\n");
        Result = PT_ERR_RESOURCE;
        Stop();
        return false;
    }
    Thread.RaisePriority();
    Thread.Resume();
    return true;
}

void CParamTransfer::Stop() {
    if (Thread.Exists()) {
        Thread.Join();
    }
    if (Port >= 0) {
        DestroyCommPort(Port);
    }
    Port = -1;
}

void CParamTransfer::Run(void* context) {
    auto* self = static_cast<CParamTransfer*>(context);
    self->Notify(PT_EVENT_START, 0);
    bool ok = self->ReadMode != 0 ? self->ReadSequence() : self->WriteSequence();
    self->Notify(ok ? PT_EVENT_DONE : PT_EVENT_ERROR, 0);
}

void CParamTransfer::Notify(int32_t event, int32_t value) {
    CLockGuard guard(CallbackLock);
    if (Callback != nullptr) {
        Callback(event, value, CallbackContext);
    }
}

void CParamTransfer::NotifyProgress(int step, int total) {
    Notify(PT_EVENT_PROGRESS, step * 100 / total);
}

bool CParamTransfer::SendCommand(const char* line, std::size_t length) {
    if (StopRequested.load() || (StopFlag != nullptr && StopFlag->load())) {
        DebugPrint("%s", "WARNING: transfer stopped\n");
        return false;
    }
    ReplyEvent.Reset();
    {
        CLockGuard guard(ReplyLock);
        ReplyReady = false;
    }
    return WriteCommBlock(Port, line, static_cast<int32_t>(length)) != 0;
}

// A line that went away answers nothing more: its end sets the event as a reply does, and the reply time
// is not waited out. A device that is only slow gets the whole time.
bool CParamTransfer::WaitReply() {
    if (!LineGone.load() && !ReplyEvent.Wait(REPLY_TIMEOUT_MS)) {
        return false;
    }
    CLockGuard guard(ReplyLock);
    if (!ReplyReady) {
        return false;
    }
    std::memcpy(WorkReply, Reply, sizeof WorkReply);
    return true;
}

bool CParamTransfer::Fail(const char* warning, int32_t result) {
    DebugPrint("%s", warning);
    Result = result;
    return false;
}

// `sent` is the builder's result; then the prompt must come in time.
bool CParamTransfer::Exchange(bool sent) {
    if (!sent) {
        return Fail(WARN_COMM_ERROR, PT_ERR_COMM);
    }
    if (!WaitReply()) {
        return Fail(LineGone.load() ? WARN_COMM_ERROR : WARN_TIMEOUT, PT_ERR_COMM);
    }
    return true;
}

bool CParamTransfer::ExchangeVers() {
    if (!Exchange(CmdVers(*this))) {
        return false;
    }
    GetReplyText(WorkReply, Version, sizeof Version);
    DebugPrint("vers = %s\n", Version);
    return true;
}

bool CParamTransfer::ReadSequence() {
    ParamSet& set = *Param;
    if (!ExchangeVers()) {
        return false;
    }
    NotifyProgress(1, READ_STEP_COUNT);

    if (!Exchange(CmdGetBaudrate(*this))) {
        return false;
    }
    if (!GetReplyNumber(WorkReply, &set.BaudRate)) {
        return Fail(WARN_PARAMETER, PT_ERR_COMM);
    }
    DebugPrint("baudrate = %d\n", set.BaudRate);
    NotifyProgress(2, READ_STEP_COUNT);

    if (!Exchange(CmdGetNetParam(*this))) {
        return false;
    }
    if (!GetReplyNetParam(WorkReply, &set.IPAddress, &set.SubnetMask, &set.Gateway)) {
        return Fail(WARN_PARAMETER, PT_ERR_COMM);
    }
    TraceNetParam(set);
    NotifyProgress(3, READ_STEP_COUNT);

    for (int i = 0; i < TARGET_COUNT; ++i) {
        if (!ReadTarget(i)) {
            return false;
        }
        TraceTarget(set, i);
        NotifyProgress(i + 4, READ_STEP_COUNT);
    }
    DebugPrint("done..\n");
    return true;
}

bool CParamTransfer::ReadTarget(int index) {
    ParamTarget& target = Param->Target[index];
    if (!Exchange(CmdGetTarget(*this, index))) {
        return false;
    }
    if (!GetReplyAddress(WorkReply, &target.Address)) {
        return Fail(WARN_PARAMETER, PT_ERR_COMM);
    }
    if (!Exchange(CmdGetEnable(*this, index))) {
        return false;
    }
    if (!GetReplyFlag(WorkReply, &target.Enable)) {
        return Fail(WARN_PARAMETER, PT_ERR_COMM);
    }
    if (!Exchange(CmdGetName(*this, index))) {
        return false;
    }
    // A name with a line break inside could never be written back as one command line.
    if (!GetReplyName(WorkReply, target.Name, TARGET_NAME_SIZE)) {
        return Fail(WARN_PARAMETER, PT_ERR_COMM);
    }
    return true;
}

void CParamTransfer::DisableOwnAddressTargets() {
    ::DisableOwnAddressTargets(Param);
}

bool CParamTransfer::WriteSequence() {
    DisableOwnAddressTargets();
    ParamSet& set = *Param;
    const bool withBaudRate = set.BaudRate != 0;
    const bool withNetParam = HasNetParam(set);
    const int total = WriteStepCount(set);
    int step = 0;

    if (!ExchangeVers()) {
        return false;
    }
    NotifyProgress(++step, total);

    if (withBaudRate) {
        DebugPrint("baudrate = %d\n", set.BaudRate);
        if (!Exchange(CmdSetBaudrate(*this, set))) {
            return false;
        }
        NotifyProgress(++step, total);
    }
    if (withNetParam) {
        TraceNetParam(set);
        if (!Exchange(CmdSetNetParam(*this, set))) {
            return false;
        }
        NotifyProgress(++step, total);
    }
    for (int i = 0; i < TARGET_COUNT; ++i) {
        TraceTarget(set, i);
        if (!WriteTarget(i)) {
            return false;
        }
        NotifyProgress(++step, total);
    }

    DebugPrint("write\n");
    if (!Exchange(CmdSave(*this))) {
        return false;
    }
    if (!IsReplyOK(WorkReply)) {
        return Fail(WARN_HARDWARE, PT_ERR_HARDWARE);
    }
    NotifyProgress(++step, total);

    DebugPrint("update\n");
    if (!Exchange(CmdUpdate(*this))) {
        return false;
    }
    NotifyProgress(++step, total);
    DebugPrint("done..\n");
    return true;
}

bool CParamTransfer::WriteTarget(int index) {
    return Exchange(CmdSetTarget(*this, index, *Param)) && Exchange(CmdSetEnable(*this, index, *Param)) &&
           Exchange(CmdSetName(*this, index, *Param));
}

// Drains everything waiting; an error count ends the drain like an empty read, so it cannot spin. A port
// that went away ends the wait for the reply at once.
int32_t CParamTransfer::OnReceive() {
    if (Port < 0) {
        return Port;
    }
    char block[REPLY_SIZE];
    int32_t count;
    while ((count = ReadCommBlock(Port, block, sizeof block)) > 0) {
        for (int32_t i = 0; i < count; ++i) {
            if (!PutReplyChar(Received, static_cast<unsigned char>(block[i]))) {
                continue;
            }
            {
                CLockGuard guard(ReplyLock);
                std::memcpy(Reply, Received.Text, sizeof Reply);
                ReplyReady = true;
            }
            ReplyEvent.Set();
        }
    }
    if (count == COMM_PORT_GONE && !LineGone.exchange(true)) {
        ReplyEvent.Set();
    }
    return count;
}

int32_t CommNotifyProc(int32_t, int32_t) {
    CParamTransfer* engine = NotifyTarget;
    return engine != nullptr ? engine->OnReceive() : 0;
}
