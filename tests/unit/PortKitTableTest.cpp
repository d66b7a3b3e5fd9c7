// portkit's portable parts: the receive queue and the table of device paths; a full table is the POSIX
// port source's test.
#include "portkit/CommPortPaths.h"
#include "portkit/ReceiveQueue.h"

#include <gtest/gtest.h>

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

} // namespace
