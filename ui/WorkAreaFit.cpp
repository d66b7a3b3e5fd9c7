// CWorkAreaFit: a dialog within its monitor's work area, scrolled where it does not fit; Windows side.
#include "ui/WorkAreaFit.h"

#include <algorithm>

namespace {

constexpr int DEFAULT_LINE = 16; // pixels, for a dialog whose font gives no line height

PixelSize SizeOf(const RECT& rect) {
    return {rect.right - rect.left, rect.bottom - rect.top};
}

ScrollStep StepOf(WORD request) {
    switch (request) {
    case SB_LINEUP:
        return SCROLL_LINE_BACK;
    case SB_LINEDOWN:
        return SCROLL_LINE_ON;
    case SB_PAGEUP:
        return SCROLL_PAGE_BACK;
    case SB_PAGEDOWN:
        return SCROLL_PAGE_ON;
    case SB_TOP:
        return SCROLL_TO_START;
    default:
        return SCROLL_TO_END;
    }
}

int WheelLinesPerNotch() {
    UINT lines = 3;
    ::SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    return lines == WHEEL_PAGESCROLL ? WHEEL_PAGE_PER_NOTCH : static_cast<int>(lines);
}

} // namespace

CWorkAreaFit* CWorkAreaFit::s_pFocusWatched = nullptr;

CWorkAreaFit::~CWorkAreaFit() {
    Detach();
}

void CWorkAreaFit::Attach(HWND dialog) {
    m_hWnd = dialog;
    RECT client;
    ::GetClientRect(dialog, &client);
    m_natural = SizeOf(client);
    m_naturalExtent = ControlsExtent();
    m_horizontal = {m_natural.Width, m_natural.Width, 0};
    m_vertical = {m_natural.Height, m_natural.Height, 0};
    s_pFocusWatched = this;
    m_focusHook.Reset(::SetWindowsHookExA(WH_CBT, FocusHook, nullptr, ::GetCurrentThreadId()));
    Fit(nullptr, true);
}

void CWorkAreaFit::Detach() {
    m_focusHook.Reset();
    if (s_pFocusWatched == this) {
        s_pFocusWatched = nullptr;
    }
    m_hWnd = nullptr;
}

bool CWorkAreaFit::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (m_hWnd == nullptr) {
        return false;
    }
    switch (message) {
    case WM_VSCROLL:
    case WM_HSCROLL:
        if (lParam != 0) {
            return false; // a scroll bar control's, not the window's own
        }
        OnScrollBar(message == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wParam));
        break;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        if (!m_bVerticalBar && !m_bHorizontalBar) {
            return false;
        }
        OnWheel(message == WM_MOUSEHWHEEL, GET_WHEEL_DELTA_WPARAM(wParam));
        break;
    case WM_DPICHANGED:
        OnDpiChanged(reinterpret_cast<const RECT*>(lParam));
        return false; // the system scales the dialog first
    case WM_DISPLAYCHANGE:
        ::PostMessageA(m_hWnd, WM_FIT_AGAIN, 0, 0);
        return false;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETWORKAREA) {
            ::PostMessageA(m_hWnd, WM_FIT_AGAIN, 0, 0);
        }
        return false;
    case WM_FIT_AGAIN:
        FitAgain(wParam != 0);
        break;
    case WM_FIT_REVEAL_FOCUS:
        RevealFocus();
        break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

// Every change of focus in the thread passes here; a control of the dialog that takes it is brought into
// view once the change is done.
LRESULT CALLBACK CWorkAreaFit::FocusHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWorkAreaFit* fit = s_pFocusWatched;
    if (code == HCBT_SETFOCUS && fit != nullptr && (fit->m_bVerticalBar || fit->m_bHorizontalBar) &&
        ::IsChild(fit->m_hWnd, reinterpret_cast<HWND>(wParam))) {
        ::PostMessageA(fit->m_hWnd, WM_FIT_REVEAL_FOCUS, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// With `keepWhatFits`, a dialog that fits is not touched at all: it stays exactly as it was before.
void CWorkAreaFit::Fit(const RECT* suggested, bool keepWhatFits) {
    const UINT dpi = AfxGetDpiForWindow(m_hWnd);
    const auto style = static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE));
    RECT frame = {0, 0, 0, 0};
    AfxAdjustWindowRectExForDpi(&frame, style & ~(WS_VSCROLL | WS_HSCROLL),
                                static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)), dpi);
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    const RECT& place = suggested != nullptr ? *suggested : window;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromRect(&place, MONITOR_DEFAULTTONEAREST), &monitor);

    FitInput input = {};
    input.Content = ScaleContent(m_natural, m_naturalExtent, ControlsExtent());
    input.Frame = SizeOf(frame);
    input.ScrollBars = {AfxGetSystemMetricsForDpi(SM_CXVSCROLL, dpi),
                        AfxGetSystemMetricsForDpi(SM_CYHSCROLL, dpi)};
    input.WorkArea = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
    input.Left = place.left;
    input.Top = place.top;
    const WindowFit fit = FitWindow(input);
    if (keepWhatFits && !fit.VerticalBar && !fit.HorizontalBar) {
        return;
    }
    Apply(fit, input.Content);
}

