#include "net/worker.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

WorkerThread::WorkerThread()
    : handle(), joinable(0), started(0), delay_ms(1), start(nullptr), step(nullptr),
      condition(nullptr), context(nullptr), stop(0)
{
}

WorkerThread::~WorkerThread() { worker_stop(this); }

void worker_init(WorkerThread *w, void (*start)(void *), void (*step)(void *),
                 int (*condition)(void *), void *context, int delay_ms)
{
    w->start = start;
    w->step = step;
    w->condition = condition;
    w->context = context;
    w->delay_ms = delay_ms < 0 ? 0 : delay_ms;
}

static void sleep_ms(int ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

static void *worker_run(void *argument)
{
    WorkerThread *w = static_cast<WorkerThread *>(argument);
    if (w->start)
        w->start(w->context);
    while (!w->stop.load() && w->condition && w->condition(w->context)) {
        if (w->step)
            w->step(w->context);
        sleep_ms(w->delay_ms);
    }
    w->started.store(0);
    return nullptr;
}

// Joins a thread whose loop has ended; 1 when one is still on its way out.
static int reap(WorkerThread *w)
{
    if (!w->joinable)
        return 0;
    if (w->started.load())
        return 1;
    // The loop has ended; what is left of the thread is its return, which
    // is not waited for: a thread not quite gone counts as still running.
    if (pthread_tryjoin_np(w->handle, nullptr) != 0)
        return 1;
    w->joinable = 0;
    return 0;
}

int worker_create(WorkerThread *w)
{
    if (reap(w) != 0)
        return 1;
    w->stop.store(0);
    // Running before the thread exists: a pass that ends at once clears it
    // after this, never before.
    w->started.store(1);
    if (pthread_create(&w->handle, nullptr, worker_run, w) != 0) {
        w->started.store(0);
        fprintf(stderr, "Failed to create thread\n");
        return 1;
    }
    w->joinable = 1;
    return 0;
}

int worker_is_running(const WorkerThread *w) { return w->started.load(); }

void worker_stop(WorkerThread *w)
{
    if (!w->joinable)
        return;
    w->stop.store(1);
    pthread_join(w->handle, nullptr);
    w->joinable = 0;
    w->started.store(0);
}
