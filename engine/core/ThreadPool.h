#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace mandel {

// A fixed team of threads that run one job together: the calling thread and
// size() - 1 workers started once. Workers spin briefly between jobs, so a
// job that follows soon after the last one starts without a system call.
//
// Any computation may share the process-wide pool (shared()): callers on
// different threads take turns, one job at a time, so jobs should be short
// (a run of columns, a band of rows) to let the others in between.
class ThreadPool {
public:
    // Starts threads - 1 workers; threads below 1 count as 1. With
    // `pinWorkers`, each worker is kept on a core of its own, away from the
    // caller's (for measurements on an otherwise idle machine; a desktop
    // program leaves placement to the system).
    explicit ThreadPool(int threads, bool pinWorkers = false);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // The process-wide pool: one thread per hardware thread, not pinned,
    // started on first use and kept for the rest of the run.
    static ThreadPool& shared();

    // Number of threads a job runs on, the caller included.
    int size() const noexcept { return static_cast<int>(workers_.size()) + 1; }

    // Calls job(i) once for every i in 0..size()-1, i = 0 on the calling
    // thread, and returns when all calls have returned. Safe to call from
    // several threads (they take turns). Called from inside a job of this
    // pool, it makes all the calls one after another on the calling thread.
    template <class Job>
    void run(Job& job)
    {
        runErased(&job, [](void* j, int i) { (*static_cast<Job*>(j))(i); });
    }

private:
    using Trampoline = void (*)(void*, int);
    void runErased(void* job, Trampoline call);
    void workerLoop(const std::stop_token& stop, int index);

    std::mutex turn_;  // one job at a time
    void* job_ = nullptr;
    Trampoline call_ = nullptr;
    // Bumped once per job; workers wait for it to change.
    std::atomic<std::uint32_t> generation_{0};
    // Workers still inside the current job.
    std::atomic<int> pending_{0};
    std::vector<std::jthread> workers_;
};

} // namespace mandel
