// CThread on Windows: CreateThread suspended, THREAD_PRIORITY_ABOVE_NORMAL, ResumeThread, wait and close.
#include "platform/Thread.h"

#include "platform/HandleOwner.h"

namespace {

struct ThreadState {
    // The owner's alone: Create, RaisePriority, Resume and Join.
    CWinHandle Handle;
    // Written by the owner in Create before CreateThread; read by the thread once it is resumed.
    CThread::Body Body = nullptr;
    void* Context = nullptr;
    // The owner's alone: written and read by Resume and Join on the owner's thread; the thread never
    // reads it.
    bool Resumed = false;
    // Written by the owner before ResumeThread (run the body, or end at once); read by the thread once
    // it is resumed.
    bool Run = false;
};

DWORD WINAPI ThreadMain(LPVOID parameter) {
    auto* state = static_cast<ThreadState*>(parameter);
    if (state->Run) {
        state->Body(state->Context);
    }
    return 0;
}

} // namespace

CThread::CThread() {
    m_state.Make<ThreadState>();
}

CThread::~CThread() {
    Join();
    m_state.Destroy<ThreadState>();
}

bool CThread::Create(Body body, void* context) {
    if (m_exists) {
        return false;
    }
    ThreadState& state = m_state.Get<ThreadState>();
    state.Body = body;
    state.Context = context;
    state.Resumed = false;
    state.Run = false;
    state.Handle.Reset(CreateThread(nullptr, 0, ThreadMain, &state, CREATE_SUSPENDED, nullptr));
    m_exists = state.Handle.IsOpen();
    return m_exists;
}

void CThread::RaisePriority() {
    if (m_exists) {
        SetThreadPriority(m_state.Get<ThreadState>().Handle.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
    }
}

void CThread::Resume() {
    ThreadState& state = m_state.Get<ThreadState>();
    if (m_exists && !state.Resumed) {
        state.Resumed = true;
        state.Run = true;
        ResumeThread(state.Handle.Get());
    }
}

void CThread::Join() {
    if (!m_exists) {
        return;
    }
    ThreadState& state = m_state.Get<ThreadState>();
    if (!state.Resumed) {
        // Never ran: let it end without its body.
        state.Resumed = true;
        ResumeThread(state.Handle.Get());
    }
    WaitForSingleObject(state.Handle.Get(), INFINITE);
    state.Handle.Reset();
    m_exists = false;
}
