// The trace log's viewer delivery on Windows: real windows of the viewer classes receive WM_COPYDATA as
// the viewers expect it (the catchers take nothing else: the tag, no sender, a NUL after the line), and
// a stream, when set, the same line.
#include "SetupDriver.h"
#include "core/DebugPrint.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

const char* const TRACEWIN = "TraceWin TRACE Window";
const char* const MFX = "MfxTraceWindow";

// The first running viewer in the order of the classes gets the line; a stream gets the same line,
// whether a viewer runs or not.
TEST(TraceViewer, FirstViewerClassFoundAndTheStreamReceiveTheLine) {
    const struct {
        std::vector<const char*> Running;
        const char* Receiver; // null: nobody
    } cases[] = {
        {{TRACEWIN, MFX}, TRACEWIN},
        {{MFX, TRACEWIN}, TRACEWIN},
        {{MFX}, MFX},
        {{}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Receiver != nullptr ? c.Receiver : "no viewer");
        std::vector<std::unique_ptr<CCopyDataCatcher>> viewers;
        for (const char* className : c.Running) {
            viewers.push_back(std::make_unique<CCopyDataCatcher>(className, 0x6E697774, true));
            ASSERT_TRUE(viewers.back()->Running()) << className;
        }
        const std::string line =
            CaptureTrace("ZRVLinkSetup", [] { DebugPrint("WARNING: cannot open COM%d\n", 3); });
        EXPECT_TRUE(std::regex_match(
            line,
            std::regex(R"(ZRVLinkSetup: \d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}  WARNING: cannot open COM3\n)")))
            << line;
        for (std::size_t i = 0; i < viewers.size(); ++i) {
            EXPECT_EQ(c.Running[i] == c.Receiver ? line : "", viewers[i]->Lines()) << c.Running[i];
        }
    }
}

} // namespace
