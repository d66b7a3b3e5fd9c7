// setup_probe.dll: loaded into ZRVLinkSetup.exe by the test driver's hooks. Answers the driver's queries
// from inside the program (menus, icons and fonts are objects of the process that made them) and holds
// back the main window's timer on request. Windows side.
#include "SetupProbe.h"

#include <string>

namespace {

HWND g_heldTimerWindow = nullptr; // its WM_TIMER messages are dropped; user-interface thread only

// The system icons are shared within a process: the handle a message box shows is the one LoadIcon gives.
std::string MessageIconName(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            continue;
        }
        const auto shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        const std::pair<LPCSTR, const char*> icons[] = {{IDI_HAND, "stop"},
                                                        {IDI_EXCLAMATION, "exclamation"},
                                                        {IDI_ASTERISK, "information"},
                                                        {IDI_QUESTION, "question"}};
        for (const auto& [id, name] : icons) {
            if (shown != nullptr && shown == LoadIconA(nullptr, id)) {
                return name;
            }
        }
        return "other";
    }
    return "none";
}

std::string SystemMenuLines(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    std::string lines;
    for (int i = 0, count = menu != nullptr ? GetMenuItemCount(menu) : 0; i < count; ++i) {
        char text[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const bool separator = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0;
        lines += separator ? "-\n" : std::to_string(GetMenuItemID(menu, i)) + " " + text + "\n";
    }
    return lines;
}

std::string FontHeight(HWND window, int id) {
    HWND control = id != 0 ? GetDlgItem(window, id) : window;
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA description = {};
    if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) {
        return "none";
    }
    return std::to_string(description.lfHeight);
}

std::string SendDpiChanged(HWND window, WORD dpi) {
    RECT suggested;
    GetWindowRect(window, &suggested);
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    return "sent";
}

std::string Repaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    const bool invalid = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    UpdateWindow(window); // WM_PAINT to the window procedure, before this returns
    const bool painted = GetUpdateRect(window, nullptr, FALSE) == FALSE;
    return invalid && painted ? "repainted" : "not repainted";
}

std::string Answer(HWND window, WORD query, WORD argument) {
    switch (query) {
    case PROBE_DPI_CHANGED:
        return SendDpiChanged(window, argument);
    case PROBE_FONT_HEIGHT:
        return FontHeight(window, argument);
    case PROBE_SYSTEM_MENU:
        return SystemMenuLines(window);
    case PROBE_MESSAGE_ICON:
        return MessageIconName(window);
    case PROBE_HOLD_TIMERS:
        g_heldTimerWindow = argument != 0 ? window : nullptr;
        return argument != 0 ? "held" : "released";
    case PROBE_REPAINT:
        return Repaint(window);
    default:
        return "unknown query";
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeQueryHook(int code, WPARAM removed, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code != HC_ACTION || removed != PM_REMOVE) {
        return CallNextHookEx(nullptr, code, removed, lParam);
    }
    if (message->message == WM_TIMER && message->hwnd == g_heldTimerWindow && g_heldTimerWindow != nullptr) {
        message->message = WM_NULL;
    } else if (message->message == ProbeMessage()) {
        const std::string answer = Answer(message->hwnd, LOWORD(message->wParam), HIWORD(message->wParam));
        COPYDATASTRUCT data = {PROBE_REPLY_TAG, static_cast<DWORD>(answer.size()),
                               const_cast<char*>(answer.data())};
        SendMessageA(reinterpret_cast<HWND>(message->lParam), WM_COPYDATA, 0,
                     reinterpret_cast<LPARAM>(&data));
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}
