// The GPU's relaxation schedule (RelaxationSchedule.h) run on the host,
// thread by thread and wave by wave as a block runs it, for several grid
// sizes, block sizes and border rules: every (sweep, cell) runs exactly once,
// after what it reads and before what overwrites that, each wave's cells are
// spread as evenly as they can be, and the results equal the reference loops
// bit for bit in whatever order the threads of a wave take their turns.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "KernelBodies.h"
#include "Kernels.h"
#include "RelaxationSchedule.h"
#include "TestSupport.h"

using testsupport::bitsOf;

namespace {

enum class Relaxation { Diffusion, Pressure };

struct Fields {
    std::vector<float> x, source;
    std::vector<int> mask;
};

Fields randomFields(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    const int cells = kernel::cellCount(n);
    Fields f{std::vector<float>(cells), std::vector<float>(cells), std::vector<int>(cells)};
    for (int t = 0; t < cells; ++t) {
        f.x[t] = value(rng);
        f.source[t] = value(rng);
        f.mask[t] = rng() % 5 == 0 ? 1 : 0;
    }
    return f;
}

// What the schedule did: the wave of every (sweep, cell), -1 where it never
// ran, and how often any ran.
struct Trace {
    int n, sweeps;
    std::vector<int> wave;
    long runs = 0, repeats = 0;
    int& at(int k, int i, int j) {
        return wave[static_cast<std::size_t>(k) * kernel::cellCount(n) + kernel::cellAt(n, i, j)];
    }
};

// Runs the plan as a block would: wave after wave, each thread's pairs in
// its slots; the threads of a wave take their turns forwards or backwards.
void runSchedule(const kernel::RelaxationPlan& plan, Relaxation relaxation, int b, Fields& f, bool backwards,
                 Trace* trace) {
    const int n = plan.N;
    const float a = kernel::diffusionFactor(n, 0.37f, 0.2f);
    const float divisor = kernel::diffusionDivisor(a);
    std::vector<kernel::RelaxationPair> pairs;
    for (int thread = 0; thread < plan.threads; ++thread)
        for (int slot = 0; slot < plan.slots; ++slot) pairs.push_back(kernel::relaxationPair(plan, thread, slot));
    for (int wave = 0; wave < plan.waves; ++wave)
        for (std::size_t q = 0; q < pairs.size(); ++q) {
            const kernel::RelaxationPair& pair = pairs[backwards ? pairs.size() - 1 - q : q];
            kernel::relaxPairInWave(n, b, pair, wave, f.x.data(), [&](int t) {
                if (trace) {
                    int& w = trace->at(pair.sweep, kernel::cellI(n, t), kernel::cellJ(n, t));
                    trace->repeats += w >= 0;
                    w = wave;
                    ++trace->runs;
                }
                if (relaxation == Relaxation::Diffusion)
                    kernel::diffuseCell(n, t, f.x.data(), f.source.data(), a, divisor, f.mask.data());
                else
                    kernel::projectStep2Cell(n, t, f.x.data(), f.source.data(), f.mask.data());
            });
        }
    kernel::finishRelaxationCorners(n, b, f.x.data());
}

void runReference(int n, Relaxation relaxation, int b, Fields& f) {
    if (relaxation == Relaxation::Diffusion)
        referenceKernels().diffuse(n, b, f.x.data(), f.source.data(), 0.37f, 0.2f, f.mask.data());
    else
        referenceKernels().projectStep2(n, f.x.data(), f.source.data(), f.mask.data());
}

// Every (sweep, cell) once; each after the cells it reads (this sweep's
// lower neighbours, the previous sweep's upper ones) and before the cells that
// overwrite those (the next sweep's lower neighbours, this sweep's upper ones).
void expectDependenciesHeld(Trace& tr) {
    const int n = tr.n;
    ASSERT_EQ(tr.runs, 1L * tr.sweeps * n * n);
    ASSERT_EQ(tr.repeats, 0);
    long broken = 0;
    for (int k = 0; k < tr.sweeps; ++k)
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                const int w = tr.at(k, i, j);
                const auto before = [&](int kk, int ii, int jj) {
                    if (kk < 0 || kk >= tr.sweeps || ii < 1 || ii > n || jj < 1 || jj > n) return;
                    broken += !(tr.at(kk, ii, jj) < w);
                };
                const auto after = [&](int kk, int ii, int jj) {
                    if (kk < 0 || kk >= tr.sweeps || ii < 1 || ii > n || jj < 1 || jj > n) return;
                    broken += !(tr.at(kk, ii, jj) > w);
                };
                before(k, i - 1, j);
                before(k, i, j - 1);
                before(k - 1, i + 1, j);
                before(k - 1, i, j + 1);
                after(k + 1, i - 1, j);
                after(k + 1, i, j - 1);
                after(k, i + 1, j);
                after(k, i, j + 1);
            }
    EXPECT_EQ(broken, 0);
}

