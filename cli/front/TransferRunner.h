// One transfer run to its end on the calling thread, with the progress bar on a terminal; portable.
// The engine serves one transfer per process: a zrvlink process holds one runner.
#pragma once

#include "core/ParamSet.h"
#include "devicelink/ParamTransfer.h"

#include <atomic>
#include <cstdint>

class CTransferRunner {
public:
    CTransferRunner() = default;
    CTransferRunner(const CTransferRunner&) = delete;
    CTransferRunner& operator=(const CTransferRunner&) = delete;

    // False when the engine could not be set up.
    bool Init();

    // Reads into `set` (read true) or writes from it on port `portNumber`, and waits for the end. A write
    // leaves in `set` what was sent. Returns the exit status: EXIT_OK, EXIT_PORT, EXIT_COMM,
    // EXIT_HARDWARE or EXIT_RESOURCE.
    int Run(int32_t portNumber, bool read, ParamSet* set, bool showProgress);
    // After EXIT_PORT: the system's error code of the open that failed (0: none).
    int32_t PortError() const { return m_engine.GetPortError(); }
    // After Run: the device's answer to "vers"; empty when it gave none.
    const char* Version() const { return m_engine.GetVersion(); }

    // Called on the worker after each progress report with the number of reports so far, before the
    // engine sends its next command; it must not wait for the owner. False: the transfer sends no further
    // command and fails. Set before Run.
    using StepHook = bool (*)(int steps, void* context);
    void SetStepHook(StepHook hook, void* context);

    // Whether the last Run ended because a stop was asked for (see StopRequested in cli/Interrupt.h) or
    // the step hook refused to go on.
    bool Stopped() const { return m_stopped; }

private:
    static int OnEvent(int32_t event, int32_t value, void* context);

    CParamTransfer m_engine;
    // Written by Run (and SetStepHook) before Start; read by the worker.
    bool m_showProgress = false;
    StepHook m_stepHook = nullptr;
    void* m_stepContext = nullptr;
    // Worker only.
    int m_lastPercent = -1;
    int m_steps = 0;
    // Written by the worker (a refusing hook) before it ends, or by the owner after Stop (a stop request);
    // read by the owner after Stop.
    std::atomic<bool> m_stopped{false};
};
