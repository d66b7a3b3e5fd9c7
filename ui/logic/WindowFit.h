// Where a dialog goes on a monitor too small for it and how its content scrolls there: the window size,
// its scroll bars and every move of the view; portable (the window measures, this decides).
#pragma once

struct PixelSize {
    int Width;
    int Height;
};

struct PixelRect {
    int Left;
    int Top;
    int Right;
    int Bottom;
};

// What the window holds and where it may stand, all in pixels at the window's DPI.
struct FitInput {
    PixelSize Content;    // the client area that the template gives, every control in it
    PixelSize Frame;      // what caption and borders add to the client area
    PixelSize ScrollBars; // the width of a vertical bar and the height of a horizontal one
    PixelRect WorkArea;   // of the monitor the window is on or goes to
    int Left;             // where the window stands or is asked to go
    int Top;
};

struct WindowFit {
    PixelRect Window;   // frame included; always within the work area
    bool VerticalBar;   // the content is taller than the view
    bool HorizontalBar; // the content is wider than the view
    PixelSize View;     // the client area within the bars: the part of the content shown
};

// The window at its full size where that fits the work area; else as large as the work area allows, with
// a scroll bar for each direction the content does not fit. Moved the least that puts it within the work
// area.
WindowFit FitWindow(const FitInput& input);

// One direction of the content in its view.
struct ScrollAxis {
    int Content;  // pixels of content
    int View;     // pixels shown
    int Position; // the first pixel shown
};

// The farthest position: the content's end at the view's end, or 0 when the content fits.
int MaxScroll(const ScrollAxis& axis);
// `position` brought within 0 and MaxScroll.
int ClampScroll(const ScrollAxis& axis, int position);

// What a scroll bar asks for, besides dragging its box to a place.
enum ScrollStep {
    SCROLL_LINE_BACK,
    SCROLL_LINE_ON,
    SCROLL_PAGE_BACK,
    SCROLL_PAGE_ON,
    SCROLL_TO_START,
    SCROLL_TO_END,
};

// The position after `step`, with a line of `line` pixels. A page is the view less one line, so that a
// line of what was shown stays in sight; at least one line.
int StepScroll(const ScrollAxis& axis, ScrollStep step, int line);

// Wheel notches are WHEEL_NOTCH units of turn; a system setting says how many lines one moves, or that it
// moves a page.
constexpr int WHEEL_NOTCH = 120;
constexpr int WHEEL_PAGE_PER_NOTCH = -1;

// The position after the wheel turned `delta` (positive: away from the user, towards the content's start).
// Turns too small to move a whole line wait in `*pending` until more come in the same direction.
int WheelScroll(const ScrollAxis& axis, int delta, int linesPerNotch, int line, int* pending);

// The position that brings the content from `start` to `end` into view, with `margin` pixels around it
// where the view has room; the position stays where it is when that part is in view already. A part
// larger than the view shows its start.
int RevealScroll(const ScrollAxis& axis, int start, int end, int margin);

// The position in content that has grown or shrunk to `content` pixels (a change of DPI): the same share
// of it, to be clamped to the new view.
int RescaleScroll(const ScrollAxis& before, int content);

// The content's size now, from the size the template gave and the extent of its controls then and now:
// when the system scales the controls for another DPI, the content follows them; when it does not, it
// stays as it was.
PixelSize ScaleContent(PixelSize natural, PixelSize naturalExtent, PixelSize extent);
