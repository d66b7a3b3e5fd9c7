// The main window on screens too small for it: its size, place and scroll bars, and how the view moves
// for the scroll bars, the wheel, the focus and a change of DPI.
#include "ui/logic/WindowFit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The window as the documents' template makes it at 100 %, and its frame under Wine.
constexpr PixelSize CONTENT_100 = {1019, 859};
constexpr PixelSize CONTENT_150 = {1601, 1289};
constexpr PixelSize FRAME = {6, 25};
constexpr PixelSize BARS = {17, 17};

FitInput Input(PixelSize content, PixelRect workArea, int left = 0, int top = 0) {
    return {content, FRAME, BARS, workArea, left, top};
}

std::string Describe(const WindowFit& fit) {
    return std::to_string(fit.Window.Left) + "," + std::to_string(fit.Window.Top) + " " +
           std::to_string(fit.Window.Right - fit.Window.Left) + "x" +
           std::to_string(fit.Window.Bottom - fit.Window.Top) + (fit.VerticalBar ? " vertical" : "") +
           (fit.HorizontalBar ? " horizontal" : "") + " view " + std::to_string(fit.View.Width) + "x" +
           std::to_string(fit.View.Height);
}

// A window that fits keeps its size and moves the least that puts it within the work area; one that does
// not shrinks to it, with the bars it then needs.
TEST(FitWindow, SizesAndPlacesTheWindowWithinTheWorkAreaWithTheBarsItNeeds) {
    const PixelRect fullHd = {0, 0, 1920, 1040};
    const PixelRect secondMonitorBelowATopTaskbar = {1920, 40, 3286, 768};
    const struct {
        const char* Screen;
        FitInput Input;
        std::string Fit;
    } cases[] = {
        {"1920 x 1080 at 100 %: as the template makes it", Input(CONTENT_100, fullHd),
         "0,0 1025x884 view 1019x859"},
        {"exactly as large as the work area", Input(CONTENT_100, {0, 0, 1025, 884}),
         "0,0 1025x884 view 1019x859"},
        {"1366 x 768 at 100 %: too tall only", Input(CONTENT_100, {0, 0, 1366, 728}),
         "0,0 1042x728 vertical view 1019x703"},
        {"1920 x 1080 at 150 %", Input(CONTENT_150, fullHd), "0,0 1624x1040 vertical view 1601x1015"},
        {"1366 x 768 at 150 %: too tall and too wide", Input(CONTENT_150, {0, 0, 1366, 728}),
         "0,0 1366x728 vertical horizontal view 1343x686"},
        // Wide enough for the content, not for the content and the vertical bar.
        {"the vertical bar makes it too wide", Input(CONTENT_100, {0, 0, 1030, 728}),
         "0,0 1030x728 vertical horizontal view 1007x686"},
        // High enough for the content, not for the content and the horizontal bar.
        {"the horizontal bar makes it too tall", Input({1601, 850}, {0, 0, 1366, 880}),
         "0,0 1366x880 vertical horizontal view 1343x838"},
        {"a work area smaller than the frame leaves no view rather than a negative one",
         Input(CONTENT_100, {0, 0, 20, 30}), "0,0 20x30 vertical horizontal view 0x0"},
        {"where it stands", Input(CONTENT_100, fullHd, 300, 100), "300,100 1025x884 view 1019x859"},
        {"over the right and bottom edges", Input(CONTENT_100, fullHd, 1500, 900),
         "895,156 1025x884 view 1019x859"},
        {"above and left of the work area", Input(CONTENT_100, secondMonitorBelowATopTaskbar, 1800, 0),
         "1920,40 1042x728 vertical view 1019x703"},
        {"to the right within a smaller monitor",
         Input(CONTENT_100, secondMonitorBelowATopTaskbar, 3000, 300),
         "2244,40 1042x728 vertical view 1019x703"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Fit, Describe(FitWindow(c.Input))) << c.Screen;
    }
}

constexpr int LINE = 14;
const ScrollAxis MIDDLE = {1289, 1015, 100}; // 274 to go at the most

