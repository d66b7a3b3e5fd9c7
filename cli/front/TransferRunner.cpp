// A transfer from start to end for the command line; portable.
#include "cli/front/TransferRunner.h"

#include "cli/common/CliOutcome.h"
#include "cli/front/Progress.h"
#include "cli/system/Interrupt.h"

#include <cstdio>

// A stop request reaches the worker through the flag itself, before its next command: the owner just
// waits for the end, without waking up to look.
bool CTransferRunner::Init() {
    m_engine.SetStopFlag(StopRequestFlag());
    return m_engine.Init();
}

// Runs on the worker with the engine's callback lock held: it draws, and never waits.
int CTransferRunner::OnEvent(int32_t event, int32_t value, void* context) {
    auto* self = static_cast<CTransferRunner*>(context);
    if (event == PT_EVENT_PROGRESS && self->m_stepHook != nullptr &&
        !self->m_stepHook(++self->m_steps, self->m_stepContext)) {
        self->m_stopped.store(true);
        self->m_engine.RequestStop();
    }
    if (event == PT_EVENT_PROGRESS && self->m_showProgress && value != self->m_lastPercent) {
        self->m_lastPercent = value;
        std::fputs(FormatProgressBar(value).c_str(), stderr);
        std::fflush(stderr);
    }
    return 0;
}

void CTransferRunner::SetStepHook(StepHook hook, void* context) {
    m_stepHook = hook;
    m_stepContext = context;
}

int CTransferRunner::Run(int32_t portNumber, bool read, ParamSet* set, bool showProgress) {
    m_showProgress = showProgress;
    m_lastPercent = -1;
    m_steps = 0;
    m_stopped.store(false);
    m_engine.SetCallback(OnEvent, this);
    if (StopRequested()) {
        m_stopped.store(true);
        return EXIT_COMM;
    }
    if (!m_engine.Start(portNumber, read ? 1 : 0, set)) {
        const int exit = ExitOfTransfer(m_engine.GetResult());
        return exit != EXIT_OK ? exit : EXIT_RESOURCE;
    }
    // Every command waits at most REPLY_TIMEOUT_MS: the worker always ends, and Stop waits for it.
    m_engine.Stop();
    if (StopRequested()) {
        m_stopped.store(true);
    }
    if (showProgress) {
        std::fputs(ClearProgressBar().c_str(), stderr);
        std::fflush(stderr);
    }
    return ExitOfTransfer(m_engine.GetResult());
}
