// The trace log's cut, its lifecycle and its output stream. The line layout shows in every trace the
// other tests compare.
#include "core/DebugPrint.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DebugPrint, OverlongMessageIsCutAtTheLineBuffersEnd) {
    const std::string message(3000, 'x');
    std::string out = CaptureTrace("ZRVLinkSetup", [&] { DebugPrint("%s", message.c_str()); });
    ASSERT_EQ(TRACE_LINE_SIZE - 1, out.size());
    EXPECT_EQ(std::string(40, 'x'), out.substr(out.size() - 40));
}

// A stream whose writes fail is dropped and tracing goes on into the next.
TEST(DebugPrint, NothingIsTracedBeforeInitOrAfterExitOrIntoAFailingStream) {
    const std::string failing = TempFilePath("trace");
    const std::string kept = TempFilePath("trace");
    std::fclose(std::fopen(failing.c_str(), "wb"));
    DebugPrint("before init\n");
    DebugPrintInit("p");
    DebugPrintSetStream(std::fopen(failing.c_str(), "rb")); // every write fails
    DebugPrint("lost\n");
    DebugPrint("also lost\n");
    DebugPrintSetStream(std::fopen(kept.c_str(), "wb"));
    DebugPrint("while active\n");
    DebugPrintExit();
    DebugPrint("after exit\n");
    DebugPrintExit(); // a second stop is harmless
    EXPECT_EQ("", ReadWholeFile(failing));
    const std::string out = ReadWholeFile(kept);
    EXPECT_NE(std::string::npos, out.find("while active\n"));
    EXPECT_EQ(std::string::npos, out.find("before init"));
    EXPECT_EQ(std::string::npos, out.find("after exit"));
}

} // namespace
