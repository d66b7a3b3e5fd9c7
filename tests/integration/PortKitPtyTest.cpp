// The POSIX portkit on a pseudo-terminal whose other side the test holds: delivery through the notify
// procedure, writes, and a port that goes away.
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex ReceivedMutex;
std::string Received;
std::atomic<int> NotifyCalls{0};
std::atomic<int32_t> Handle{-1};

int32_t Drain(int32_t, int32_t) {
    ++NotifyCalls;
    char block[256];
    int32_t n;
    while ((n = ReadCommBlock(Handle, block, sizeof block)) > 0) {
        std::lock_guard<std::mutex> lock(ReceivedMutex);
        Received.append(block, static_cast<std::size_t>(n));
    }
    return n;
}

std::string ReceivedSoFar() {
    std::lock_guard<std::mutex> lock(ReceivedMutex);
    return Received;
}

template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 200 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

class PortKitOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(0, grantpt(m_master));
        ASSERT_EQ(0, unlockpt(m_master));
        m_port = RegisterCommPortPath(ptsname(m_master));
        Received.clear();
        NotifyCalls = 0;
    }
    void TearDown() override {
        if (m_master >= 0) {
            close(m_master);
        }
    }
    int m_master = -1;
    int32_t m_port = -1;
};

TEST_F(PortKitOverPty, DeliversReceivedBytesAndWritesWholeBlocks) {
    Handle = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(Handle, 0);
    ASSERT_EQ(0, InstallNotifyProc(Handle, 0, 0, Drain));

    const std::string reply = "address 192.168.0.10\r\n>";
    ASSERT_EQ(static_cast<ssize_t>(reply.size()), write(m_master, reply.data(), reply.size()));
    EXPECT_TRUE(Eventually([&] { return ReceivedSoFar() == reply; })) << ReceivedSoFar();

    ASSERT_NE(0, WriteCommBlock(Handle, "netparam\r", 9));
    char line[16] = {};
    pollfd in{m_master, POLLIN, 0};
    ASSERT_EQ(1, poll(&in, 1, 2000));
    EXPECT_EQ(9, read(m_master, line, sizeof line));
    EXPECT_STREQ("netparam\r", line);
    EXPECT_EQ(0, DestroyCommPort(Handle));
}

TEST_F(PortKitOverPty, PortThatGoesAwayStopsDeliveringAndRefusesWrites) {
    Handle = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(Handle, 0);
    ASSERT_EQ(0, InstallNotifyProc(Handle, 0, 0, Drain));
    close(m_master); // the device is unplugged
    m_master = -1;

    EXPECT_TRUE(Eventually([] { return WriteCommBlock(Handle, "vers\r", 5) == 0; }));
    const int callsAfterHangUp = NotifyCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(callsAfterHangUp, NotifyCalls) << "the reader kept calling after the port went away";
    char block[16];
    EXPECT_EQ(0, ReadCommBlock(Handle, block, sizeof block));
    EXPECT_EQ(0, DestroyCommPort(Handle));
}

// Two transfers on one device would mix their commands; a second name of the tty must not get round it.
TEST_F(PortKitOverPty, APortInUseIsRefusedUnderEveryNameUntilItIsClosed) {
    char linkDir[] = "/tmp/zrv-portkit-link.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(linkDir));
    const std::string link = std::string(linkDir) + "/zrvlink-SERIAL";
    ASSERT_EQ(0, symlink(ptsname(m_master), link.c_str()));
    const int32_t linkPort = RegisterCommPortPath(link.c_str());

    const int32_t first = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(first, 0);
    EXPECT_LT(CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(linkPort, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0), 0);
    EXPECT_EQ(0, DestroyCommPort(first));
    const int32_t again = CreateCommPort(linkPort, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    EXPECT_GE(again, 0);
    EXPECT_EQ(0, DestroyCommPort(again));
    unlink(link.c_str());
    rmdir(linkDir);
}

TEST_F(PortKitOverPty, UnknownPortsSettingsAndHandlesAreRefused) {
    EXPECT_LT(CreateCommPort(RegisterCommPortPath("/dev/zrv-absent"), 9600, 8, 'N', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(250, 9600, 8, 'N', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(m_port, 9600, 9, 'N', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(m_port, 9600, 8, 'X', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(m_port, 12345, 8, 'N', 1, 0, 0, 0), 0);
    char block[4];
    for (int32_t bad : {-1, 15, 1000}) {
        EXPECT_LT(ReadCommBlock(bad, block, sizeof block), 0);
        EXPECT_EQ(0, WriteCommBlock(bad, "x", 1));
        EXPECT_LT(DestroyCommPort(bad), 0);
        EXPECT_LT(InstallNotifyProc(bad, 0, 0, Drain), 0);
    }
}

} // namespace
