// What the test driver asks setup_probe.dll, hooked into ZRVLinkSetup.exe's user-interface thread, and
// how: the probe reads what window messages cannot carry from one process to another. Shared by the
// driver and the probe. Windows side.
#pragma once

#include <windows.h>

// Posted to a window of the program's user-interface thread: LOWORD(wParam) a ProbeQuery, HIWORD(wParam)
// its argument, lParam the driver's window that gets the answer as WM_COPYDATA with PROBE_REPLY_TAG.
inline UINT ProbeMessage() {
    static const UINT message = RegisterWindowMessageA("ZRVLinkSetupProbe");
    return message;
}
constexpr ULONG_PTR PROBE_REPLY_TAG = 0x7A727670; // "pvrz"

// Numbered from 1 without gaps: the probe finds its answer by the number.
enum ProbeQuery : WORD {
    // The system icon that a message box shows: "stop", "exclamation", "information",
    // "other" or "none".
    PROBE_MESSAGE_ICON = 1,
    // Argument 1: the window's timer messages are dropped from now on; 0: they arrive again.
    PROBE_HOLD_TIMERS = 2,
    // Invalidates the whole window and has it painted at once: "repainted" when it had something to
    // paint and then nothing.
    PROBE_REPAINT = 3,
    // The window's system menu, one line per item: "-" for a separator, else "<command> <text>".
    PROBE_SYSTEM_MENU = 4,
    // Sends the window WM_DPICHANGED for the DPI in the argument, suggesting its present rectangle.
    PROBE_DPI_CHANGED = 5,
    // Height (LOGFONT lfHeight) of the font of the window's control with the argument as id; 0: of the
    // window itself.
    PROBE_FONT_HEIGHT = 6,
    // Whether the text of each static and button of the window fits it in the control's own font, one
    // line each: "fits" or "cut", the id, the room the text needs and the room it has (WxH pixels) and
    // the text.
    PROBE_TEXT_FIT = 7,
    // The client size (WxH pixels) that the program's dialog template with the argument as id gives the
    // window at its present font and DPI.
    PROBE_TEMPLATE_CLIENT = 8,
    // Paints at once whatever the window and its controls have still to paint, and hands it to the screen
    // (Wine copies its windows' pixels to the X server when a thread waits for messages): "painted".
    PROBE_PAINT_NOW = 9,
};

// The export for the WH_GETMESSAGE hook that answers the queries.
constexpr const char* PROBE_QUERY_HOOK = "ProbeQueryHook";
