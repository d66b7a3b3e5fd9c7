// CEvent, the manual-reset event that hands each reply from portkit's reader to the engine's worker. A
// wake-up that gets lost leaves a waiter asleep for good: such a test hangs and is failed by the test run's
// time limit, since the waits here have none of their own.
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstddef>
#include <thread>
#include <vector>

namespace {

constexpr unsigned NO_LIMIT = UINT_MAX; // INFINITE on Windows; 49 days elsewhere

TEST(CEvent, StaysSetUntilResetAndAWaitWithoutASetEndsUnsignalled) {
    CEvent event;
    ASSERT_TRUE(event.Create());
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(1));
    event.Set();
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(NO_LIMIT)) << "a manual-reset event stays set for every wait";
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

// However many sleep on it (the engine's worker; two engines' owners), one Set ends every wait; a Reset
// while they sleep takes nothing from the next Set.
TEST(CEvent, OneSetWakesEverySleeperEvenAfterAReset) {
    for (const int count : {1, 3}) {
        for (const bool resetFirst : {false, true}) {
            CEvent event;
            ASSERT_TRUE(event.Create());
            // Each waiter says when it is about to wait; what its Wait returned goes into its own slot.
            std::atomic<int> waiting{0};
            std::vector<int> signalled(static_cast<std::size_t>(count), -1);
            std::vector<std::thread> waiters;
            for (std::size_t i = 0; i < signalled.size(); ++i) {
                waiters.emplace_back([&, i] {
                    ++waiting;
                    signalled[i] = event.Wait(NO_LIMIT) ? 1 : 0;
                });
            }
            while (waiting < count) {
                std::this_thread::yield();
            }
            if (resetFirst) {
                event.Reset();
            }
            event.Set();
            for (std::thread& waiter : waiters) {
                waiter.join();
            }
            EXPECT_EQ(std::vector<int>(static_cast<std::size_t>(count), 1), signalled)
                << count << " waiters, reset first: " << resetFirst;
        }
    }
}

// The engine resets before each command and waits for the prompt: a hand-over per round, a hundred in a
// transfer.
TEST(CEvent, EachRoundOfResetWaitAndSetIsHandedOverOnce) {
    constexpr int ROUNDS = 200;
    CEvent ready;
    CEvent taken;
    ASSERT_TRUE(ready.Create());
    ASSERT_TRUE(taken.Create());
    int handed = 0;
    std::thread setter([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            taken.Wait(NO_LIMIT);
            taken.Reset();
            ++handed;
            ready.Set();
        }
    });
    int seen = 0;
    for (int i = 0; i < ROUNDS; ++i) {
        ready.Reset();
        taken.Set();
        EXPECT_TRUE(ready.Wait(NO_LIMIT));
        seen = handed;
        EXPECT_EQ(i + 1, seen);
    }
    setter.join();
    EXPECT_EQ(ROUNDS, seen);
}

} // namespace
