// A worker thread that is created before it runs, can be raised above normal priority, and is joined;
// portable interface.
#pragma once

#include "platform/InPlace.h"

class CThread {
public:
    using Body = void (*)(void* context);

    CThread();
    // Joins a thread that still exists; one that never ran is released without running its body.
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Creates the thread, not yet running `body`. False when the OS refused.
    bool Create(Body body, void* context);
    bool Exists() const { return m_exists; }

    // Best effort: above normal where the OS allows it.
    void RaisePriority();
    // Lets the created thread run its body.
    void Resume();
    // Waits without a time limit for the body to return and releases the thread.
    void Join();

private:
    CInPlace<192> m_state;
    bool m_exists = false;
};
