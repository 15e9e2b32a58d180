// A worker thread that runs a pass: a start callback, then a step callback
// every `delay_ms` milliseconds while its condition holds and nobody asked
// it to stop. The main thread asks for passes, asks whether one runs and
// stops the thread; it never waits for a pass, only for a thread that is
// stopped for good (shut-down) or that has already left its last pass.
//
// A pass asked for while one runs is never lost: the running thread makes
// one more pass once its present one ends (requests made meanwhile are one
// request). The thread decides whether to end under `lock`, where the
// request is made too, so a request is either seen by the thread before it
// ends or finds it ended and starts a new one.
#pragma once

#include <atomic>
#include <pthread.h>

struct WorkerThread {
    pthread_t handle;
    int joinable;                // a thread was created and not yet joined
    std::atomic<int> started;    // 1 from creation until its last pass has ended
    int delay_ms;                // sleep between steps
    void (*start)(void *context);
    void (*step)(void *context);
    int (*condition)(void *context);
    void *context;
    std::atomic<int> stop;       // asked to end
    pthread_mutex_t lock;        // the end of a pass against a new request
    int pass_wanted;             // under lock: another pass once this one ends

    WorkerThread();
    ~WorkerThread();   // stops the thread and waits for it
};

void worker_init(WorkerThread *w, void (*start)(void *), void (*step)(void *),
                 int (*condition)(void *), void *context, int delay_ms);
// Asks for a pass. 0: a new thread was started, or the running thread will
// make another pass when its present one ends; 1 "Failed to create thread".
int worker_create(WorkerThread *w);
int worker_is_running(const WorkerThread *w);
// Asks the thread to end and waits for it (at most one step); a pass asked
// for and not yet begun is dropped.
void worker_stop(WorkerThread *w);
