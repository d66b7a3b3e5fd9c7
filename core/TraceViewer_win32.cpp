// Trace viewer delivery on Windows: WM_COPYDATA to a running viewer window, looked up for every line.
#include "core/TraceViewer.h"

#include "core/DebugPrint.h"

#include <windows.h>

#include <cstring>

static const char* const VIEWER_CLASSES[] = {"TraceWin TRACE Window", "MfxTraceWindow"};

// The copy handed to the viewer; used only under the trace log's lock.
static char SendBuffer[TRACE_SEND_SIZE];

static HWND FindViewer() {
    for (const char* className : VIEWER_CLASSES) {
        HWND viewer = FindWindowA(className, nullptr);
        if (viewer != nullptr) {
            return viewer;
        }
    }
    return nullptr;
}

void DebugPrintToViewer(const char* line) {
    HWND viewer = FindViewer();
    if (viewer == nullptr) {
        return;
    }
    std::size_t length = strnlen(line, TRACE_SEND_SIZE - 1);
    std::memcpy(SendBuffer, line, length);
    SendBuffer[length] = '\0';

    COPYDATASTRUCT data;
    data.dwData = TRACE_COPYDATA_TAG;
    data.cbData = static_cast<DWORD>(length);
    data.lpData = SendBuffer;
    SendMessageA(viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

// A viewer may start at any moment: each line looks for one.
bool TraceViewerCanExist() {
    return true;
}
