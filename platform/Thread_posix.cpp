// CThread on POSIX: pthread_create with a start gate (a thread is created before it runs), a raised
// nice value for the thread where permitted, pthread_join.
#include "platform/Thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct ThreadState {
    // The owner's alone: written by pthread_create in Create, read by Join.
    pthread_t Handle;
    // Written by the owner in Create before pthread_create; read by the thread after it started.
    CThread::Body Body;
    void* Context;
    // The gate: the thread waits here until Resume (run) or Join (released unrun).
    pthread_mutex_t GateMutex;
    pthread_cond_t GateOpened;
    // Under GateMutex: written by the owner in Resume or Join before it signals the gate; read by the
    // thread at the gate. Create sets both before the thread exists.
    bool Open;
    bool Run;
    // Under GateMutex: written by the thread before it waits at the gate; read by the owner in
    // RaisePriority. Create clears TidKnown before the thread exists.
    pid_t Tid;
    bool TidKnown;
};

void* ThreadMain(void* parameter) {
    auto* state = static_cast<ThreadState*>(parameter);
    pthread_mutex_lock(&state->GateMutex);
    state->Tid = static_cast<pid_t>(syscall(SYS_gettid));
    state->TidKnown = true;
    pthread_cond_broadcast(&state->GateOpened);
    while (!state->Open) {
        pthread_cond_wait(&state->GateOpened, &state->GateMutex);
    }
    bool run = state->Run;
    pthread_mutex_unlock(&state->GateMutex);
    if (run) {
        state->Body(state->Context);
    }
    return nullptr;
}

void OpenGate(ThreadState& state, bool run) {
    pthread_mutex_lock(&state.GateMutex);
    if (!state.Open) {
        state.Open = true;
        state.Run = run;
        pthread_cond_broadcast(&state.GateOpened);
    }
    pthread_mutex_unlock(&state.GateMutex);
}

} // namespace

CThread::CThread() {
    ThreadState& state = m_state.Make<ThreadState>();
    pthread_mutex_init(&state.GateMutex, nullptr);
    pthread_cond_init(&state.GateOpened, nullptr);
}

CThread::~CThread() {
    Join();
    pthread_cond_destroy(&m_state.Get<ThreadState>().GateOpened);
    pthread_mutex_destroy(&m_state.Get<ThreadState>().GateMutex);
    m_state.Destroy<ThreadState>();
}

bool CThread::Create(Body body, void* context) {
    if (m_exists) {
        return false;
    }
    ThreadState& state = m_state.Get<ThreadState>();
    state.Body = body;
    state.Context = context;
    state.Open = false;
    state.Run = false;
    state.TidKnown = false;
    m_exists = pthread_create(&state.Handle, nullptr, ThreadMain, &state) == 0;
    return m_exists;
}

void CThread::RaisePriority() {
    if (!m_exists) {
        return;
    }
    ThreadState& state = m_state.Get<ThreadState>();
    pthread_mutex_lock(&state.GateMutex);
    while (!state.TidKnown) {
        pthread_cond_wait(&state.GateOpened, &state.GateMutex);
    }
    pid_t tid = state.Tid;
    pthread_mutex_unlock(&state.GateMutex);
    // Linux keeps a nice value per thread; lowering it needs privilege, so a refusal is ignored.
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -1);
}

void CThread::Resume() {
    if (m_exists) {
        OpenGate(m_state.Get<ThreadState>(), true);
    }
}

void CThread::Join() {
    if (!m_exists) {
        return;
    }
    ThreadState& state = m_state.Get<ThreadState>();
    OpenGate(state, false);
    pthread_join(state.Handle, nullptr);
    m_exists = false;
}
