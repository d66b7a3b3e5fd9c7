// setup_probe.dll: loaded into ZRVLinkSetup.exe by the test driver's hooks. Answers the driver's queries
// from inside the program (menus, icons and fonts are objects of the process that made them) and holds
// back the main window's timer on request. Windows side.
#include "SetupProbe.h"
#include "platform/HandleOwner.h"

#include <cstdio>
#include <iterator>
#include <string>

namespace {

HWND g_heldTimerWindow = nullptr; // its WM_TIMER messages are dropped; user-interface thread only

// The system icons are shared within a process: the handle a message box shows is the one LoadIcon gives.
std::string MessageIconName(HWND box, WORD) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            continue;
        }
        const auto shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        const std::pair<LPCSTR, const char*> icons[] = {
            {IDI_HAND, "stop"}, {IDI_EXCLAMATION, "exclamation"}, {IDI_ASTERISK, "information"}};
        for (const auto& [id, name] : icons) {
            if (shown != nullptr && shown == LoadIconA(nullptr, id)) {
                return name;
            }
        }
        return "other";
    }
    return "none";
}

std::string SystemMenuLines(HWND window, WORD) {
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

std::string FontHeight(HWND window, WORD id) {
    HWND control = id != 0 ? GetDlgItem(window, id) : window;
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA description = {};
    const bool described = font != nullptr && GetObjectA(font, sizeof description, &description) != 0;
    return described ? std::to_string(description.lfHeight) : "none";
}

// The room beside the text that a control draws, in pixels: check boxes their box and the gap after it,
// push buttons their edges and focus frame, group boxes a gap each side of their caption. A little more
// than the systems draw, so that a text that passes here is whole on Windows and under Wine alike.
int RoomBesideText(LONG style, const char* className, const TEXTMETRICW& metrics, int dpi) {
    if (lstrcmpiA(className, "Button") != 0) {
        return 0;
    }
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        return 2 * MulDiv(4, dpi, 96);
    case BS_GROUPBOX:
        return 2 * metrics.tmAveCharWidth;
    default: // the check boxes and radio buttons
        return MulDiv(13, dpi, 96) + metrics.tmAveCharWidth / 2 + 2;
    }
}

// Statics that draw text, and buttons other than owner-drawn and user ones.
bool ShowsText(HWND control, LONG style, const char* className) {
    if (lstrcmpiA(className, "Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
               type == SS_LEFTNOWORDWRAP;
    }
    const LONG type = style & BS_TYPEMASK;
    return lstrcmpiA(className, "Button") == 0 && type != BS_OWNERDRAW && type != BS_USERBUTTON &&
           GetWindowTextLengthW(control) > 0;
}

// "fits" or "cut", the id, the room needed and had, and the text, for one control.
std::string TextFitLine(HWND control, const char* className) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    char shown[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, shown, sizeof shown - 1, nullptr, nullptr);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const CWindowDC owned(control);
    const HDC dc = owned.Get();
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    const HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    RECT need = {};
    const bool noPrefix = lstrcmpiA(className, "Static") == 0 && (style & SS_NOPREFIX) != 0;
    DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_SINGLELINE | (noPrefix ? DT_NOPREFIX : 0));
    need.right += RoomBesideText(style, className, metrics, GetDeviceCaps(dc, LOGPIXELSX));
    SelectObject(dc, old);
    RECT have;
    GetClientRect(control, &have);
    const bool fits = need.right <= have.right && need.bottom <= have.bottom;
    char line[700];
    snprintf(line, sizeof line, "%s %d %ldx%ld %ldx%ld %s\n", fits ? "fits" : "cut", GetDlgCtrlID(control),
             need.right, need.bottom, have.right, have.bottom, shown);
    return line;
}

std::string TextFit(HWND window, WORD) {
    std::string lines;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        if (ShowsText(child, GetWindowLongA(child, GWL_STYLE), className)) {
            lines += TextFitLine(child, className);
        }
    }
    return lines;
}

// The template's size in dialog units, from the program's resources, mapped by the window's font.
std::string TemplateClient(HWND window, WORD id) {
    HMODULE program = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    const auto* words =
        found != nullptr ? static_cast<const WORD*>(LockResource(LoadResource(program, found))) : nullptr;
    if (words == nullptr) {
        return "none";
    }
    // DLGTEMPLATEEX begins with version 1 and 0xFFFF; its size follows style, count and position.
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    RECT size = {0, 0, static_cast<SHORT>(words[extended ? 11 : 7]),
                 static_cast<SHORT>(words[extended ? 12 : 8])};
    MapDialogRect(window, &size);
    return std::to_string(size.right) + "x" + std::to_string(size.bottom);
}

std::string PaintNow(HWND window, WORD) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    return "painted";
}

std::string SendDpiChanged(HWND window, WORD dpi) {
    RECT suggested;
    GetWindowRect(window, &suggested);
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    return "sent";
}

std::string Repaint(HWND window, WORD) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    const bool invalid = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    UpdateWindow(window); // WM_PAINT to the window procedure, before this returns
    const bool painted = GetUpdateRect(window, nullptr, FALSE) == FALSE;
    return invalid && painted ? "repainted" : "not repainted";
}

std::string HoldTimers(HWND window, WORD hold) {
    g_heldTimerWindow = hold != 0 ? window : nullptr;
    return hold != 0 ? "held" : "released";
}

// Each query's answer, in the order of ProbeQuery's values from 1.
std::string (*const ANSWERS[])(HWND window, WORD argument) = {MessageIconName, HoldTimers,     Repaint,
                                                              SystemMenuLines, SendDpiChanged, FontHeight,
                                                              TextFit,         TemplateClient, PaintNow};

std::string Answer(HWND window, WORD query, WORD argument) {
    // Query 0 wraps past the table's end.
    return query - 1u < std::size(ANSWERS) ? ANSWERS[query - 1u](window, argument) : "unknown query";
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeQueryHook(int code, WPARAM removed, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    const bool taken = code == HC_ACTION && removed == PM_REMOVE; // not merely peeked at
    if (taken && message->message == WM_TIMER && message->hwnd == g_heldTimerWindow &&
        message->hwnd != nullptr) {
        message->message = WM_NULL;
    } else if (taken && message->message == ProbeMessage()) {
        const std::string answer = Answer(message->hwnd, LOWORD(message->wParam), HIWORD(message->wParam));
        COPYDATASTRUCT data = {PROBE_REPLY_TAG, static_cast<DWORD>(answer.size()),
                               const_cast<char*>(answer.data())};
        SendMessageA(reinterpret_cast<HWND>(message->lParam), WM_COPYDATA, 0,
                     reinterpret_cast<LPARAM>(&data));
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}