// The bars first, then the size, so that the client area that the system leaves is the view; the
// controls keep the part of the content they showed, as far as the new view allows.
void CWorkAreaFit::Apply(const WindowFit& fit, PixelSize content) {
    m_bVerticalBar = fit.VerticalBar;
    m_bHorizontalBar = fit.HorizontalBar;
    ::ShowScrollBar(m_hWnd, SB_VERT, fit.VerticalBar);
    ::ShowScrollBar(m_hWnd, SB_HORZ, fit.HorizontalBar);
    const PixelSize size = {fit.Window.Right - fit.Window.Left, fit.Window.Bottom - fit.Window.Top};
    ::SetWindowPos(m_hWnd, nullptr, fit.Window.Left, fit.Window.Top, size.Width, size.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    m_horizontal.Content = content.Width;
    m_horizontal.View = client.right;
    m_vertical.Content = content.Height;
    m_vertical.View = client.bottom;
    UpdateBar(SB_HORZ, m_horizontal, fit.HorizontalBar);
    UpdateBar(SB_VERT, m_vertical, fit.VerticalBar);
    ScrollTo(ClampScroll(m_horizontal, m_horizontal.Position), ClampScroll(m_vertical, m_vertical.Position));
}

// A bar that is not shown is left alone: setting a range would show it.
void CWorkAreaFit::UpdateBar(int bar, const ScrollAxis& axis, bool shown) const {
    if (!shown) {
        return;
    }
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = axis.Content - 1;
    info.nPage = static_cast<UINT>(axis.View);
    info.nPos = axis.Position;
    ::SetScrollInfo(m_hWnd, bar, &info, TRUE);
}

// ScrollWindow without a rectangle moves every control with the content.
void CWorkAreaFit::ScrollTo(int x, int y) {
    const int dx = m_horizontal.Position - x;
    const int dy = m_vertical.Position - y;
    m_horizontal.Position = x;
    m_vertical.Position = y;
    if (dx != 0 || dy != 0) {
        ::ScrollWindow(m_hWnd, dx, dy, nullptr, nullptr);
    }
    UpdateBar(SB_HORZ, m_horizontal, m_bHorizontalBar);
    UpdateBar(SB_VERT, m_vertical, m_bVerticalBar);
}

void CWorkAreaFit::OnScrollBar(int bar, WORD request) {
    const ScrollAxis& axis = bar == SB_VERT ? m_vertical : m_horizontal;
    int position = axis.Position;
    if (request == SB_THUMBTRACK || request == SB_THUMBPOSITION) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        ::GetScrollInfo(m_hWnd, bar, &info);
        position = ClampScroll(axis, info.nTrackPos);
    } else if (request != SB_ENDSCROLL) {
        position = StepScroll(axis, StepOf(request), Line());
    }
    if (bar == SB_VERT) {
        ScrollTo(m_horizontal.Position, position);
    } else {
        ScrollTo(position, m_vertical.Position);
    }
}

// The wheel scrolls up and down, or sideways where only the width does not fit; the tilt wheel sideways.
void CWorkAreaFit::OnWheel(bool horizontal, int delta) {
    const bool sideways = horizontal || !m_bVerticalBar;
    const ScrollAxis& axis = sideways ? m_horizontal : m_vertical;
    // The tilt wheel's positive turn goes right, towards the content's end.
    const int position =
        WheelScroll(axis, horizontal ? -delta : delta, WheelLinesPerNotch(), Line(), &m_nWheelPending);
    if (sideways) {
        ScrollTo(position, m_vertical.Position);
    } else {
        ScrollTo(m_horizontal.Position, position);
    }
}

// The controls go back to where the template put them, so that the system scales them from there; the
// dialog is fitted again once it has.
void CWorkAreaFit::OnDpiChanged(const RECT* suggested) {
    if (!m_bRefitPending) {
        m_horizontalBefore = m_horizontal;
        m_verticalBefore = m_vertical;
        m_bRefitPending = ::PostMessageA(m_hWnd, WM_FIT_AGAIN, 1, 0) != FALSE;
    }
    m_rcSuggested = *suggested;
    ScrollTo(0, 0);
}

void CWorkAreaFit::FitAgain(bool toSuggested) {
    const bool afterDpiChange = toSuggested && m_bRefitPending;
    if (toSuggested) {
        m_bRefitPending = false; // a change of display in between leaves the view where the DPI change put it
    }
    Fit(afterDpiChange ? &m_rcSuggested : nullptr, false);
    if (afterDpiChange) {
        ScrollTo(ClampScroll(m_horizontal, RescaleScroll(m_horizontalBefore, m_horizontal.Content)),
                 ClampScroll(m_vertical, RescaleScroll(m_verticalBefore, m_vertical.Content)));
    }
}

// Not for a click: the control would move away from under the mouse before the button comes up.
void CWorkAreaFit::RevealFocus() {
    HWND control = ::GetFocus();
    if (::GetKeyState(VK_LBUTTON) < 0 || control == nullptr || !::IsChild(m_hWnd, control)) {
        return;
    }
    while (::GetParent(control) != m_hWnd) {
        control = ::GetParent(control); // the dialog's own control, not a part of it
    }
    RECT rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    const int margin = Line();
    const int x = RevealScroll(m_horizontal, rect.left + m_horizontal.Position,
                               rect.right + m_horizontal.Position, margin);
    const int y =
        RevealScroll(m_vertical, rect.top + m_vertical.Position, rect.bottom + m_vertical.Position, margin);
    ScrollTo(x, y);
}

// Where the controls reach in the content, as if the view stood at its start.
PixelSize CWorkAreaFit::ControlsExtent() const {
    PixelSize extent = {0, 0};
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT rect;
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        extent.Width = std::max<int>(extent.Width, rect.right + m_horizontal.Position);
        extent.Height = std::max<int>(extent.Height, rect.bottom + m_vertical.Position);
    }
    return extent;
}

// One line of the dialog's text.
int CWorkAreaFit::Line() const {
    RECT line = {0, 0, 0, 8};
    ::MapDialogRect(m_hWnd, &line);
    return line.bottom > 0 ? line.bottom : DEFAULT_LINE;
}
