// The POSIX portkit on a pseudo-terminal whose other side the test holds: writes that stall, a port that
// goes away, one opener at a time, and a process that ends with a port open. Delivery itself is shown
// by every transfer over a pty.
#include "CliRun.h"
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

namespace {

std::atomic<int> NotifyCalls{0};
std::atomic<int32_t> Handle{-1};

// A procedure that takes nothing: bytes stay queued and the reader calls it again after each wait.
int32_t TakeNothing(int32_t, int32_t) {
    ++NotifyCalls;
    return 0;
}

std::atomic<bool> ToldGone{false};

// A procedure that takes every byte, as the engine's does, and notes a port that went away.
int32_t TakeAllNoteGone(int32_t, int32_t) {
    ++NotifyCalls;
    char block[64];
    int32_t got = 0;
    while ((got = ReadCommBlock(Handle, block, sizeof block)) > 0) {
    }
    ToldGone = ToldGone || got == COMM_PORT_GONE;
    return 0;
}

class PortKitOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        m_master.Reset(posix_openpt(O_RDWR | O_NOCTTY));
        ASSERT_TRUE(m_master.IsOpen() && grantpt(m_master.Get()) == 0 && unlockpt(m_master.Get()) == 0);
        m_port = RegisterCommPortPath(ptsname(m_master.Get()));
        NotifyCalls = 0;
        ToldGone = false;
    }
    // Opens the port with `proc` installed, and has the device send `bytes` until the procedure heard them.
    void OpenAndHear(CommNotifyProcType proc, const std::string& bytes) {
        Handle = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
        ASSERT_GE(Handle, 0);
        ASSERT_EQ(0, InstallNotifyProc(Handle, 0, 0, proc));
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(m_master.Get(), bytes.data(), bytes.size()));
        ASSERT_TRUE(WaitFor([] { return NotifyCalls > 0; }));
    }
    CFd m_master;
    int32_t m_port = -1;
};

// A reader that took the hang-up for "nothing yet" would spin until the port is closed: calling the
// procedure for the queued byte over and over, and burning a processor while this thread sleeps.
TEST_F(PortKitOverPty, PortThatGoesAwayRestsItsReaderAndRefusesWrites) {
    ASSERT_NO_FATAL_FAILURE(OpenAndHear(TakeNothing, "x"));
    m_master.Reset(); // the device is unplugged

    const int callsAtHangUp = NotifyCalls;
    const std::clock_t cpuAtHangUp = std::clock(); // processor time of the whole process
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The call for the hang-up, and at most one for the byte that was under way as it came.
    EXPECT_LE(NotifyCalls - callsAtHangUp, 2) << "the reader kept calling after the port went away";
    EXPECT_LT(std::clock() - cpuAtHangUp, CLOCKS_PER_SEC * 3 / 10)
        << "the reader spun after the port went away";
    EXPECT_EQ(0, WriteCommBlock(Handle, "vers\r", 5));
    char block[16];
    EXPECT_EQ(1, ReadCommBlock(Handle, block, sizeof block)) << "the byte that came before is kept";
    EXPECT_EQ(COMM_PORT_GONE, ReadCommBlock(Handle, block, sizeof block)) << "then the read says it is gone";
    EXPECT_EQ(0, DestroyCommPort(Handle));
}

// A procedure that left nothing behind is never called again for bytes: without the call for the hang-up
// its owner would wait out a reply that cannot come.
TEST_F(PortKitOverPty, ProcedureThatTookEveryByteIsToldWhenThePortGoesAway) {
    ASSERT_NO_FATAL_FAILURE(OpenAndHear(TakeAllNoteGone, "x>"));
    EXPECT_FALSE(ToldGone) << "a port that is there is not gone";
    m_master.Reset(); // the device is unplugged
    EXPECT_TRUE(WaitFor([] { return ToldGone.load(); }));
    EXPECT_EQ(0, DestroyCommPort(Handle));
}

