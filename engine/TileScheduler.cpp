#include "engine/TileScheduler.h"

#include "engine/Kernels.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vel {
namespace {

// The limit keeps a mistyped variable from starting thousands of threads.
constexpr int32_t kMaxThreads = 64;
// How often the job's thread polls while no tile finishes.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

float Percent(int64_t done, int64_t steps) {
    return static_cast<float>(done * 100) / static_cast<float>(steps);
}

bool RunOnCallingThread(const TileWork& work, const RunContext& context) {
    const int64_t steps = work.tiles * work.stepsPerTile;
    int64_t done = 0;
    const std::function<void()> step = [&] { context.Report(Percent(++done, steps)); };
    const RunContext inner{context.cancel,          context.poll,  nullptr, context.stop,
                           context.callbackContext, context.config};
    for (int64_t t = 0; t < work.tiles; ++t) {
        if (context.StopRequested()) {
            return false;
        }
        if (!work.process(0, t, inner, step)) {
            return false;
        }
        if (work.commit) {
            work.commit(0, t);
        }
    }
    return true;
}

// State shared by the workers and the job's thread.
class Shared {
  public:
    explicit Shared(const TileWork& work) : work_(work) {}

    void Worker(int32_t worker, const RunContext& inner) {
        try {
            const std::function<void()> step = [this] { Step(); };
            for (;;) {
                if (inner.Cancelled()) {
                    break;
                }
                const int64_t t = next_.fetch_add(1, std::memory_order_relaxed);
                if (t >= work_.tiles) {
                    break;
                }
                if (!work_.process(worker, t, inner, step)) {
                    EndEarly();
                    break;
                }
                if (work_.commit && !AwaitTurn(t)) {
                    break;
                }
                if (work_.commit) {
                    work_.commit(worker, t);
                }
                Finish(t);
            }
        } catch (...) {
            Fail(std::current_exception());
        }
        std::lock_guard lock(mutex_);
        ++ended_;
        changed_.notify_all();
    }

    // The job's thread: reports progress as steps complete and forwards a poll's stop.
    void Watch(int32_t threads, const RunContext& context) {
        int64_t reported = 0;
        std::unique_lock lock(mutex_);
        while (ended_ < threads) {
            changed_.wait_for(lock, kPollInterval,
                              [&] { return ended_ == threads || steps_ != reported; });
            const int64_t done = steps_;
            lock.unlock();
            ReportUpTo(done, reported, context);
            if (!stop_.load(std::memory_order_relaxed) && context.StopRequested()) {
                stop_.store(true, std::memory_order_release);
            }
            lock.lock();
        }
        // The last steps may have come after the last look.
        const int64_t last = steps_;
        lock.unlock();
        ReportUpTo(last, reported, context);
    }

    void Stop() { stop_.store(true, std::memory_order_release); }
    const CancelFlag* StopFlag() const { return &stop_; }
    bool Complete() const { return committed_ == work_.tiles && !endedEarly_ && !error_; }
    void RethrowFailure() const {
        if (error_) {
            std::rethrow_exception(error_);
        }
    }

  private:
    // One report per step, as a single thread makes them, however many steps came at once.
    void ReportUpTo(int64_t done, int64_t& reported, const RunContext& context) const {
        const int64_t steps = work_.tiles * work_.stepsPerTile;
        while (reported < done) {
            context.Report(Percent(++reported, steps));
        }
    }

    void Step() {
        std::lock_guard lock(mutex_);
        ++steps_;
        changed_.notify_all();
    }

