#pragma once
// Runs the tiles of a job on several standard threads while the job's own thread watches:
// it alone calls the poll and progress callbacks, so they are never called concurrently.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/EngineTypes.h"

namespace vel {

struct TileWork {
    int64_t tiles = 0;
    // Progress steps per tile: the job reports done steps * 100 / (tiles * stepsPerTile).
    int32_t stepsPerTile = 1;
    // Called on a worker for tile t, tiles taken in increasing order; worker is 0..threads-1.
    // step() counts one progress step. context carries the job's cancel flag and the
    // scheduler's own stop, and the poll callback only when everything runs on the job's
    // thread. False ends the whole job unfinished.
    std::function<bool(int32_t worker, int64_t t, const RunContext& context,
                       const std::function<void()>& step)>
        process;
    // Optional: called for every processed tile in increasing tile order, one at a time, after
    // its process call; the tile's worker waits for its turn.
    std::function<void(int32_t worker, int64_t t)> commit;
};

// Runs every tile (at least one, on at least one thread and at most 64) unless a stop is found at a
// tile start (the cancel flag, or the poll callback as seen by the job's thread) or a process call
// ends the job; true when every tile was processed (and committed). With one thread everything runs
// on the calling thread, the callbacks at every stop check as a plain loop would call them. An
// exception of a worker stops the others and is rethrown here once all have ended.
bool RunTiles(const TileWork& work, int32_t threads, const RunContext& context);

// Helper threads for the steps of a job that split into independent parts (whole-plane passes),
// started once so that running a step allocates nothing: a step that must not fail halfway can
// use them. With one thread everything runs on the calling thread.
class PartPool {
  public:
    // threads - 1 helpers (at most the scheduler's limit); throws std::bad_alloc or
    // std::system_error when one cannot be started, the others then ended.
    explicit PartPool(int32_t threads);
    ~PartPool();
    PartPool(const PartPool&) = delete;
    PartPool& operator=(const PartPool&) = delete;

    int32_t Threads() const { return static_cast<int32_t>(helpers_.size()) + 1; }

    // Calls part(i) for i = 0..parts-1 on the calling thread and the helpers, and returns when all
    // are done. An exception of a part skips the parts not yet begun and is rethrown here.
    template <class Part>
    void Run(int64_t parts, Part&& part) {
        RunWith(
            parts, [](void* p, int64_t i) { (*static_cast<std::remove_reference_t<Part>*>(p))(i); },
            static_cast<void*>(&part));
    }

    // Rows 0..rows-1 in a few pieces per thread, each of at least minRows (but one):
    // rowsPart(begin, end).
    template <class RowsPart>
    void RunRows(int32_t rows, RowsPart&& rowsPart, int32_t minRows = 16) {
        if (rows < 1) {
            return;
        }
        const int32_t pieces =
            std::max(int32_t{1}, std::min(rows / std::max(minRows, int32_t{1}), 4 * Threads()));
        Run(pieces, [&](int64_t i) {
            rowsPart(static_cast<int32_t>(static_cast<int64_t>(rows) * i / pieces),
                     static_cast<int32_t>(static_cast<int64_t>(rows) * (i + 1) / pieces));
        });
    }

  private:
    void RunWith(int64_t parts, void (*call)(void*, int64_t), void* part);
    void Loop();
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    uint64_t generation_ = 0;
    int32_t busy_ = 0;
    bool quit_ = false;
    void (*call_)(void*, int64_t) = nullptr;
    void* part_ = nullptr;
    int64_t parts_ = 0;
    std::atomic<int64_t> next_{0};
    std::exception_ptr error_;
    std::vector<std::jthread> helpers_;  // last: ended first
};

}  // namespace vel
