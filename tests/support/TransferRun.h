// The callbacks of a transfer, recorded for its owner in a test or benchmark, who can wait for the final
// event.
#pragma once

#include "devicelink/ParamTransfer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
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
