#include "ThreadPool.h"

#include <algorithm>
#include <chrono>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace mandel {

namespace {

// How long a worker keeps looking for the next job before it sleeps. A
// picture asks for its columns in bursts with colouring and event handling
// in between; a worker that slept through a gap can take a long time to get
// a core back while the caller is busy, so it stays awake across the gaps.
constexpr auto kSpinBudget = std::chrono::milliseconds(5);

inline void cpuRelax() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spins until `ready()` holds or the budget is spent; returns ready().
template <class Ready>
bool spinFor(std::chrono::steady_clock::duration budget, Ready ready)
{
    const auto until = std::chrono::steady_clock::now() + budget;
    for (unsigned i = 1;; ++i) {
        if (ready())
            return true;
        cpuRelax();
        if (i % 64 == 0) {
            if (std::chrono::steady_clock::now() >= until)
                return ready();
            // More threads than cores: let the one we wait for run.
            std::this_thread::yield();
        }
    }
}

// The pool whose job the current thread is running, if any.
thread_local const ThreadPool* tInside = nullptr;

// Keeps each worker on a core of its own, away from the core the pool was
// made on: on an idle machine this stops a scheduler from packing a woken
// worker behind the busy caller. Only when there are cores enough; a
// failure leaves the worker wherever the system puts it.
void placeWorkers(std::vector<std::jthread>& workers)
{
#if defined(__linux__)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    const int here = sched_getcpu();
    if (here < 0)
        return;
    std::vector<std::size_t> others;
    for (std::size_t cpu = 0; cpu < std::size_t{CPU_SETSIZE}; ++cpu)
        if (CPU_ISSET(cpu, &allowed) && cpu != static_cast<std::size_t>(here))
            others.push_back(cpu);
    if (others.size() < workers.size())
        return;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(others[i], &one);
        pthread_setaffinity_np(workers[i].native_handle(), sizeof one, &one);
    }
#else
    (void)workers;
#endif
}

} // namespace

ThreadPool::ThreadPool(int threads, bool pinWorkers)
{
    const int workers = threads > 1 ? threads - 1 : 0;
    workers_.reserve(static_cast<std::size_t>(workers));
    for (int i = 1; i <= workers; ++i)
        workers_.emplace_back([this, i](std::stop_token stop) { workerLoop(stop, i); });
    if (pinWorkers)
        placeWorkers(workers_);
}

ThreadPool& ThreadPool::shared()
{
    static ThreadPool pool(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    return pool;
}

ThreadPool::~ThreadPool()
{
    for (auto& w : workers_)
        w.request_stop();
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    // The jthreads join as the vector goes.
}

void ThreadPool::runErased(void* job, Trampoline call)
{
    if (tInside == this) {
        // The workers are busy with the job that asked: waiting for them
        // would never end.
        for (int i = 0; i < size(); ++i)
            call(job, i);
        return;
    }
    const std::scoped_lock mine(turn_);
    struct Enter {
        const ThreadPool* outer = tInside;
        explicit Enter(const ThreadPool* pool) { tInside = pool; }
        ~Enter() { tInside = outer; }
        Enter(const Enter&) = delete;
        Enter& operator=(const Enter&) = delete;
    } enter(this);
    if (workers_.empty()) {
        call(job, 0);
        return;
    }
    job_ = job;
    call_ = call;
    pending_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    call(job, 0);
    for (;;) {
        const int left = pending_.load(std::memory_order_acquire);
        if (left == 0)
            return;
        if (!spinFor(kSpinBudget, [this] { return pending_.load(std::memory_order_acquire) == 0; }))
            pending_.wait(left, std::memory_order_acquire);
    }
}

void ThreadPool::workerLoop(const std::stop_token& stop, int index)
{
    tInside = this;
    std::uint32_t seen = 0;
    for (;;) {
        std::uint32_t now = generation_.load(std::memory_order_acquire);
        if (now == seen) {
            spinFor(kSpinBudget, [&] { return generation_.load(std::memory_order_acquire) != seen; });
            generation_.wait(seen, std::memory_order_acquire);
            now = generation_.load(std::memory_order_acquire);
        }
        if (stop.stop_requested())
            return;
        seen = now;
        call_(job_, index);
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            pending_.notify_one();
    }
}

} // namespace mandel
