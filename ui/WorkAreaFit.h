// CWorkAreaFit: keeps a dialog within the work area of its monitor. A dialog larger than that area gets
// scroll bars, and the bars, the mouse wheel and the focus moving to a control out of view scroll it; a
// dialog that fits stays as its template made it. Windows side (ui/logic/WindowFit decides).
#pragma once

#include "ui/framework/AfxWin.h"
#include "ui/logic/WindowFit.h"

// Posted by CWorkAreaFit to its own dialog: fit it again (wParam 1: to the rectangle that a change of DPI
// suggested), and bring the control that has the focus into view.
constexpr UINT WM_FIT_AGAIN = WM_APP + 1;
constexpr UINT WM_FIT_REVEAL_FOCUS = WM_APP + 2;

class CWorkAreaFit {
public:
    CWorkAreaFit() = default;
    ~CWorkAreaFit();
    CWorkAreaFit(const CWorkAreaFit&) = delete;
    CWorkAreaFit& operator=(const CWorkAreaFit&) = delete;

    // Takes the dialog as its template made it, before it is shown. One dialog at a time.
    void Attach(HWND dialog);
    // Before the dialog's window goes.
    void Detach();
    // Scroll bars, the wheel, changes of DPI, display or work area, and its own posted messages. True when
    // the message was handled here, with its result in *result; a change of DPI goes on to the dialog.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

private:
    static LRESULT CALLBACK FocusHook(int code, WPARAM wParam, LPARAM lParam);
    void Fit(const RECT* suggested, bool keepWhatFits);
    void Apply(const WindowFit& fit, PixelSize content);
    void UpdateBar(int bar, const ScrollAxis& axis, bool shown) const;
    void ScrollTo(int x, int y);
    void OnScrollBar(int bar, WORD request);
    void OnWheel(bool horizontal, int delta);
    void OnDpiChanged(const RECT* suggested);
    void FitAgain(bool toSuggested);
    void RevealFocus();
    PixelSize ControlsExtent() const;
    int Line() const;

    HWND m_hWnd = nullptr;
    CWindowsHook m_focusHook;
    PixelSize m_natural = {};       // the client area the template gave
    PixelSize m_naturalExtent = {}; // the extent of the controls then
    // The content and the view; Position is how far the controls are moved from where the template put
    // them.
    ScrollAxis m_horizontal = {};
    ScrollAxis m_vertical = {};
    bool m_bHorizontalBar = false;
    bool m_bVerticalBar = false;
    int m_nWheelPending = 0; // part of a turn too small to move a line, for either wheel
    // From a change of DPI until the dialog has been fitted again: where the view stood before, and the
    // window's new place that the system suggested.
    bool m_bRefitPending = false;
    ScrollAxis m_horizontalBefore = {};
    ScrollAxis m_verticalBefore = {};
    RECT m_rcSuggested = {};

    static CWorkAreaFit* s_pFocusWatched; // the attached one, for the focus hook; user-interface thread only
};
