// Running one transfer as its owner does, for tests.
#include "TransferRun.h"

#include "TestFiles.h"

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

TransferOutcome RunTransfer(int32_t port, int32_t readMode, ParamSet* set) {
    TransferOutcome out;
    out.Trace = CaptureTrace("t", [&] {
        CParamTransfer engine;
        CTransferRecorder recorder;
        engine.Init();
        engine.SetCallback(CTransferRecorder::Callback, &recorder);
        out.Started = engine.Start(port, readMode, set);
        out.Ended = out.Started && recorder.WaitForEnd();
        engine.Stop();
        out.Result = engine.GetResult();
        out.PortError = engine.GetPortError();
        out.Version = engine.GetVersion();
        out.Seen = recorder.Events();
    });
    return out;
}

std::vector<int32_t> ProgressOf(const TransferEvents& seen) {
    std::vector<int32_t> values;
    for (const auto& e : seen) {
        if (e.first == PT_EVENT_PROGRESS) {
            values.push_back(e.second);
        }
    }
    return values;
}