    // Waits until every earlier tile is committed; false when the job ends unfinished.
    bool AwaitTurn(int64_t t) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return committed_ == t || endedEarly_ || error_; });
        return committed_ == t && !endedEarly_ && !error_;
    }

    void EndEarly() {
        std::lock_guard lock(mutex_);
        endedEarly_ = true;
        stop_.store(true, std::memory_order_release);
        changed_.notify_all();
    }

    void Finish(int64_t t) {
        std::lock_guard lock(mutex_);
        if (work_.commit) {
            committed_ = t + 1;
        } else {
            ++committed_;
        }
        changed_.notify_all();
    }

    void Fail(std::exception_ptr e) {
        std::lock_guard lock(mutex_);
        if (!error_) {
            error_ = e;
        }
        stop_.store(true, std::memory_order_release);
        changed_.notify_all();
    }

    const TileWork& work_;
    std::atomic<int64_t> next_{0};
    CancelFlag stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    int64_t steps_ = 0;
    int64_t committed_ = 0;
    int32_t ended_ = 0;
    bool endedEarly_ = false;
    std::exception_ptr error_;
};

}  // namespace

EngineConfig EngineConfigFromEnvironment() {
    const char* reference = std::getenv("VELNR_REFERENCE");
    const bool forced =
        reference && std::strcmp(reference, "") != 0 && std::strcmp(reference, "0") != 0;
    EngineConfig config{1, forced ? nullptr : BestKernels()};
    if (const char* env = std::getenv("VELNR_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) {
            config.threads = static_cast<int32_t>(std::min<long>(n, kMaxThreads));
            return config;
        }
    }
    // The reference is the engine as it was, one thread: the baseline of the fast one.
    if (!forced) {
        const unsigned hardware = std::thread::hardware_concurrency();
        config.threads =
            hardware == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(hardware, kMaxThreads));
    }
    return config;
}

const EngineConfig& DefaultEngineConfig() {
    static const EngineConfig config = EngineConfigFromEnvironment();
    return config;
}

bool RunTiles(const TileWork& work, int32_t threads, const RunContext& context) {
    assert(work.tiles > 0 && threads >= 1);
    const int32_t n =
        static_cast<int32_t>(std::min<int64_t>(std::min(threads, kMaxThreads), work.tiles));
    if (n <= 1) {
        return RunOnCallingThread(work, context);
    }
    if (context.StopRequested()) {
        return false;
    }
    Shared shared(work);
    const RunContext inner{context.cancel,          nullptr,       nullptr, shared.StopFlag(),
                           context.callbackContext, context.config};
    {
        std::vector<std::jthread> workers;
        workers.reserve(static_cast<size_t>(n));
        try {
            for (int32_t w = 0; w < n; ++w) {
                workers.emplace_back([&shared, &inner, w] { shared.Worker(w, inner); });
            }
        } catch (...) {
            // The started workers end at their next tile start and are joined on the way out.
            shared.Stop();
            throw;
        }
        shared.Watch(n, context);
    }
    shared.RethrowFailure();
    return shared.Complete();
}

PartPool::PartPool(int32_t threads) {
    const int32_t helpers = std::clamp(threads, 1, kMaxThreads) - 1;
    try {
        helpers_.reserve(static_cast<size_t>(helpers));
        for (int32_t h = 0; h < helpers; ++h) {
            helpers_.emplace_back([this] { Loop(); });
        }
    } catch (...) {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        throw;  // the started helpers are joined as helpers_ goes
    }
}

PartPool::~PartPool() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
}

void PartPool::RunWith(int64_t parts, void (*call)(void*, int64_t), void* part) {
    {
        const std::lock_guard lock(mutex_);
        call_ = call;
        part_ = part;
        parts_ = parts;
        next_.store(0);
        busy_ = static_cast<int32_t>(helpers_.size());
        ++generation_;
    }
    wake_.notify_all();
    Work();
    std::exception_ptr error;
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
        std::swap(error, error_);
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void PartPool::Loop() {
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
            if (quit_) {
                return;
            }
            seen = generation_;
        }
        Work();
        const std::lock_guard lock(mutex_);
        if (--busy_ == 0) {
            done_.notify_all();
        }
    }
}

void PartPool::Work() {
    try {
        for (int64_t i = next_.fetch_add(1); i < parts_; i = next_.fetch_add(1)) {
            call_(part_, i);
        }
    } catch (...) {
        next_.store(parts_);
        const std::lock_guard lock(mutex_);
        if (!error_) {
            error_ = std::current_exception();
        }
    }
}

}  // namespace vel
