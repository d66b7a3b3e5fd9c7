// CEvent, the manual-reset event that hands each reply from portkit's reader to the engine's worker; the
// hand-over of a transfer's hundred replies is every zrvlink test's against the simulator. A wake-up that
// gets lost leaves a waiter asleep for good: such a test hangs and is failed by the test run's time limit,
// since the waits here have none of their own.
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr unsigned NO_LIMIT = UINT_MAX; // INFINITE on Windows; 49 days elsewhere

// Threads that wait on one event at the same time; each says when it is about to wait.
class CWaiters {
public:
    CWaiters(CEvent& event, int count) {
        for (int i = 0; i < count; ++i) {
            m_threads.emplace_back([this, &event] {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    ++m_waiting;
                }
                m_changed.notify_all();
                const bool signalled = event.Wait(NO_LIMIT);
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results.push_back(signalled);
            });
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_waiting == count; });
    }
    // What each waiter's Wait returned, once all have returned.
    std::vector<bool> Join() {
        for (std::thread& thread : m_threads) {
            thread.join();
        }
        return m_results;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    std::vector<bool> m_results;
    std::vector<std::thread> m_threads;
};

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
            CWaiters waiters(event, count);
            if (resetFirst) {
                event.Reset();
            }
            event.Set();
            EXPECT_EQ(std::vector<bool>(static_cast<std::size_t>(count), true), waiters.Join())
                << count << " waiters, reset first: " << resetFirst;
        }
    }
}

} // namespace