// A device path that does not open keeps the system's reason, which zrvlink's message on it shows.
TEST_F(PortKitOverPty, UnknownPortsSettingsAndHandlesAreRefused) {
    EXPECT_LT(CreateCommPort(250, 9600, 8, 'N', 1, 0, 0, 0), 0);
    EXPECT_EQ(0, GetCommPortOpenError()) << "no device, no system reason";
    EXPECT_LT(CreateCommPort(m_port, 9600, 9, 'N', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(m_port, 9600, 8, 'X', 1, 0, 0, 0), 0);
    EXPECT_LT(CreateCommPort(m_port, 12345, 8, 'N', 1, 0, 0, 0), 0);
    char block[4];
    for (int32_t bad : {-1, 15, 1000}) {
        EXPECT_LT(ReadCommBlock(bad, block, sizeof block), 0);
        EXPECT_EQ(0, WriteCommBlock(bad, "x", 1));
        EXPECT_LT(DestroyCommPort(bad), 0);
        EXPECT_LT(InstallNotifyProc(bad, 0, 0, TakeNothing), 0);
    }
}

TEST_F(PortKitOverPty, StalledDeviceFailsTheWriteButAPauseDoesNot) {
    const std::string block(4096, 'x');
    Handle = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(Handle, 0);

    // The device pauses for half the limit while the line is full; then it reads on. A pty frees some room
    // of its own accord a few hundred milliseconds into a stall, so only a pause that long shows a limit
    // that is too short.
    std::atomic<bool> stop{false};
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        char drained[4096];
        for (pollfd in{m_master.Get(), POLLIN, 0}; !stop;) {
            if (poll(&in, 1, 20) == 1 && read(in.fd, drained, sizeof drained) < 0 && errno != EAGAIN) {
                return;
            }
        }
    });
    for (int i = 0; i < 64; ++i) { // far more than the pty holds
        EXPECT_NE(0, WriteCommBlock(Handle, block.data(), static_cast<int32_t>(block.size()))) << i;
    }
    stop = true;
    device.join();

    // The device takes nothing more: a write fails instead of waiting for ever.
    int accepted = 0;
    while (accepted < 1024 && WriteCommBlock(Handle, block.data(), static_cast<int32_t>(block.size())) != 0) {
        ++accepted;
    }
    EXPECT_LT(accepted, 1024);
    EXPECT_EQ(0, DestroyCommPort(Handle));
}

TEST_F(PortKitOverPty, SecondOpenerOfTheSameDeviceIsRefusedUntilTheFirstCloses) {
    const std::string path = ptsname(m_master.Get());
    const CScratchDir dir;
    const std::string link = dir / "port-link";
    ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));
    const int32_t viaLink = RegisterCommPortPath(link.c_str());
    // A program that had the device open before, without taking the lock.
    const CFd other(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(other.IsOpen());
    int exclusive = -1;
    const int32_t first = CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    ASSERT_GE(first, 0);
    for (int32_t number : {m_port, viaLink}) {
        EXPECT_LT(CreateCommPort(number, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0), 0) << number;
        const int32_t error = GetCommPortOpenError();
        // EBUSY from the exclusive mode; root passes that and meets the lock.
        EXPECT_TRUE(error == EBUSY || error == EWOULDBLOCK) << error;
    }
    EXPECT_EQ(0, ioctl(other.Get(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(1, exclusive) << "openers that take no lock are kept out too";

    EXPECT_EQ(0, DestroyCommPort(first));
    EXPECT_EQ(0, ioctl(other.Get(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive) << "the device stays exclusive after the port closed";
    for (int32_t number : {viaLink, m_port}) {
        const int32_t again = CreateCommPort(number, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
        EXPECT_GE(again, 0) << number;
        EXPECT_EQ(0, GetCommPortOpenError());
        DestroyCommPort(again);
    }

    // A program that keeps the device in exclusive mode without the lock keeps it, from root too.
    ASSERT_EQ(0, ioctl(other.Get(), TIOCEXCL));
    EXPECT_LT(CreateCommPort(m_port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0), 0);
    EXPECT_EQ(EBUSY, GetCommPortOpenError());
    EXPECT_EQ(0, ioctl(other.Get(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(1, exclusive) << "the refused opener took the other's exclusive mode away";
}

std::atomic<bool> Notified{false};

int32_t DrainAndTell(int32_t, int32_t) {
    char block[64];
    while (ReadCommBlock(Handle, block, sizeof block) > 0) {
    }
    Notified = true;
    return 0;
}

// Ends the process with a port open and its reader at work, as a program that never closes its port
// (status 3: the port was not at work). Ending by exit() and by a return from main are the same here.
[[noreturn]] void ExitWithAPortOpen(int32_t port, int master) {
    Handle = CreateCommPort(port, 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    const bool atWork = Handle >= 0 && InstallNotifyProc(Handle, 0, 0, DrainAndTell) == 0 &&
                        write(master, "x>", 2) == 2 && WaitFor([] { return Notified.load(); });
    std::exit(atWork ? 0 : 3);
}

// A process that does not end hangs the test until its time limit.
using PortKitAtExitDeathTest = PortKitOverPty;

TEST_F(PortKitAtExitDeathTest, ProcessWithAPortStillOpenEnds) {
    EXPECT_EXIT(ExitWithAPortOpen(m_port, m_master.Get()), ::testing::ExitedWithCode(0), "");
}

} // namespace
