// Runs one transfer the way its owner does (Init, SetCallback, Start, wait for the final event, Stop)
// and records the callbacks and the trace; for tests over any port.
#pragma once

#include "devicelink/ParamTransfer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using TransferEvents = std::vector<std::pair<int32_t, int32_t>>;

struct CTransferRecorder {
    std::mutex Mutex;
    std::condition_variable Finished;
    TransferEvents Seen;

    static int Callback(int32_t event, int32_t value, void* context);
    // False when no DONE or ERROR came within `limit`: the engine hung.
    bool WaitForEnd(std::chrono::seconds limit = std::chrono::seconds(20));
    TransferEvents Events();
};

struct TransferOutcome {
    bool Started = false;
    bool Ended = false;
    TransferEvents Seen;
    int32_t Result = -1;
    int32_t PortError = -1;
    std::string Version;
    std::string Trace;
};

TransferOutcome RunTransfer(int32_t port, int32_t readMode, ParamSet* set);

// The progress values among `seen`, in order.
std::vector<int32_t> ProgressOf(const TransferEvents& seen);
