// A worker thread that runs a start callback, then a step callback every
// `delay_ms` milliseconds while its condition holds and nobody asked it to
// stop. The main thread starts it, asks whether it runs and stops it, and
// never waits for it except when it is stopped for good (shut-down).
#pragma once

#include <atomic>
#include <pthread.h>

struct WorkerThread {
    pthread_t handle;
    int joinable;                // a thread was created and not yet joined
    std::atomic<int> started;    // 1 from creation until its loop has ended
    int delay_ms;                // sleep between steps
    void (*start)(void *context);
    void (*step)(void *context);
    int (*condition)(void *context);
    void *context;
    std::atomic<int> stop;       // asked to end

    WorkerThread();
    ~WorkerThread();   // stops the thread and waits for it
};

void worker_init(WorkerThread *w, void (*start)(void *), void (*step)(void *),
                 int (*condition)(void *), void *context, int delay_ms);
// Starts a thread (after reaping a previous one that has ended). 0 started;
// 1 "Failed to create thread" (or a previous thread has not quite ended).
int worker_create(WorkerThread *w);
int worker_is_running(const WorkerThread *w);
// Asks the thread to end and waits for it (at most one step).
void worker_stop(WorkerThread *w);