// No thread has more of a wave's cells than ceil(active / threads).
void expectEvenlySpread(const kernel::RelaxationPlan& plan, const Trace& tr) {
    const int n = plan.N;
    std::vector<int> ranInWave(plan.waves, 0);  // from the trace
    for (int w : tr.wave)
        if (w >= 0) ++ranInWave[w];
    std::vector<kernel::RelaxationPair> pairs;
    for (int thread = 0; thread < plan.threads; ++thread)
        for (int slot = 0; slot < plan.slots; ++slot) pairs.push_back(kernel::relaxationPair(plan, thread, slot));
    for (int wave = 0; wave < plan.waves; ++wave) {
        int active = 0, busiest = 0;
        for (int thread = 0; thread < plan.threads; ++thread) {
            int mine = 0;
            for (int slot = 0; slot < plan.slots; ++slot) {
                const kernel::RelaxationPair& p = pairs[static_cast<std::size_t>(thread) * plan.slots + slot];
                const int j = wave - p.firstWave + 1;
                mine += p.sweep >= 0 && j >= 1 && j <= n;
            }
            active += mine;
            busiest = std::max(busiest, mine);
        }
        ASSERT_EQ(active, ranInWave[wave]) << "wave " << wave;
        ASSERT_EQ(busiest, (active + plan.threads - 1) / plan.threads) << "wave " << wave;
    }
}

}  // namespace

TEST(RelaxationSchedule, RunsEverySweepOfEveryCellOnceInOrderAndMatchesTheReference) {
    struct Case {
        int n, maxThreads;
    };
    const Case cases[] = {{1, 1}, {1, 1024}, {2, 3}, {5, 7}, {14, 32}, {14, 1000}, {126, 32}, {126, 840}, {126, 1024}};
    for (const Case& c : cases)
        for (Relaxation relaxation : {Relaxation::Diffusion, Relaxation::Pressure})
            for (int b : {0, 1, 2}) {
                if (relaxation == Relaxation::Pressure && b != 0) continue;  // the pressure takes the copy rule
                SCOPED_TRACE("N " + std::to_string(c.n) + ", up to " + std::to_string(c.maxThreads) +
                             " threads, " + (relaxation == Relaxation::Diffusion ? "diffusion" : "pressure") +
                             ", b " + std::to_string(b));
                const kernel::RelaxationPlan plan = kernel::relaxationPlan(c.n, relaxationSweeps, c.maxThreads);
                ASSERT_LE(plan.threads, c.maxThreads);
                ASSERT_EQ(plan.waves, 2 * c.n - 1 + 2 * (relaxationSweeps - 1));

                const Fields start = randomFields(c.n, static_cast<unsigned>(c.n * 31 + b));
                Fields expected = start;
                runReference(c.n, relaxation, b, expected);
                for (bool backwards : {false, true}) {
                    Fields f = start;
                    const std::size_t runs = static_cast<std::size_t>(relaxationSweeps) * kernel::cellCount(c.n);
                    Trace trace{c.n, relaxationSweeps, std::vector<int>(runs, -1)};
                    runSchedule(plan, relaxation, b, f, backwards, &trace);
                    long differing = 0;
                    for (std::size_t t = 0; t < f.x.size(); ++t) differing += bitsOf(f.x[t]) != bitsOf(expected.x[t]);
                    EXPECT_EQ(differing, 0) << (backwards ? "threads backwards" : "threads forwards");
                    expectDependenciesHeld(trace);
                    if (!backwards) expectEvenlySpread(plan, trace);
                }
            }
}
