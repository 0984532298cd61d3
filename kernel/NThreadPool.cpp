#include "kernel/NThreadPool.h"

#include <pthread.h>

#include <cfenv>
#include <chrono>

namespace talvero {
namespace {

// A few hundred microseconds of polling: longer than what a large step does on one thread between
// its parallel parts, so that busy workers seldom sleep between steps (waking one took 100 to 150 us
// on the project's machine), short enough not to keep a core from other processes for long.
constexpr int kSpinMicroseconds = 300;
constexpr std::uint64_t kEpochUnit = 1024;  // above kMaxThreads

inline void Pause() { __builtin_ia32_pause(); }

// Polls until `done` holds or about `microseconds` have passed; whether it holds.
template <class Done>
bool SpinUntil(Done done, int microseconds) {
    if (microseconds <= 0) return done();
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done()) return true;
            Pause();
        }
        if (std::chrono::steady_clock::now() >= until) return done();
    }
}

// Each job runs in the caller's floating-point environment: a rounding mode set on the main thread
// must hold for the parallel part of a step too.
std::fenv_t JobEnvironment;

} // namespace

int NThreadPool::MachineCores() {
    static const int cores = [] {
        const unsigned n = std::thread::hardware_concurrency();
        return n == 0 ? 1 : static_cast<int>(n);
    }();
    return cores;
}

NThreadPool& NThreadPool::Instance() {
    static NThreadPool pool;
    static const bool forkHandled = [] {
        // A forked child has none of the workers: it starts its own when it needs them.
        pthread_atfork(nullptr, nullptr, [] { Instance().ForgetWorkersAfterFork(); });
        return true;
    }();
    (void)forkHandled;
    return pool;
}

void NThreadPool::ForgetWorkersAfterFork() {
    // Their std::thread objects name threads of the parent: never joined nor destroyed here.
    new std::vector<std::thread>(std::move(Workers));
    Workers.clear();
    Remaining.store(0, std::memory_order_relaxed);
}

NThreadPool::~NThreadPool() {
    if (Workers.empty()) return;
    Stopping.store(true, std::memory_order_relaxed);
    Epoch.fetch_add(kEpochUnit, std::memory_order_release);
    Epoch.notify_all();
    for (std::thread& t : Workers) t.join();
}

void NThreadPool::Grow(int workers) {
    const std::uint64_t current = Epoch.load(std::memory_order_relaxed);
    while (static_cast<int>(Workers.size()) < workers) {
        const int index = static_cast<int>(Workers.size());
        Workers.emplace_back([this, index, current] { WorkerLoop(index, current); });
    }
}

void NThreadPool::Run(int threads, NJob job, void* context) {
    if (threads > kMaxThreads) threads = kMaxThreads;
    // More threads than cores: a spinning thread would hold the core another one needs.
    const int rounds = threads <= MachineCores() ? kSpinMicroseconds : 0;
    Spin.store(rounds, std::memory_order_relaxed);
    if (threads <= 1) {
        job(context, 0);
        return;
    }
    Grow(threads - 1);
    std::fegetenv(&JobEnvironment);
    Job = job;
    Context = context;
    Remaining.store(threads - 1, std::memory_order_relaxed);
    const std::uint64_t next = (Epoch.load(std::memory_order_relaxed) & ~(kEpochUnit - 1)) + kEpochUnit;
    Epoch.store(next | static_cast<std::uint64_t>(threads), std::memory_order_release);
    Epoch.notify_all();
    job(context, 0);
    if (SpinUntil([this] { return Remaining.load(std::memory_order_acquire) == 0; }, rounds)) return;
    for (int left = Remaining.load(std::memory_order_acquire); left != 0; left = Remaining.load(std::memory_order_acquire))
        Remaining.wait(left, std::memory_order_acquire);
}

void NThreadBarrier::Break() {
    Broken.store(true, std::memory_order_release);
    Generation.fetch_add(1, std::memory_order_release);
    Generation.notify_all();
}

void NThreadBarrier::Repair() {
    Arrived.store(0, std::memory_order_relaxed);
    Broken.store(false, std::memory_order_relaxed);
}

bool NThreadBarrier::Wait(int threads) {
    if (IsBroken()) return false;
    const unsigned generation = Generation.load(std::memory_order_acquire);
    if (Arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == threads) {
        Arrived.store(0, std::memory_order_relaxed);
        Generation.fetch_add(1, std::memory_order_release);
        Generation.notify_all();
        return true;
    }
    if (!SpinUntil([&] { return Generation.load(std::memory_order_acquire) != generation; }, kSpinMicroseconds))
        while (Generation.load(std::memory_order_acquire) == generation) Generation.wait(generation, std::memory_order_acquire);
    return !IsBroken();
}

void NThreadPool::WorkerLoop(int index, std::uint64_t seen) {
    for (;;) {
        std::uint64_t now = Epoch.load(std::memory_order_acquire);
        SpinUntil([&] { return (now = Epoch.load(std::memory_order_acquire)) != seen; }, Spin.load(std::memory_order_relaxed));
        while (now == seen) {
            Epoch.wait(seen, std::memory_order_acquire);
            now = Epoch.load(std::memory_order_acquire);
        }
        seen = now;
        if (Stopping.load(std::memory_order_relaxed)) return;
        if (index + 1 >= static_cast<int>(now & (kEpochUnit - 1))) continue;
        std::fesetenv(&JobEnvironment);
        Job(Context, index + 1);
        if (Remaining.fetch_sub(1, std::memory_order_acq_rel) == 1) Remaining.notify_one();
    }
}

} // namespace talvero
