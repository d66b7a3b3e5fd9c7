// CThread on Windows: CreateThread suspended, THREAD_PRIORITY_ABOVE_NORMAL, ResumeThread, wait and close.
#include "platform/Thread.h"

#include <windows.h>

#include <new>

namespace {

struct ThreadState {
    HANDLE Handle;
    CThread::Body Body;
    void* Context;
    bool Resumed;
    bool Run; // set before the thread is resumed: run the body, or end at once
};

static_assert(sizeof(ThreadState) <= 192, "CThread storage too small");

ThreadState& State(unsigned char* storage) {
    return *std::launder(reinterpret_cast<ThreadState*>(storage));
}

DWORD WINAPI ThreadMain(LPVOID parameter) {
    auto* state = static_cast<ThreadState*>(parameter);
    if (state->Run) {
        state->Body(state->Context);
    }
    return 0;
}

} // namespace

CThread::CThread() {
    new (m_storage) ThreadState{nullptr, nullptr, nullptr, false, false};
}

CThread::~CThread() {
    Join();
}

bool CThread::Create(Body body, void* context) {
    if (m_exists) {
        return false;
    }
    ThreadState& state = State(m_storage);
    state = ThreadState{nullptr, body, context, false, false};
    state.Handle = CreateThread(nullptr, 0, ThreadMain, &state, CREATE_SUSPENDED, nullptr);
    m_exists = state.Handle != nullptr;
    return m_exists;
}

void CThread::RaisePriority() {
    if (m_exists) {
        SetThreadPriority(State(m_storage).Handle, THREAD_PRIORITY_ABOVE_NORMAL);
    }
}

void CThread::Resume() {
    ThreadState& state = State(m_storage);
    if (m_exists && !state.Resumed) {
        state.Resumed = true;
        state.Run = true;
        ResumeThread(state.Handle);
    }
}

void CThread::Join() {
    if (!m_exists) {
        return;
    }
    ThreadState& state = State(m_storage);
    if (!state.Resumed) {
        // Never ran: let it end without its body.
        state.Resumed = true;
        ResumeThread(state.Handle);
    }
    WaitForSingleObject(state.Handle, INFINITE);
    CloseHandle(state.Handle);
    state.Handle = nullptr;
    m_exists = false;
}
