// A program that ends with a port still open and its reader running: it opens a pty's other side as a
// port, waits until the notify procedure has been called, then returns from main ("return") or calls
// exit ("exit") without DestroyCommPort. Run by PortKitPtyTest, which waits for it to end.
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int EXIT_SET_UP_FAILED = 3;

std::atomic<int32_t> Handle{-1};
std::atomic<bool> Notified{false};

int32_t Drain(int32_t, int32_t) {
    char block[64];
    while (ReadCommBlock(Handle, block, sizeof block) > 0) {
    }
    Notified = true;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool viaExit = argc > 1 && std::strcmp(argv[1], "exit") == 0;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return EXIT_SET_UP_FAILED;
    }
    Handle = CreateCommPort(RegisterCommPortPath(ptsname(master)), 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
    if (Handle < 0 || InstallNotifyProc(Handle, 0, 0, Drain) != 0 || write(master, "x>", 2) != 2) {
        return EXIT_SET_UP_FAILED;
    }
    for (int i = 0; i < 1000 && !Notified; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!Notified) {
        return EXIT_SET_UP_FAILED;
    }
    if (viaExit) {
        std::exit(0);
    }
    return 0;
}
