// Window size, scroll bars and view moves of a dialog larger than its monitor's work area; portable.
#include "ui/logic/WindowFit.h"

#include <algorithm>
#include <cstdint>

namespace {

int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

// value * numerator / denominator, rounded to the nearest, without overflow; value when denominator is 0.
int MulDivRound(int value, int numerator, int denominator) {
    if (denominator == 0) {
        return value;
    }
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// The window's left or top edge: where it stands, moved the least that keeps `length` within the area.
int PlaceWithin(int start, int length, int areaStart, int areaEnd) {
    return Clamp(start, areaStart, std::max(areaStart, areaEnd - length));
}

} // namespace

// A bar in one direction takes room from the other, which may then need its own bar: deciding each twice
// settles every case.
WindowFit FitWindow(const FitInput& input) {
    const int areaWidth = input.WorkArea.Right - input.WorkArea.Left;
    const int areaHeight = input.WorkArea.Bottom - input.WorkArea.Top;
    const int roomWidth = areaWidth - input.Frame.Width;
    const int roomHeight = areaHeight - input.Frame.Height;
    bool vertical = false;
    bool horizontal = false;
    for (int pass = 0; pass < 2; ++pass) {
        vertical = input.Content.Height > roomHeight - (horizontal ? input.ScrollBars.Height : 0);
        horizontal = input.Content.Width > roomWidth - (vertical ? input.ScrollBars.Width : 0);
    }
    const int barWidth = vertical ? input.ScrollBars.Width : 0;
    const int barHeight = horizontal ? input.ScrollBars.Height : 0;
    const int width = std::min(input.Content.Width + input.Frame.Width + barWidth, areaWidth);
    const int height = std::min(input.Content.Height + input.Frame.Height + barHeight, areaHeight);
    const int left = PlaceWithin(input.Left, width, input.WorkArea.Left, input.WorkArea.Right);
    const int top = PlaceWithin(input.Top, height, input.WorkArea.Top, input.WorkArea.Bottom);

    WindowFit fit{};
    fit.Window = {left, top, left + width, top + height};
    fit.VerticalBar = vertical;
    fit.HorizontalBar = horizontal;
    fit.View = {std::max(0, width - input.Frame.Width - barWidth),
                std::max(0, height - input.Frame.Height - barHeight)};
    return fit;
}

int MaxScroll(const ScrollAxis& axis) {
    return std::max(0, axis.Content - axis.View);
}

int ClampScroll(const ScrollAxis& axis, int position) {
    return Clamp(position, 0, MaxScroll(axis));
}

int StepScroll(const ScrollAxis& axis, ScrollStep step, int line) {
    const int page = std::max(line, axis.View - line);
    switch (step) {
    case SCROLL_LINE_BACK:
        return ClampScroll(axis, axis.Position - line);
    case SCROLL_LINE_ON:
        return ClampScroll(axis, axis.Position + line);
    case SCROLL_PAGE_BACK:
        return ClampScroll(axis, axis.Position - page);
    case SCROLL_PAGE_ON:
        return ClampScroll(axis, axis.Position + page);
    case SCROLL_TO_START:
        return 0;
    case SCROLL_TO_END:
        return MaxScroll(axis);
    }
    return axis.Position;
}

// Turns are counted in notch units times lines (or pages) per notch, so that no part of a turn is lost
// however the system splits it.
int WheelScroll(const ScrollAxis& axis, int delta, int linesPerNotch, int line, int* pending) {
    const bool pages = linesPerNotch == WHEEL_PAGE_PER_NOTCH;
    if (*pending != 0 && (*pending > 0) != (delta > 0)) {
        *pending = 0; // the wheel turned back: what waited is dropped
    }
    *pending += delta * (pages ? 1 : std::max(0, linesPerNotch));
    const int steps = *pending / WHEEL_NOTCH;
    *pending -= steps * WHEEL_NOTCH;
    const int stepPixels = pages ? std::max(line, axis.View - line) : line;
    return ClampScroll(axis, axis.Position - steps * stepPixels);
}

int RevealScroll(const ScrollAxis& axis, int start, int end, int margin) {
    if (start >= axis.Position && end <= axis.Position + axis.View) {
        return axis.Position;
    }
    const int room = Clamp((axis.View - (end - start)) / 2, 0, margin);
    const bool showStart = end - start > axis.View || start < axis.Position;
    return ClampScroll(axis, showStart ? start - room : end + room - axis.View);
}

int RescaleScroll(const ScrollAxis& before, int content) {
    return MulDivRound(before.Position, content, before.Content);
}

PixelSize ScaleContent(PixelSize natural, PixelSize naturalExtent, PixelSize extent) {
    return {MulDivRound(natural.Width, extent.Width, naturalExtent.Width),
            MulDivRound(natural.Height, extent.Height, naturalExtent.Height)};
}
