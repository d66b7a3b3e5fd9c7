// What the command line's loops wait on, over the real system: news of ports from inotify on scratch
// folders (a port's entry that comes, goes or changes its permissions, entries of no interest, a port's
// folder made later, detection's folders), a silent child's end, and Ctrl-C. The kernel queues a change's
// event before the call that made it returns, so each step's news is looked at without waiting.
#include "SimProcess.h"

#include "cli/system/ChildProcess.h"
#include "cli/system/Interrupt.h"
#include "cli/system/PortWatch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
    CFd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
}

// Each step changes the scratch folders; the watch named by Watch must then have news, or none.
TEST(SystemWait, PortWatchHasNewsOfItsPortsEntriesAndOfNothingElse) {
    const CScratchDir dir;
    const std::string dev = dir / "dev";
    const std::string tty = dir / "sys/class/tty";
    fs::create_directories(dev);
    fs::create_directories(tty);
    setenv("ZRVLINK_DEV_ROOT", dev.c_str(), 1);
    setenv("ZRVLINK_SYSFS_ROOT", (dir / "sys").c_str(), 1);
    enum { GIVEN, LATER, DETECTED };
    CPortWatch watches[3];
    ASSERT_TRUE(watches[GIVEN].Start({dir / "port"}));
    ASSERT_TRUE(watches[LATER].Start({dir / "serial/by-id/port"}));
    ASSERT_TRUE(watches[DETECTED].Start({}));
    const struct {
        const char* Name;
        int Watch;
        std::function<void()> Change;
        bool News;
    } steps[] = {
        {"another entry beside the port comes", GIVEN, [&] { Touch(dir / "other"); }, false},
        {"the port's entry comes", GIVEN, [&] { Touch(dir / "port"); }, true},
        {"its permissions change (udev set its group)", GIVEN, [&] { chmod((dir / "port").c_str(), 0660); },
         true},
        {"another entry's permissions change", GIVEN, [&] { chmod((dir / "other").c_str(), 0660); }, false},
        {"the port's entry goes", GIVEN, [&] { fs::remove(dir / "port"); }, true},
        {"the folder above the port's comes", LATER, [&] { fs::create_directory(dir / "serial"); }, true},
        {"the port's folder comes", LATER, [&] { fs::create_directory(dir / "serial/by-id"); }, true},
        {"the port comes in it", LATER, [&] { Touch(dir / "serial/by-id/port"); }, true},
        {"another entry comes in it", LATER, [&] { Touch(dir / "serial/by-id/other"); }, false},
        {"the port's folder goes with the port", LATER, [&] { fs::remove_all(dir / "serial"); }, true},
        {"the port comes again in a new folder", LATER,
         [&] {
             fs::create_directories(dir / "serial/by-id");
             Touch(dir / "serial/by-id/port");
         },
         true},
        {"a device's node comes", DETECTED, [&] { Touch(dev + "/ttyACM0"); }, true},
        {"its tty comes in sysfs", DETECTED, [&] { fs::create_directory_symlink("../..", tty + "/ttyACM0"); },
         true},
        {"something else changes in sysfs", DETECTED, [&] { fs::create_directory(dir / "sys/bus"); }, false},
    };
    for (auto& watch : watches) {
        watch.TakeNews();
    }
    for (const auto& step : steps) {
        step.Change();
        EXPECT_EQ(step.News, watches[step.Watch].TakeNews()) << step.Name;
        EXPECT_FALSE(watches[step.Watch].TakeNews()) << step.Name << ": news is taken once";
    }
    unsetenv("ZRVLINK_DEV_ROOT");
    unsetenv("ZRVLINK_SYSFS_ROOT");
}

// A wait that missed the child's end would last its whole limit and report nothing ready. The child
// closes its output first: only its end can end the waits that follow.
TEST(SystemWait, SilentChildsEndEndsTheWait) {
    CChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "exec >/dev/null 2>&1; sleep 0.3; exit 3"}));
    while (!child.HasEnded()) {
        CWaitList waits;
        child.AddTo(&waits);
        waits.LimitMs(EVENTUALLY_MS);
        ASSERT_TRUE(waits.Wait()) << "the wait outlasted the child";
    }
    EXPECT_EQ(3, child.Wait());
    CWaitList none;
    child.AddTo(&none);
    none.LimitMs(0);
    EXPECT_FALSE(none.Wait()) << "an ended child has nothing more to wait for";
}

TEST(SystemWait, CtrlCWakesALoopOnceForEachTimeItLooked) {
    ASSERT_TRUE(CatchInterrupts());
    const int seen = InterruptCount();
    const auto ready = [](WaitHandle handle) {
        CWaitList waits;
        waits.Add(handle);
        waits.LimitMs(0);
        return waits.Wait();
    };
    EXPECT_FALSE(ready(InterruptWaitHandle())) << "no Ctrl-C yet";
    const WaitHandle handle = InterruptWaitHandle();
    raise(SIGINT);
    EXPECT_TRUE(ready(handle));
    EXPECT_EQ(seen + 1, InterruptCount());
    EXPECT_FALSE(ready(InterruptWaitHandle())) << "a loop that looked again is not woken by the same one";
}

} // namespace
