// portkit's portable parts: the receive queue and the table of device paths.
#include "portkit/CommPortPaths.h"
#include "portkit/ReceiveQueue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

TEST(CReceiveQueue, KeepsArrivalOrderAcrossTheRingsEnd) {
    CReceiveQueue queue;
    std::string expected;
    std::string got;
    char buffer[1000];
    // Chunks of awkward sizes wrap the ring many times.
    for (int round = 0; round < 50; ++round) {
        std::string chunk(static_cast<std::size_t>(137 + round * 7), static_cast<char>('a' + round % 26));
        ASSERT_EQ(chunk.size(), queue.Push(chunk.data(), chunk.size()));
        expected += chunk;
        std::size_t n = queue.Pop(buffer, sizeof buffer);
        got.append(buffer, n);
    }
    while (std::size_t n = queue.Pop(buffer, sizeof buffer)) {
        got.append(buffer, n);
    }
    EXPECT_EQ(expected, got);
    EXPECT_EQ(0u, queue.Count());
}

TEST(CReceiveQueue, FullQueueTakesOnlyWhatFits) {
    CReceiveQueue queue;
    const std::string big(CReceiveQueue::CAPACITY + 10, 'x');
    EXPECT_EQ(CReceiveQueue::CAPACITY, queue.Push(big.data(), big.size()));
    EXPECT_EQ(0u, queue.Room());
    EXPECT_EQ(0u, queue.Push("y", 1));
    char buffer[4];
    EXPECT_EQ(4u, queue.Pop(buffer, sizeof buffer));
    EXPECT_EQ(4u, queue.Room());
}

TEST(CommPortPaths, SamePathSameNumberAndBadPathsRefused) {
    const int32_t first = RegisterCommPortPath("/dev/ttyACM0");
    const int32_t second = RegisterCommPortPath("/dev/pts/7");
    EXPECT_GE(first, 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(first, RegisterCommPortPath("/dev/ttyACM0"));

    char path[COMM_PATH_SIZE];
    ASSERT_TRUE(GetCommPortPath(second, path));
    EXPECT_STREQ("/dev/pts/7", path);

    EXPECT_EQ(-1, RegisterCommPortPath(""));
    EXPECT_EQ(-1, RegisterCommPortPath(nullptr));
    EXPECT_EQ(-1, RegisterCommPortPath(std::string(COMM_PATH_SIZE, 'p').c_str()));
    for (int32_t unknown : {0, -1, MAX_COMM_PATHS + 1, MAX_COMM_PATHS}) {
        EXPECT_FALSE(GetCommPortPath(unknown, path)) << unknown;
    }
}

// The table is never emptied (see CommPortPaths.h): once it is full every new path is refused, and every
// path already in keeps its number and its path. Filled in a child process, which takes the full table
// with it.
TEST(CommPortPaths, FullTableRefusesNewPathsButKeepsOldOnes) {
    EXPECT_EXIT(
        {
            const int32_t early = RegisterCommPortPath("/dev/early");
            int32_t last = 0;
            for (int i = 0; i <= MAX_COMM_PATHS; ++i) {
                const int32_t number = RegisterCommPortPath(("/dev/fill" + std::to_string(i)).c_str());
                last = number > 0 ? number : last;
            }
            char path[COMM_PATH_SIZE];
            const bool kept = RegisterCommPortPath("/dev/early") == early && GetCommPortPath(early, path) &&
                              std::string(path) == "/dev/early";
            const bool refused =
                RegisterCommPortPath("/dev/one-too-many") == -1 && !GetCommPortPath(MAX_COMM_PATHS + 1, path);
            std::fprintf(stderr, "last number %d, early path kept %d, new path refused %d\n", last, kept,
                         refused);
            std::exit(last == MAX_COMM_PATHS && kept && refused ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
