#pragma once
// Threads kept for the whole process that share the work of one model step. Starting threads per
// step would cost more than a small step itself; between steps the workers spin for a short
// while, then sleep until the next job.

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace talvero {

// The threads of a job meet here between its phases. A thread that arrives first polls as the
// pool's workers do, then sleeps.
class NThreadBarrier {
public:
    // False when the barrier is broken: the threads are to stop.
    [[nodiscard]] bool Wait(int threads);
    // A thread that cannot go on lets the others past this and every later Wait, so that none
    // waits for it; Repair, once no thread is in the job, makes the barrier whole again.
    void Break();
    void Repair();
    bool IsBroken() const { return Broken.load(std::memory_order_acquire); }

private:
    alignas(64) std::atomic<int> Arrived{0};
    alignas(64) std::atomic<unsigned> Generation{0};
    std::atomic<bool> Broken{false};
};

class NThreadPool {
public:
    using NJob = void (*)(void* context, int worker);

    static NThreadPool& Instance();

    NThreadPool() = default;
    NThreadPool(const NThreadPool&) = delete;
    NThreadPool& operator=(const NThreadPool&) = delete;
    ~NThreadPool();

    // Runs job(context, w) for w = 0 .. threads-1 at once, w = 0 on the calling thread, and
    // returns when all have returned. Whatever the job wrote is then visible to the caller.
    void Run(int threads, NJob job, void* context);

    int WorkerCount() const { return static_cast<int>(Workers.size()); }
    static int MachineCores();

    static constexpr int kMaxThreads = 256;

private:
    void Grow(int workers);
    void ForgetWorkersAfterFork();
    void WorkerLoop(int index, std::uint64_t seen);

    std::vector<std::thread> Workers;
    // A new value starts a job; its low bits hold the job's thread count, so that a worker that
    // takes no part never reads what the next job writes.
    std::atomic<std::uint64_t> Epoch{0};
    std::atomic<int> Remaining{0};  // workers still busy with the job
    std::atomic<bool> Stopping{false};
    std::atomic<int> Spin{0};  // microseconds of polling before sleeping
    NJob Job = nullptr;
    void* Context = nullptr;
};

} // namespace talvero
