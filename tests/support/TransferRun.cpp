// The recorded callbacks of a transfer, for tests and benchmarks.
#include "TransferRun.h"

int CTransferRecorder::Callback(int32_t event, int32_t value, void* context) {
    auto* self = static_cast<CTransferRecorder*>(context);
    std::lock_guard<std::mutex> lock(self->Mutex);
    self->Seen.emplace_back(event, value);
    self->Finished.notify_all();
    return 0;
}

bool CTransferRecorder::WaitForEnd(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(Mutex);
    return Finished.wait_for(lock, limit, [this] {
        return !Seen.empty() && (Seen.back().first == PT_EVENT_DONE || Seen.back().first == PT_EVENT_ERROR);
    });
}

TransferEvents CTransferRecorder::Events() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Seen;
}
