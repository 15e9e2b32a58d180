// The worker thread: passes asked for while one runs, or just as one ends,
// are made; stopping drops a pass not yet begun.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/worker.h"

namespace {

// A pass of a few steps. The first pass can be held at its end (its
// condition has found nothing more to do and is about to say so) until the
// test lets it go: a request made then arrives exactly as the pass ends.
struct Passes {
    WorkerThread *worker = nullptr;
    std::atomic<int> starts{0};
    std::atomic<int> hold_first_end{0};
    std::atomic<int> at_end{0};   // the held pass is at its end
    std::atomic<int> go{0};
    int steps_left = 0;           // the worker's own
};

void pass_start(void *p)
{
    Passes *s = static_cast<Passes *>(p);
    s->starts.fetch_add(1);
    s->steps_left = 3;
}

void pass_step(void *p) { static_cast<Passes *>(p)->steps_left--; }

int pass_condition(void *p)
{
    Passes *s = static_cast<Passes *>(p);
    if (s->steps_left > 0)
        return 1;
    if (s->hold_first_end.load() && s->starts.load() == 1) {
        s->at_end.store(1);
        for (int k = 0; k < 5000 && !s->go.load() && !s->worker->stop.load(); k++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

bool wait_until_ended(WorkerThread *w)
{
    for (int k = 0; k < 5000 && worker_is_running(w); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !worker_is_running(w);
}

bool wait_for(const std::atomic<int> &flag)
{
    for (int k = 0; k < 5000 && !flag.load(); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return flag.load() != 0;
}

}  // namespace

TEST(WorkerThread, PassAskedForAsThePassEndsIsMade)
{
    Passes passes;
    WorkerThread w;
    passes.worker = &w;
    passes.hold_first_end = 1;
    worker_init(&w, pass_start, pass_step, pass_condition, &passes, 0);
    ASSERT_EQ(worker_create(&w), 0);
    ASSERT_TRUE(wait_for(passes.at_end));
    // The pass has nothing left to do and the thread still runs: both
    // requests count as one more pass.
    EXPECT_EQ(worker_is_running(&w), 1);
    EXPECT_EQ(worker_create(&w), 0);
    EXPECT_EQ(worker_create(&w), 0);
    passes.go = 1;
    ASSERT_TRUE(wait_until_ended(&w));
    EXPECT_EQ(passes.starts.load(), 2);
    EXPECT_EQ(passes.steps_left, 0);   // the second pass ran to its end
}

TEST(WorkerThread, PassAskedForRightAfterOneEndedStarts)
{
    Passes passes;
    WorkerThread w;
    passes.worker = &w;
    worker_init(&w, pass_start, pass_step, pass_condition, &passes, 0);
    // The thread that has just left its pass may not have quite returned
    // yet; the request is made all the same, every time.
    for (int k = 0; k < 300; k++) {
        ASSERT_EQ(worker_create(&w), 0) << k;
        ASSERT_TRUE(wait_until_ended(&w)) << k;
    }
    EXPECT_EQ(passes.starts.load(), 300);
}

TEST(WorkerThread, StopDropsAPassNotYetBegun)
{
    Passes passes;
    WorkerThread w;
    passes.worker = &w;
    passes.hold_first_end = 1;
    worker_init(&w, pass_start, pass_step, pass_condition, &passes, 0);
    ASSERT_EQ(worker_create(&w), 0);
    ASSERT_TRUE(wait_for(passes.at_end));
    EXPECT_EQ(worker_create(&w), 0);
    worker_stop(&w);
    EXPECT_EQ(worker_is_running(&w), 0);
    EXPECT_EQ(passes.starts.load(), 1);
    // A later request starts afresh.
    passes.hold_first_end = 0;
    ASSERT_EQ(worker_create(&w), 0);
    ASSERT_TRUE(wait_until_ended(&w));
    EXPECT_EQ(passes.starts.load(), 2);
}
