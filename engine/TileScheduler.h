#pragma once
// Runs the tiles of a job on several standard threads while the job's own thread watches:
// it alone calls the poll and progress callbacks, so they are never called concurrently.

#include <cstdint>
#include <functional>

#include "engine/EngineTypes.h"

namespace vel {

// Worker threads a tiled job uses: the count set by SetEngineThreads, else VELNR_THREADS from
// the environment, else the number of hardware threads; at least 1.
int32_t EngineThreads();
// n >= 1 fixes the count for every later job (tests and benchmarks); 0 returns to the default.
void SetEngineThreads(int32_t n);

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

// Runs every tile (at least one, on at least one thread) unless a stop is found at a tile start
// (the cancel flag, or the poll callback as seen by the job's thread) or a process call ends the
// job; true when every tile was processed (and committed). With one thread everything runs on the
// calling thread, the callbacks at every stop check as a plain loop would call them. An exception
// of a worker stops the others and is rethrown here once all have ended.
bool RunTiles(const TileWork& work, int32_t threads, const RunContext& context);

// Calls part(i) for i = 0..parts-1, independent pieces of one step, on up to threads threads
// (the calling thread alone for one); no stop check and no progress. Exceptions as RunTiles.
void RunParts(int64_t parts, int32_t threads, const std::function<void(int64_t)>& part);

// Rows 0..rows-1 cut into pieces of at least minRows for RunParts: calls rowsPart(begin, end).
void RunRowParts(int32_t rows, int32_t threads,
                 const std::function<void(int32_t begin, int32_t end)>& rowsPart,
                 int32_t minRows = 16);

}  // namespace vel
