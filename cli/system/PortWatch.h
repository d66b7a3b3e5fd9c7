// News that the device ports may have changed: a device that came or went, a port whose permissions
// changed; so that the station looks at once instead of on a timer. The seam between the station and the
// OS (PortWatch_posix.cpp: inotify on the folders where the ports' entries appear; PortWatch_win32.cpp:
// the configuration manager's notifications of device interfaces).
#pragma once

#include "platform/WaitList.h"

#include <memory>
#include <string>
#include <vector>

class CPortWatch {
public:
    CPortWatch();
    ~CPortWatch();

    // Watches the ports named `given`, or those that detection finds when it is empty. False when the
    // system gives no such news here: then the ports must be looked at on a timer.
    bool Start(const std::vector<std::string>& given);

    // What becomes ready when news comes (see CWaitList); nothing before a successful Start.
    void AddTo(CWaitList* waits) const;

    // True when news came since the last call; does not wait. A watch that has lost track of a port
    // (a folder it could not watch again) says so every time.
    bool TakeNews();

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};