TEST(StepScroll, MovesByLinesAndPagesAndStopsAtBothEnds) {
    const struct {
        ScrollAxis Axis;
        ScrollStep Step;
        int Position;
    } cases[] = {
        {MIDDLE, SCROLL_LINE_ON, 114},
        {MIDDLE, SCROLL_LINE_BACK, 86},
        {MIDDLE, SCROLL_PAGE_ON, 274}, // a page (1001) is more than is left
        {MIDDLE, SCROLL_PAGE_BACK, 0},
        {{1289, 400, 500}, SCROLL_PAGE_ON, 886}, // the view less one line
        {{1289, 400, 886}, SCROLL_PAGE_BACK, 500},
        {{1289, 10, 500}, SCROLL_PAGE_ON, 514}, // a view smaller than a line still moves a line
        {{1289, 1015, 270}, SCROLL_LINE_ON, 274},
        {{1289, 1015, 5}, SCROLL_LINE_BACK, 0},
        {MIDDLE, SCROLL_TO_START, 0},
        {MIDDLE, SCROLL_TO_END, 274},
        {{859, 1019, 0}, SCROLL_TO_END, 0}, // content that fits never moves
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Position, StepScroll(c.Axis, c.Step, LINE)) << c.Axis.Position << " step " << c.Step;
    }
}

// A notch moves three lines as the system sets it; a finer wheel's parts add up to whole lines.
TEST(WheelScroll, MovesWholeLinesForWhatTheWheelTurnedAndKeepsTheRest) {
    const struct {
        const char* Turn;
        int Deltas[4];
        int LinesPerNotch;
        int Position;
        int Pending;
    } cases[] = {
        {"one notch towards the user", {-120}, 3, 142, 0},
        {"one notch away", {120}, 3, 58, 0},
        {"a third of a notch moves a line", {-40}, 3, 114, 0},
        {"a quarter waits", {-30}, 3, 100, -90},
        {"quarters add up", {-30, -30}, 3, 114, -60},
        {"turning back drops what waited", {-30, 30}, 3, 100, 90},
        {"a page per notch", {-120}, WHEEL_PAGE_PER_NOTCH, 274, 0},
        {"no lines per notch", {-120}, 0, 100, 0},
        {"past the start", {120, 120, 120}, 3, 0, 0},
    };
    for (const auto& c : cases) {
        ScrollAxis axis = MIDDLE;
        int pending = 0;
        for (int delta : c.Deltas) {
            if (delta != 0) {
                axis.Position = WheelScroll(axis, delta, c.LinesPerNotch, LINE, &pending);
            }
        }
        EXPECT_EQ(c.Position, axis.Position) << c.Turn;
        EXPECT_EQ(c.Pending, pending) << c.Turn;
    }
}

TEST(RevealScroll, BringsAControlIntoViewWithAMarginAndLeavesOneInViewAlone) {
    const ScrollAxis axis = {1289, 700, 200}; // shows 200 to 900
    const struct {
        const char* Control;
        int Start;
        int End;
        int Position;
    } cases[] = {
        {"in view", 300, 330, 200},
        {"in view, within the margin of the edge", 205, 230, 200},
        {"above", 100, 130, 86},
        {"partly above", 190, 220, 176},
        {"below", 1200, 1230, 544},
        {"partly below", 880, 910, 224},
        {"at the content's end", 1260, 1289, 589},
        {"at its start", 0, 30, 0},
        {"larger than the view", 100, 1000, 100},
        {"nearly as large as the view: the margin shrinks", 500, 1190, 495},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Position, RevealScroll(axis, c.Start, c.End, LINE)) << c.Control;
    }
}

TEST(RescaleScroll, KeepsTheSameShareOfContentThatChangedSize) {
    EXPECT_EQ(450, RescaleScroll({1000, 500, 300}, 1500));
    EXPECT_EQ(0, RescaleScroll({1000, 500, 0}, 1500));
    EXPECT_EQ(100, RescaleScroll({0, 500, 100}, 1500)); // no content before: nothing to scale by
}

// Wine leaves the controls as they were when the DPI changes; Windows scales them, and the content with
// them.
TEST(ScaleContent, FollowsTheControlsExtent) {
    const PixelSize natural = {1019, 859};
    const PixelSize extent = {998, 851};
    const auto scaled = [&](PixelSize now) {
        const PixelSize content = ScaleContent(natural, extent, now);
        return std::to_string(content.Width) + "x" + std::to_string(content.Height);
    };
    EXPECT_EQ("1019x859", scaled(extent));
    EXPECT_EQ("1529x1289", scaled({1497, 1277}));
    EXPECT_EQ("510x430", scaled({499, 426}));
    EXPECT_EQ(1019, ScaleContent(natural, {0, 0}, {5, 5}).Width); // no controls: the template's size
}

} // namespace
