// CPortWatch on Windows: the configuration manager's notifications of device interfaces that arrive or
// are removed (a COM port's among them), which set an event that the station waits for. cfgmgr32.dll
// offers them from Windows 8 on (Wine 8 does not): where it does not, the watch does not start. The
// Win32 side of the port-watch seam.
// The notifications' types come with Windows 8; their functions are looked up when the watch starts, so
// that the program still runs on Windows 7.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include "cli/system/PortWatch.h"

#include "platform/HandleOwner.h"

#include <windows.h>

#include <cfgmgr32.h>

#include <atomic>

namespace {

using RegisterProc = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
using UnregisterProc = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

// Where the notifications go: written by the system's callback thread, read by the station's.
struct Listener {
    CWinHandle News; // manual-reset event
    std::atomic<bool> Came{false};
};

DWORD CALLBACK OnDevice(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA,
                        DWORD) {
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ||
        action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) {
        auto* listener = static_cast<Listener*>(context);
        listener->Came = true;
        SetEvent(listener->News.Get());
    }
    return ERROR_SUCCESS;
}

} // namespace

struct CPortWatch::State {
    Listener Heard;
    CLibraryModule Library;
    UnregisterProc Unregister = nullptr;
    HCMNOTIFICATION Registration = nullptr;

    // Unregistering waits for a callback that runs: none touches the listener afterwards.
    ~State() {
        if (Registration != nullptr) {
            Unregister(Registration);
        }
    }
};

CPortWatch::CPortWatch() : m_state(std::make_unique<State>()) {}

CPortWatch::~CPortWatch() = default;

// Every device interface: a COM port's driver need not announce the COM port class, and a look costs
// little. The ports given make no difference: a COM port has no folder to watch.
bool CPortWatch::Start(const std::vector<std::string>&) {
    State& state = *m_state;
    state.Heard.News.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!state.Heard.News.IsOpen() || !state.Library.Load(L"cfgmgr32.dll")) {
        return false;
    }
    const auto registerProc = state.Library.Export<RegisterProc>("CM_Register_Notification");
    state.Unregister = state.Library.Export<UnregisterProc>("CM_Unregister_Notification");
    if (registerProc == nullptr || state.Unregister == nullptr) {
        return false;
    }
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.Flags = CM_NOTIFY_FILTER_FLAG_ALL_INTERFACE_CLASSES;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    if (registerProc(&filter, &state.Heard, OnDevice, &state.Registration) != CR_SUCCESS) {
        state.Registration = nullptr;
        return false;
    }
    return true;
}

void CPortWatch::AddTo(CWaitList* waits) const {
    if (m_state->Registration != nullptr) {
        waits->Add(reinterpret_cast<WaitHandle>(m_state->Heard.News.Get()));
    }
}

// The event is reset before the flag is taken: news that comes in between sets both again.
bool CPortWatch::TakeNews() {
    if (m_state->Registration == nullptr) {
        return false;
    }
    ResetEvent(m_state->Heard.News.Get());
    return m_state->Heard.Came.exchange(false);
}
