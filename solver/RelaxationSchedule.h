// RelaxationSchedule.h - the order in which one GPU block runs all sweeps of
// a relaxation (diffusion or pressure), written once for the device and for
// the host, which runs it in the tests.
//
// The host relaxes in place: sweep after sweep, interior cells in increasing
// t, so cell (i, j) of sweep k reads (i - 1, j) and (i, j - 1) of sweep k and
// (i + 1, j) and (i, j + 1) of sweep k - 1. Every such read is satisfied when
// cell (i, j) of sweep k runs in wave
//     w = 2k + i + j - 2,
// because its inputs ran in wave w - 1 and the cells that overwrite them run
// in wave w + 1. A relaxation of `sweeps` sweeps over N x N cells therefore
// takes 2N - 1 + 2 (sweeps - 1) waves (289 for 20 sweeps at N = 126), the
// length of its dependency chain, with a block barrier between waves.
//
// Work: sweep k and the fast index i fix a "pair" that works along j, one
// cell per wave, in waves 2k + i - 1 to 2k + i + N - 2. All pairs are active
// for N consecutive waves, so ordered by their first wave, the pairs active
// in any one wave are consecutive in that order. Dealt round-robin to the
// threads in that order, every wave's cells are spread over the threads as
// evenly as they can be: a wave with `a` active cells gives no thread more
// than ceil(a / threads) of them. Each thread works out its pairs once,
// before the waves; inside them it only adds and compares.
//
// Border cells: interior cells read the border values of the previous
// sweep, as on the host. A cell next to the border writes the border cell's
// value for this sweep right after its own update (sideValue), which the
// same cell of the next sweep then reads; the corners are set once at the
// end, from the final sides.
#pragma once

#include "KernelBodies.h"

namespace kernel {

struct RelaxationPlan {
    int N;        // interior cells per side
    int sweeps;   // sweeps of the relaxation
    int threads;  // threads of the block
    int slots;    // pairs per thread (the last slot of some threads stays empty)
    int waves;    // 2N - 1 + 2 (sweeps - 1)
};

// The plan for a block of at most maxThreads threads (and no more threads
// than pairs).
FLUID_HD inline RelaxationPlan relaxationPlan(int N, int sweeps, int maxThreads) {
    const int pairs = sweeps * N;
    RelaxationPlan plan;
    plan.N = N;
    plan.sweeps = sweeps;
    plan.threads = maxThreads < pairs ? maxThreads : pairs;
    plan.slots = (pairs + plan.threads - 1) / plan.threads;
    plan.waves = 2 * N - 1 + 2 * (sweeps - 1);
    return plan;
}

// One pair as a thread holds it: sweep `sweep`, fast index i, working on cell
// (i, j) in wave firstWave + j - 1 for j = 1 .. N. sweep < 0: an empty slot.
struct RelaxationPair {
    int sweep = -1;
    int i = 0;
    int firstWave = 0;
};

// The pair that `thread` holds in `slot`: the pair of rank slot * threads +
// thread when all pairs are ordered by first wave, then by sweep.
FLUID_HD inline RelaxationPair relaxationPair(const RelaxationPlan& plan, int thread, int slot) {
    RelaxationPair pair;
    int rank = slot * plan.threads + thread;
    if (thread < 0 || thread >= plan.threads || rank >= plan.sweeps * plan.N) return pair;
    // Pairs starting in wave f: sweeps k with i = f + 1 - 2k in 1..N.
    for (int f = 0;; ++f) {
        const int lowest = f + 1 - plan.N > 0 ? (f + 2 - plan.N) / 2 : 0;
        const int highest = f / 2 < plan.sweeps - 1 ? f / 2 : plan.sweeps - 1;
        const int count = highest - lowest + 1;
        if (count <= 0) continue;
        if (rank < count) {
            pair.sweep = lowest + rank;
            pair.i = f + 1 - 2 * pair.sweep;
            pair.firstWave = f;
            return pair;
        }
        rank -= count;
    }
}

// Runs the pair's cell of this wave, if it has one: relaxCell(t) updates
// interior cell t of x in place; then the border cells beside it take their
// values for this sweep (b selects the rule, as in borderSide).
template <typename RelaxCell>
FLUID_HD inline void relaxPairInWave(int N, int b, const RelaxationPair& pair, int wave, float* x,
                                     RelaxCell relaxCell) {
    const int j = wave - pair.firstWave + 1;
    if (pair.sweep < 0 || j < 1 || j > N) return;
    const int i = pair.i, t = cellAt(N, i, j);
    relaxCell(t);
    const float border = sideValue(b, x[t]);
    if (i == 1) x[t - 1] = border;
    if (i == N) x[t + 1] = border;
    if (j == 1) x[t - (N + 2)] = border;
    if (j == N) x[t + (N + 2)] = border;
}

// The corners, once all waves have run (b selects the rule).
FLUID_HD inline void finishRelaxationCorners(int N, int b, float* x) {
    for (int k = 0; k < 4; ++k) {
        if (b == 0)
            copyRuleCorner(N, k, x);
        else
            zeroRuleSide(N, cellAt(N, k < 2 ? 0 : N + 1, k % 2 == 0 ? 0 : N + 1), x);
    }
}

}  // namespace kernel
