// The trace log's line layout, its cut, its lifecycle and its output stream.
#include "core/DebugPrint.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const STAMP = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}  )";

// Each call is one line as given: no line end added, none joined or split.
TEST(DebugPrint, LineLayout) {
    const struct {
        const char* Name;
        const char* Expected; // regular expression of the whole output
    } cases[] = {
        {"ZRVLinkSetup", "ZRVLinkSetup: STAMPfirstZRVLinkSetup: STAMPWARNING: cannot open COM3\n"},
        {"", "STAMPfirstSTAMPWARNING: cannot open COM3\n"}, // no name: no ": " either
    };
    for (const auto& c : cases) {
        std::string out = CaptureTrace(c.Name, [] {
            DebugPrint("%s", "first");
            DebugPrint("WARNING: cannot open COM%d\n", 3);
        });
        std::string pattern = std::regex_replace(c.Expected, std::regex("STAMP"), STAMP);
        EXPECT_TRUE(std::regex_match(out, std::regex(pattern))) << '"' << out << '"';
    }
}

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

TEST(DebugPrint, LinesFromSeveralThreadsStayWhole) {
    constexpr int THREADS = 4;
    constexpr int LINES = 200;
    std::string out = CaptureTrace("", [] {
        std::vector<std::thread> threads;
        for (int t = 0; t < THREADS; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < LINES; ++i) {
                    DebugPrint("thread %d line %03d %s\n", t, i, "................................");
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    });
    std::regex line(std::string(STAMP) + R"(thread \d line \d{3} \.{32})");
    int count = 0;
    for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_TRUE(std::regex_match(out.substr(start, end - start), line)) << out.substr(start, end - start);
        ++count;
    }
    EXPECT_EQ(THREADS * LINES, count);
}

} // namespace
