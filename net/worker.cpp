#include "net/worker.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

WorkerThread::WorkerThread()
    : handle(), joinable(0), started(0), delay_ms(1), start(nullptr), step(nullptr),
      condition(nullptr), context(nullptr), stop(0), pass_wanted(0)
{
    pthread_mutex_init(&lock, nullptr);
}

WorkerThread::~WorkerThread()
{
    worker_stop(this);
    pthread_mutex_destroy(&lock);
}

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

// After a pass: 1 when another was asked for meanwhile (and taken), 0 when
// the thread ends, in which case it no longer counts as running.
static int take_next_pass(WorkerThread *w)
{
    pthread_mutex_lock(&w->lock);
    int again = w->pass_wanted && !w->stop.load();
    w->pass_wanted = 0;
    if (!again)
        w->started.store(0);
    pthread_mutex_unlock(&w->lock);
    return again;
}

static void *worker_run(void *argument)
{
    WorkerThread *w = static_cast<WorkerThread *>(argument);
    do {
        if (w->start)
            w->start(w->context);
        while (!w->stop.load() && w->condition && w->condition(w->context)) {
            if (w->step)
                w->step(w->context);
            sleep_ms(w->delay_ms);
        }
    } while (take_next_pass(w));
    return nullptr;
}

int worker_create(WorkerThread *w)
{
    pthread_mutex_lock(&w->lock);
    if (w->started.load()) {
        // Still in a pass: it sees this before it decides to end.
        w->pass_wanted = 1;
        pthread_mutex_unlock(&w->lock);
        return 0;
    }
    pthread_mutex_unlock(&w->lock);
    // A previous thread has left its last pass and has only its return
    // left to run: joining it takes no time worth the name.
    if (w->joinable) {
        pthread_join(w->handle, nullptr);
        w->joinable = 0;
    }
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
    pthread_mutex_lock(&w->lock);
    w->stop.store(1);
    w->pass_wanted = 0;
    pthread_mutex_unlock(&w->lock);
    pthread_join(w->handle, nullptr);
    w->joinable = 0;
    w->started.store(0);
}
