// The vectorised kernels against the reference realisation, bit for bit.
//
// Every kernel runs on the same random inputs through both realisations and
// every cell of every written field must match (two NaNs of one sign count as
// equal). The inputs mix ordinary values with huge, tiny (subnormal) and
// signed-zero ones, infinities and NaNs, and obstacle masks whose solid cells
// hold arbitrary nonzero ints, border cells and their neighbours included.
// Each comparison also checks that the vector code, not the reference
// fallback, produced the result, and that the result is not degenerate (all
// zero or all NaN), so that agreement means something. One table test
// (EveryScreenedInputMatchesTheReferenceBitForBit) goes the other way: it
// puts each kind of value that a kernel screens out of its vector code into
// each input it screens, and checks where the launch went and that the
// results agree to the last bit, NaN payloads included. The tests run once
// with each width of vector code that the processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "FastKernels.h"
#include "IdleKernels.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const KernelSet& ref = referenceKernels();
const KernelSet& fast = fastKernels();
constexpr float inf = std::numeric_limits<float>::infinity();

// The NaN this processor's invalid operations produce (computed at run time,
// so that the compiler cannot fold it), and that NaN with its sign bit
// flipped in its bits (a negation could be rewritten into another invalid
// operation, giving the default NaN again).
float defaultNaN() {
    volatile float zero = 0.0f;
    return zero / zero;
}
float foreignNaN() {
    const std::uint32_t bits = bitsOf(defaultNaN()) ^ 0x80000000u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int cellsOf(int n) { return (n + 2) * (n + 2); }

// How a random field is filled.
struct Mix {
    float scale = 1.0f;      // ordinary values lie in [-scale, scale]
    double extremes = 0.02;  // share of huge, tiny and signed-zero values
    int specials = 0;        // cells set to +inf, -inf or NaN (default sign)
};

FloatField randomField(std::mt19937& rng, int n, const Mix& mix) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    const int cells = cellsOf(n);
    FloatField f(static_cast<std::size_t>(cells));
    for (float& x : f) {
        x = mix.scale * unit(rng);
        if (chance(rng) < mix.extremes) {
            switch (rng() % 5) {
                case 0: x = 3.0e38f * unit(rng); break;
                case 1: x = 1.0e30f * unit(rng); break;
                case 2: x = 1.0e-40f * unit(rng); break;  // subnormal
                case 3: x = 0.0f; break;
                default: x = -0.0f; break;
            }
        }
    }
    const float special[3] = {inf, -inf, defaultNaN()};
    for (int k = 0; k < mix.specials; ++k) f[rng() % static_cast<unsigned>(cells)] = special[rng() % 3];
    return f;
}

// Solid cells with assorted nonzero values anywhere, border included.
MaskField randomMask(std::mt19937& rng, int n, double density) {
    static const int solidValues[] = {1, -1, 2, 255, 65536, INT_MAX, INT_MIN};
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    MaskField m(static_cast<std::size_t>(cellsOf(n)), 0);
    for (int& c : m)
        if (chance(rng) < density) c = solidValues[rng() % 7];
    return m;
}

// Every cell equal; the message names the first cell that is not.
testing::AssertionResult sameField(const FloatField& expected, const FloatField& actual, int n) {
    if (expected.size() != actual.size()) return testing::AssertionFailure() << "sizes differ";
    for (std::size_t t = 0; t < expected.size(); ++t) {
        if (!sameValue(expected[t], actual[t])) {
            const int s = n + 2;
            return testing::AssertionFailure()
                   << "cell (" << static_cast<int>(t) % s << ", " << static_cast<int>(t) / s << "): expected "
                   << expected[t] << " (bits 0x" << std::hex << bitsOf(expected[t]) << "), got " << actual[t]
                   << " (bits 0x" << bitsOf(actual[t]) << ")" << std::dec;
        }
    }
    return testing::AssertionSuccess();
}

// A result worth comparing: at least an eighth of the cells finite and
// nonzero, holding many distinct values.
testing::AssertionResult informative(const FloatField& f) {
    std::vector<std::uint32_t> seen;
    for (float x : f)
        if (std::isfinite(x) && x != 0.0f) seen.push_back(bitsOf(x));
    const std::size_t finite = seen.size();
    std::sort(seen.begin(), seen.end());
    const auto distinct = std::unique(seen.begin(), seen.end()) - seen.begin();
    if (finite * 8 < f.size() || distinct < 64)
        return testing::AssertionFailure() << "only " << finite << " finite nonzero cells, " << distinct
                                           << " distinct";
    return testing::AssertionSuccess();
}

bool holdsNaN(const FloatField& f) {
    for (float x : f)
        if (x != x) return true;
    return false;
}

// One launch of one kernel: its fields and scalars in parameter order.
struct Launch {
    int n = N;
    int b = 0;
    std::vector<FloatField> fields;
    std::vector<float> scalars;
    MaskField mask;
};

// A kernel as the screen test calls it: the names of its field and scalar
// parameters, the scalars' ordinary values, and a call on a Launch.
struct KernelUse {
    const char* name;
    std::vector<const char*> fields;
    std::vector<const char*> scalars;
    std::vector<float> ordinary;
    bool takesB;
    void (*run)(const KernelSet& k, Launch& l);
};

void runDiffuse(const KernelSet& k, Launch& l) {
    k.diffuse(l.n, l.b, l.fields[0].data(), l.fields[1].data(), l.scalars[0], l.scalars[1], l.mask.data());
}

const KernelUse kernelUses[] = {
    {"addSource", {"x", "s"}, {"dt"}, {0.2f}, false,
     [](const KernelSet& k, Launch& l) { k.addSource(l.n, l.fields[0].data(), l.fields[1].data(), l.scalars[0]); }},
    {"diffuse", {"x", "x0"}, {"diff", "dt"}, {0.5f, 0.2f}, true, runDiffuse},
    {"diffuse at rate 0", {"x", "x0"}, {"diff", "dt"}, {0.0f, 0.2f}, true, runDiffuse},
    {"advect", {"d", "d0", "u", "v"}, {"dt"}, {0.2f}, true,
     [](const KernelSet& k, Launch& l) {
         k.advect(l.n, l.b, l.fields[0].data(), l.fields[1].data(), l.fields[2].data(), l.fields[3].data(),
                  l.scalars[0], l.mask.data());
     }},
    {"projectStep1", {"u", "v", "p", "div"}, {}, {}, false,
     [](const KernelSet& k, Launch& l) {
         k.projectStep1(l.n, l.fields[0].data(), l.fields[1].data(), l.fields[2].data(), l.fields[3].data(),
                        l.mask.data());
     }},
    {"projectStep2", {"p", "div"}, {}, {}, false,
     [](const KernelSet& k, Launch& l) {
         k.projectStep2(l.n, l.fields[0].data(), l.fields[1].data(), l.mask.data());
     }},
    {"projectStep3", {"u", "v", "p"}, {}, {}, false,
     [](const KernelSet& k, Launch& l) {
         k.projectStep3(l.n, l.fields[0].data(), l.fields[1].data(), l.fields[2].data(), l.mask.data());
     }},
};

const KernelUse* kernelUse(const std::string& name) {
    for (const KernelUse& k : kernelUses)
        if (name == k.name) return &k;
    return nullptr;
}

// Where a name is in a list of parameter names; -1 when it is not.
int indexOf(const std::vector<const char*>& names, const std::string& name) {
    for (std::size_t k = 0; k < names.size(); ++k)
        if (name == names[k]) return static_cast<int>(k);
    return -1;
}

// Every field equal bit for bit, NaNs included; the message names the first
// cell that is not.
testing::AssertionResult sameBits(const Launch& expected, const Launch& actual, const KernelUse& k) {
    const int s = expected.n + 2;
    for (std::size_t f = 0; f < expected.fields.size(); ++f)
        for (std::size_t t = 0; t < expected.fields[f].size(); ++t) {
            const std::uint32_t e = bitsOf(expected.fields[f][t]), a = bitsOf(actual.fields[f][t]);
            if (e != a)
                return testing::AssertionFailure()
                       << k.fields[f] << " at (" << static_cast<int>(t) % s << ", " << static_cast<int>(t) / s
                       << "): expected bits 0x" << std::hex << e << ", got 0x" << a << std::dec;
        }
    return testing::AssertionSuccess();
}

// A NaN of the foreign sign, quiet, with a payload of its own.
float foreignNaNWithPayload(std::uint32_t payload) {
    const std::uint32_t bits = (bitsOf(foreignNaN()) & 0xffc00000u) | (payload & 0x003fffffu);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class FastKernels : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (setFastKernelsVectorWidth(GetParam()) != GetParam())
            GTEST_SKIP() << "this processor has no " << GetParam() << "-lane code";
        launchesBefore = fastKernelsReferenceLaunches();
    }
    void TearDown() override { setFastKernelsVectorWidth(16); }

    // The vector code did all the work since SetUp.
    void expectVectorCodeOnly() { EXPECT_EQ(fastKernelsReferenceLaunches(), launchesBefore); }

    long launchesBefore = 0;
    std::mt19937 rng{1234u + static_cast<unsigned>(GetParam())};
};

std::string widthName(const testing::TestParamInfo<int>& info) {
    return std::to_string(info.param) + "Lanes";
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(VectorWidths, FastKernels, testing::Values(4, 8, 16), widthName);

TEST_P(FastKernels, AddSourceMatchesReference) {
    const float dts[] = {0.2f, -3.5f, 1.0e-3f, 7.0e36f, 0.0f, -0.0f, inf};
    for (float step : dts) {
        SCOPED_TRACE(step);
        const FloatField x0 = randomField(rng, N, {4.0f, 0.05, 40});
        const FloatField s = randomField(rng, N, {4.0f, 0.05, 40});
        FloatField xr = x0, xf = x0;
        ref.addSource(N, xr.data(), s.data(), step);
        fast.addSource(N, xf.data(), s.data(), step);
        EXPECT_TRUE(sameField(xr, xf, N));
        if (step == 0.2f) {
            EXPECT_TRUE(informative(xf));
        }
        // The source may be the field itself.
        FloatField yr = s, yf = s;
        ref.addSource(N, yr.data(), yr.data(), step);
        fast.addSource(N, yf.data(), yf.data(), step);
        EXPECT_TRUE(sameField(yr, yf, N));
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, DiffuseMatchesReferenceForEveryBorderRuleAndRate) {
    struct Rates {
        float diff, dt;
    };
    // Defaults, no diffusion (divisor 1), a rate so small that the divisor
    // rounds to 1 while the neighbours still count, and strong diffusion.
    const Rates rates[] = {{0.5f, 0.2f}, {0.0f, 0.2f}, {1.0e-12f, 0.2f}, {3.0f, 0.7f}, {2.0e-4f, 0.05f}};
    const int rules[] = {0, 1, 2};
    for (const Rates& r : rates) {
        for (int b : rules) {
            // In place, a NaN or infinity reaches every cell downstream of it
            // within a sweep, so the informative run has none.
            for (const bool specials : {false, true}) {
                SCOPED_TRACE(testing::Message() << "diff " << r.diff << " dt " << r.dt << " b " << b
                                                << (specials ? " with NaN and infinities" : ""));
                FloatField start = randomField(rng, N, {2.0f, specials ? 0.01 : 0.0, specials ? 2 : 0});
                if (specials) start[IX(40, 50)] = start[IX(90, 20)] = defaultNaN();
                const FloatField x0 = randomField(rng, N, {1.0f, specials ? 0.01 : 0.0, specials ? 2 : 0});
                const MaskField mask = randomMask(rng, N, 0.08);
                FloatField xr = start, xf = start;
                ref.diffuse(N, b, xr.data(), x0.data(), r.diff, r.dt, mask.data());
                fast.diffuse(N, b, xf.data(), x0.data(), r.diff, r.dt, mask.data());
                EXPECT_TRUE(sameField(xr, xf, N));
                if (specials)
                    EXPECT_TRUE(holdsNaN(xf));  // the NaN inputs spread and must agree
                else
                    EXPECT_TRUE(informative(xf));
            }
        }
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, DiffuseAtRateZeroKeepsEverySignedZeroLikeReference) {
    // At rate 0 a fluid cell keeps its source, except that a source of -0
    // takes the sign of 0 * (sum of its neighbours). Sources of -0 here sit
    // in clusters, beside the border and beside solid cells, with neighbours
    // of both signs; one case holds a value too large to sum safely.
    for (const float diff : {0.0f, -0.0f})
        for (int b = 0; b < 2; ++b)
            for (const bool huge : {false, true}) {
                SCOPED_TRACE(testing::Message() << "diff " << diff << " b " << b << (huge ? " huge" : ""));
                FloatField start = randomField(rng, N, {1.0f, 0.0, 0});
                FloatField x0 = randomField(rng, N, {1.0f, 0.0, 0});
                for (int k = 0; k < 3000; ++k) x0[rng() % cellsPerField] = -0.0f;
                for (int k = 0; k < 3000; ++k) start[rng() % cellsPerField] = (k % 2) ? 0.0f : -0.0f;
                for (int j = 1; j <= N; ++j) x0[IX(1, j)] = x0[IX(j, N)] = -0.0f;
                if (huge) start[IX(70, 70)] = 3.0e38f;
                const MaskField mask = randomMask(rng, N, 0.1);
                FloatField xr = start, xf = start;
                ref.diffuse(N, b, xr.data(), x0.data(), diff, 0.2f, mask.data());
                fast.diffuse(N, b, xf.data(), x0.data(), diff, 0.2f, mask.data());
                EXPECT_TRUE(sameField(xr, xf, N));
            }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, DiffuseAtRateZeroTakesItsShortcutOnlyWhereItIsExact) {
    // At rate 0 a fluid cell keeps its source while every sum of neighbours
    // is finite. Each case puts one value at the edge of that into one input
    // (the field, its source, the rate or the step), for each border rule;
    // the result must be the reference's, which holds a NaN exactly where a
    // sum overflowed or a NaN or infinity reached a sum. A NaN of the other
    // sign must send the launch to the reference.
    const float limit = std::numeric_limits<float>::max() / 4.0f;  // four of them sum to the largest float
    const float beyond = std::nextafter(limit, inf);
    const float biggest = std::numeric_limits<float>::max();
    enum Input { Field, Source, Rate, Step };
    enum Place { Block, LastSideCell, LastInteriorCell };
    struct Case {
        const char* what;
        Input input;
        float value;
        Place place;       // for the field and the source
        float rate, step;  // the diffusion rate and step, before the case's value
        bool nanResult;    // the reference's result holds a NaN
        bool reference;    // the launch goes to the reference realisation
    };
    const Case cases[] = {
        {"sources at the limit", Source, limit, Block, 0.0f, 0.2f, false, false},
        {"sources at minus the limit", Source, -limit, Block, 0.0f, 0.2f, false, false},
        {"sources just beyond the limit", Source, beyond, Block, 0.0f, 0.2f, true, false},
        {"sources just beyond minus the limit", Source, -beyond, Block, 0.0f, 0.2f, true, false},
        {"field at the largest float", Field, biggest, Block, 0.0f, 0.2f, true, false},
        {"field at minus infinity", Field, -inf, Block, 0.0f, 0.2f, true, false},
        {"NaN in the field", Field, defaultNaN(), Block, 0.0f, 0.2f, true, false},
        {"NaN in the field's last side cell", Field, defaultNaN(), LastSideCell, 0.0f, 0.2f, true, false},
        {"infinity in the last interior source", Source, inf, LastInteriorCell, 0.0f, 0.2f, true, false},
        {"NaN in the sources", Source, defaultNaN(), Block, 0.0f, 0.2f, true, false},
        {"NaN of the other sign in the field", Field, foreignNaN(), Block, 0.0f, 0.2f, true, true},
        {"NaN of the other sign in the sources", Source, foreignNaN(), Block, 0.0f, 0.2f, true, true},
        {"rate a NaN of the other sign", Rate, foreignNaN(), Block, 0.0f, 0.2f, true, true},
        {"step a NaN of the other sign", Step, foreignNaN(), Block, 0.0f, 0.2f, true, true},
        {"step a NaN", Step, defaultNaN(), Block, 0.0f, 0.2f, true, false},
        {"step infinite", Step, inf, Block, 0.0f, 0.2f, true, false},
        {"rate a NaN", Rate, defaultNaN(), Block, 0.0f, 0.2f, true, false},
        {"step the largest float", Step, biggest, Block, 0.0f, 0.2f, false, false},
        {"rate -0", Rate, -0.0f, Block, 0.0f, 0.2f, false, false},
        {"rate whose factor rounds to 0", Rate, 1.0e-30f, Block, 0.0f, 1.0e-20f, false, false},
        {"smallest rate whose factor is not 0", Rate, 1.0e-45f, Block, 0.0f, 1.0f, false, false},
    };
    const char* const rules[] = {"copy rule (velocity)", "zero rule (density)", "zero rule (v)"};
    for (const Case& c : cases)
        for (int b = 0; b < 3; ++b) {
            SCOPED_TRACE(testing::Message() << c.what << ", " << rules[b]);
            FloatField start = randomField(rng, N, {1.0f, 0.0, 0});
            FloatField x0 = randomField(rng, N, {1.0f, 0.0, 0});
            MaskField mask = randomMask(rng, N, 0.05);
            float rate = c.rate, step = c.step;
            FloatField& target = c.input == Field ? start : x0;
            const auto put = [&](int i, int j) {
                target[IX(i, j)] = c.value;
                for (int di = std::max(i - 1, 0); di <= std::min(i + 1, N + 1); ++di)
                    for (int dj = std::max(j - 1, 0); dj <= std::min(j + 1, N + 1); ++dj) mask[IX(di, dj)] = 0;
            };
            if (c.input == Rate) {
                rate = c.value;
            } else if (c.input == Step) {
                step = c.value;
            } else if (c.place == Block) {
                for (int i = 60; i < 64; ++i)
                    for (int j = 60; j < 64; ++j) put(i, j);
            } else if (c.place == LastSideCell) {
                put(N, N + 1);  // among the last cells of the field, which a scan of whole blocks leaves over
            } else {
                put(N, N);
            }
            const long before = fastKernelsReferenceLaunches();
            FloatField xr = start, xf = start;
            ref.diffuse(N, b, xr.data(), x0.data(), rate, step, mask.data());
            fast.diffuse(N, b, xf.data(), x0.data(), rate, step, mask.data());
            EXPECT_TRUE(sameField(xr, xf, N));
            EXPECT_EQ(holdsNaN(xr), c.nanResult);
            EXPECT_EQ(fastKernelsReferenceLaunches() - before, c.reference ? 1 : 0);
        }
}

TEST_P(FastKernels, DiffuseOfHugeValuesOverflowsAlike) {
    // Sums overflow to infinity and infinities of both signs meet.
    const FloatField start = randomField(rng, N, {3.0e38f, 0.0, 0});
    const FloatField x0 = randomField(rng, N, {3.0e38f, 0.0, 0});
    const MaskField mask = randomMask(rng, N, 0.05);
    for (int b = 0; b < 2; ++b) {
        FloatField xr = start, xf = start;
        ref.diffuse(N, b, xr.data(), x0.data(), 0.5f, 0.2f, mask.data());
        fast.diffuse(N, b, xf.data(), x0.data(), 0.5f, 0.2f, mask.data());
        EXPECT_TRUE(sameField(xr, xf, N)) << "b " << b;
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, AdvectMatchesReferenceForEveryBorderRule) {
    // Velocity scales: gentle, beyond the grid (every trace clamped), and
    // mixed with infinities and NaNs.
    const Mix velocities[] = {{0.05f, 0.02, 0}, {40.0f, 0.02, 0}, {2.0f, 0.05, 300}};
    const float dts[] = {0.2f, 0.9f};
    const int rules[] = {0, 1, 2};
    for (const Mix& vm : velocities) {
        for (float step : dts) {
            for (int b : rules) {
                SCOPED_TRACE(testing::Message() << "velocity scale " << vm.scale << " dt " << step << " b " << b);
                const FloatField d0 = randomField(rng, N, {3.0f, 0.02, 100});
                const FloatField u = randomField(rng, N, vm);
                const FloatField v = randomField(rng, N, vm);
                const MaskField mask = randomMask(rng, N, 0.15);
                FloatField dr = randomField(rng, N, {9.0f, 0.0, 0}), df = dr;  // leftovers
                ref.advect(N, b, dr.data(), d0.data(), u.data(), v.data(), step, mask.data());
                fast.advect(N, b, df.data(), d0.data(), u.data(), v.data(), step, mask.data());
                EXPECT_TRUE(sameField(dr, df, N));
                EXPECT_TRUE(informative(df));
            }
        }
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, AdvectNegatesAtSolidNeighboursLikeReference) {
    // Every other row solid: many b == 1 flips, on both sides of the sign.
    const FloatField d0 = randomField(rng, N, {1.0f, 0.0, 0});
    const FloatField u = randomField(rng, N, {0.2f, 0.0, 0});
    const FloatField v = randomField(rng, N, {0.2f, 0.0, 0});
    MaskField mask = maskField(0);
    for (int j = 0; j < N + 2; j += 2)
        for (int i = 0; i < N + 2; ++i) mask[IX(i, j)] = (i % 5) ? 3 : 0;
    FloatField dr = floatField(0.0f), df = floatField(0.0f);
    ref.advect(N, 1, dr.data(), d0.data(), u.data(), v.data(), 0.2f, mask.data());
    fast.advect(N, 1, df.data(), d0.data(), u.data(), v.data(), 0.2f, mask.data());
    EXPECT_TRUE(sameField(dr, df, N));
    EXPECT_TRUE(informative(df));
    expectVectorCodeOnly();
}

TEST_P(FastKernels, ProjectStep1MatchesReference) {
    const Mix mixes[] = {{1.0f, 0.02, 0}, {1.0f, 0.05, 200}};
    for (const Mix& m : mixes) {
        const FloatField u = randomField(rng, N, m), v = randomField(rng, N, m);
        const MaskField mask = randomMask(rng, N, 0.2);
        FloatField pr = randomField(rng, N, m), divr = randomField(rng, N, m);  // overwritten
        FloatField pf = pr, divf = divr;
        ref.projectStep1(N, u.data(), v.data(), pr.data(), divr.data(), mask.data());
        fast.projectStep1(N, u.data(), v.data(), pf.data(), divf.data(), mask.data());
        EXPECT_TRUE(sameField(pr, pf, N));
        EXPECT_TRUE(sameField(divr, divf, N));
        EXPECT_TRUE(informative(divf));
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, ProjectStep2MatchesReference) {
    const Mix mixes[] = {{0.01f, 0.0, 0}, {1.0f, 0.0, 0}, {1.0f, 0.01, 2}, {2.0e38f, 0.0, 0}};
    const double densities[] = {0.0, 0.1, 0.3};
    for (const Mix& m : mixes) {
        for (double density : densities) {
            SCOPED_TRACE(testing::Message() << "scale " << m.scale << " solid share " << density);
            const FloatField div = randomField(rng, N, m);
            const MaskField mask = randomMask(rng, N, density);
            FloatField pr = randomField(rng, N, m), pf = pr;
            ref.projectStep2(N, pr.data(), div.data(), mask.data());
            fast.projectStep2(N, pf.data(), div.data(), mask.data());
            EXPECT_TRUE(sameField(pr, pf, N));
            if (m.scale < 2.0f && m.extremes == 0.0) {
                EXPECT_TRUE(informative(pf));  // (in place, huge values and NaNs spread over the grid)
            }
        }
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, ProjectStep3MatchesReference) {
    const Mix mixes[] = {{1.0f, 0.02, 0}, {1.0f, 0.05, 200}};
    for (const Mix& m : mixes) {
        const FloatField p = randomField(rng, N, m);
        const MaskField mask = randomMask(rng, N, 0.2);
        FloatField ur = randomField(rng, N, m), vr = randomField(rng, N, m);
        FloatField uf = ur, vf = vr;
        ref.projectStep3(N, ur.data(), vr.data(), p.data(), mask.data());
        fast.projectStep3(N, uf.data(), vf.data(), p.data(), mask.data());
        EXPECT_TRUE(sameField(ur, uf, N));
        EXPECT_TRUE(sameField(vr, vf, N));
        EXPECT_TRUE(informative(uf));
        EXPECT_TRUE(informative(vf));
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, FewDistinctValuesAndSignedZerosMatchReference) {
    // Equal neighbours give zero sums and corrections, and the sign of a zero
    // result depends on the operands' zeros: this is where a test against
    // "< 0" instead of "<= 0", or an added instead of a subtracted zero, shows.
    auto fewValues = [&] {
        static const float values[] = {0.0f, -0.0f, 0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -2.0f};
        FloatField f = floatField();
        for (float& x : f) x = values[rng() % 8];
        return f;
    };
    for (int round = 0; round < 3; ++round) {
        const FloatField a = fewValues(), b = fewValues(), c = fewValues();
        const MaskField mask = randomMask(rng, N, 0.3);
        FloatField ur = a, uf = a, vr = b, vf = b;
        ref.projectStep3(N, ur.data(), vr.data(), c.data(), mask.data());
        fast.projectStep3(N, uf.data(), vf.data(), c.data(), mask.data());
        EXPECT_TRUE(sameField(ur, uf, N)) << "project step 3, u";
        EXPECT_TRUE(sameField(vr, vf, N)) << "project step 3, v";
        FloatField pr = c, pf = c, divr = c, divf = c;
        ref.projectStep1(N, a.data(), b.data(), pr.data(), divr.data(), mask.data());
        fast.projectStep1(N, a.data(), b.data(), pf.data(), divf.data(), mask.data());
        EXPECT_TRUE(sameField(divr, divf, N)) << "project step 1";
        FloatField qr = a, qf = a;
        ref.projectStep2(N, qr.data(), b.data(), mask.data());
        fast.projectStep2(N, qf.data(), b.data(), mask.data());
        EXPECT_TRUE(sameField(qr, qf, N)) << "project step 2";
        FloatField dr = c, df = c;
        ref.advect(N, 1, dr.data(), a.data(), b.data(), c.data(), 0.2f, mask.data());
        fast.advect(N, 1, df.data(), a.data(), b.data(), c.data(), 0.2f, mask.data());
        EXPECT_TRUE(sameField(dr, df, N)) << "advect";
        FloatField xr = a, xf = a;
        ref.diffuse(N, 0, xr.data(), b.data(), 0.0f, 0.2f, mask.data());
        fast.diffuse(N, 0, xf.data(), b.data(), 0.0f, 0.2f, mask.data());
        EXPECT_TRUE(sameField(xr, xf, N)) << "diffuse";
        FloatField sr = a, sf = a;
        ref.addSource(N, sr.data(), b.data(), -0.0f);
        fast.addSource(N, sf.data(), b.data(), -0.0f);
        EXPECT_TRUE(sameField(sr, sf, N)) << "add source";
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, OtherGridSizesMatchReference) {
    // Rows that are not a whole number of vectors, and runs of rows whose
    // last vector overlaps the one before it.
    for (int n : {14, 15, 37, 61}) {
        SCOPED_TRACE(testing::Message() << "N = " << n);
        const int cells = cellsOf(n);
        const FloatField a = randomField(rng, n, {1.0f, 0.02, 3});
        const FloatField bField = randomField(rng, n, {1.0f, 0.02, 3});
        const FloatField c = randomField(rng, n, {0.3f, 0.02, 3});
        const FloatField d = randomField(rng, n, {0.3f, 0.02, 3});
        const MaskField mask = randomMask(rng, n, 0.1);
        FloatField r1 = a, f1 = a;
        ref.addSource(n, r1.data(), bField.data(), 0.2f);
        fast.addSource(n, f1.data(), bField.data(), 0.2f);
        EXPECT_TRUE(sameField(r1, f1, n)) << "add source";
        for (int b = 0; b < 2; ++b) {
            FloatField r = a, f = a;
            ref.diffuse(n, b, r.data(), bField.data(), 0.5f, 0.2f, mask.data());
            fast.diffuse(n, b, f.data(), bField.data(), 0.5f, 0.2f, mask.data());
            EXPECT_TRUE(sameField(r, f, n)) << "diffuse " << b;
            FloatField ra(static_cast<std::size_t>(cells)), fa(static_cast<std::size_t>(cells));
            ref.advect(n, b, ra.data(), a.data(), c.data(), d.data(), 0.2f, mask.data());
            fast.advect(n, b, fa.data(), a.data(), c.data(), d.data(), 0.2f, mask.data());
            EXPECT_TRUE(sameField(ra, fa, n)) << "advect " << b;
        }
        FloatField pr = a, pf = a, divr = a, divf = a;
        ref.projectStep1(n, c.data(), d.data(), pr.data(), divr.data(), mask.data());
        fast.projectStep1(n, c.data(), d.data(), pf.data(), divf.data(), mask.data());
        EXPECT_TRUE(sameField(pr, pf, n)) << "project step 1, p";
        EXPECT_TRUE(sameField(divr, divf, n)) << "project step 1, div";
        FloatField qr = bField, qf = bField;
        ref.projectStep2(n, qr.data(), a.data(), mask.data());
        fast.projectStep2(n, qf.data(), a.data(), mask.data());
        EXPECT_TRUE(sameField(qr, qf, n)) << "project step 2";
        FloatField ur = c, uf = c, vr = d, vf = d;
        ref.projectStep3(n, ur.data(), vr.data(), a.data(), mask.data());
        fast.projectStep3(n, uf.data(), vf.data(), a.data(), mask.data());
        EXPECT_TRUE(sameField(ur, uf, n)) << "project step 3, u";
        EXPECT_TRUE(sameField(vr, vf, n)) << "project step 3, v";
    }
    expectVectorCodeOnly();
}

TEST_P(FastKernels, GridsNarrowerThanAVectorStillMatch) {
    for (int n : {1, 2, 5, 13}) {
        const FloatField a = randomField(rng, n, {1.0f, 0.0, 0});
        const FloatField c = randomField(rng, n, {0.3f, 0.0, 0});
        const MaskField mask = randomMask(rng, n, 0.2);
        FloatField r = a, f = a;
        ref.diffuse(n, 0, r.data(), c.data(), 0.5f, 0.2f, mask.data());
        fast.diffuse(n, 0, f.data(), c.data(), 0.5f, 0.2f, mask.data());
        EXPECT_TRUE(sameField(r, f, n)) << "N = " << n;
        FloatField ur = a, uf = a, vr = c, vf = c;
        ref.projectStep3(n, ur.data(), vr.data(), a.data(), mask.data());
        fast.projectStep3(n, uf.data(), vf.data(), a.data(), mask.data());
        EXPECT_TRUE(sameField(ur, uf, n)) << "N = " << n;
        EXPECT_TRUE(sameField(vr, vf, n)) << "N = " << n;
    }
}

TEST_P(FastKernels, EveryScreenedInputMatchesTheReferenceBitForBit) {
    // Each fast kernel runs the reference instead when an input it reads
    // holds a NaN of the foreign sign (FastKernels.cpp says why), and the
    // diffusion at rate 0 takes its shortcut only while no value of x or x0
    // lies beyond a quarter of the largest float. Each row puts one kind of
    // bad value into one input of one kernel: foreign NaNs with payloads of
    // their own in a share of the cells (the other inputs, and the other
    // cells, then hold default NaNs and infinities for them to meet); one
    // bad value among the last cells of a 16 x 16 grid, which the scans for
    // them leave over after their whole vectors (the NaN scan at every
    // width, the overflow scan at 8 and 16 lanes); or a block of bad values.
    // Fast and reference must agree bit for bit, NaN signs and payloads
    // included; the launch must go where the row says, whatever this build's
    // operand order makes of the NaNs; and the bad value must change the
    // reference's result, except in inputs that the kernel only writes,
    // which need no screen.
    enum Place { Spread, ScanTail, Block };
    struct Kind {
        const char* name;
        Place place;
        float value;  // for Spread: foreign NaNs, each with its own payload
    };
    enum Bad { ForeignNaNs, ForeignNaNInTheScanTail, LargestFloats, Infinities, DefaultNaNs, InfinityInTheScanTail };
    const Kind kinds[] = {
        {"foreign NaNs", Spread, 0.0f},
        {"a foreign NaN in the scans' tail", ScanTail, foreignNaNWithPayload(0x15u)},
        {"the largest floats", Block, std::numeric_limits<float>::max()},
        {"infinities", Block, -inf},
        {"default NaNs", Block, defaultNaN()},
        {"an infinity in the scans' tail", ScanTail, inf},
    };
    enum Runs { Reference, VectorCode };
    struct Row {
        const char* kernel;
        const char* input;
        Bad bad;
        Runs runs;
        bool reaches;  // the bad value changes the result
    };
    const Row rows[] = {
        {"addSource", "x", ForeignNaNs, Reference, true},
        {"addSource", "s", ForeignNaNs, Reference, true},
        {"addSource", "dt", ForeignNaNs, Reference, true},
        {"addSource", "x", ForeignNaNInTheScanTail, Reference, true},
        {"addSource", "s", ForeignNaNInTheScanTail, Reference, true},
        {"diffuse", "x", ForeignNaNs, Reference, true},
        {"diffuse", "x0", ForeignNaNs, Reference, true},
        {"diffuse", "diff", ForeignNaNs, Reference, true},
        {"diffuse", "dt", ForeignNaNs, Reference, true},
        {"diffuse", "x", ForeignNaNInTheScanTail, Reference, true},
        {"diffuse", "x0", ForeignNaNInTheScanTail, Reference, true},
        {"diffuse at rate 0", "x", ForeignNaNs, Reference, true},
        {"diffuse at rate 0", "x0", ForeignNaNs, Reference, true},
        {"diffuse at rate 0", "x", LargestFloats, VectorCode, true},
        {"diffuse at rate 0", "x", Infinities, VectorCode, true},
        {"diffuse at rate 0", "x", DefaultNaNs, VectorCode, true},
        {"diffuse at rate 0", "x", InfinityInTheScanTail, VectorCode, true},
        {"diffuse at rate 0", "x0", LargestFloats, VectorCode, true},
        {"diffuse at rate 0", "x0", Infinities, VectorCode, true},
        {"diffuse at rate 0", "x0", DefaultNaNs, VectorCode, true},
        {"advect", "d", ForeignNaNs, VectorCode, false},
        {"advect", "d0", ForeignNaNs, Reference, true},
        {"advect", "u", ForeignNaNs, Reference, true},
        {"advect", "v", ForeignNaNs, Reference, true},
        {"advect", "dt", ForeignNaNs, Reference, true},
        {"advect", "d0", ForeignNaNInTheScanTail, Reference, true},
        {"projectStep1", "u", ForeignNaNs, Reference, true},
        {"projectStep1", "v", ForeignNaNs, Reference, true},
        {"projectStep1", "p", ForeignNaNs, VectorCode, false},
        {"projectStep1", "div", ForeignNaNs, VectorCode, false},
        {"projectStep1", "v", ForeignNaNInTheScanTail, Reference, true},
        {"projectStep2", "p", ForeignNaNs, Reference, true},
        {"projectStep2", "div", ForeignNaNs, Reference, true},
        {"projectStep2", "p", ForeignNaNInTheScanTail, Reference, true},
        {"projectStep3", "u", ForeignNaNs, Reference, true},
        {"projectStep3", "v", ForeignNaNs, Reference, true},
        {"projectStep3", "p", ForeignNaNs, Reference, true},
        {"projectStep3", "p", ForeignNaNInTheScanTail, Reference, true},
    };
    std::uniform_real_distribution<double> chance(0.0, 1.0);

    for (const Row& row : rows) {
        ASSERT_NE(kernelUse(row.kernel), nullptr) << row.kernel;
        const KernelUse& k = *kernelUse(row.kernel);
        const Kind& kind = kinds[row.bad];
        const int field = indexOf(k.fields, row.input), scalar = indexOf(k.scalars, row.input);
        ASSERT_TRUE(field >= 0 || scalar >= 0) << row.kernel << " has no input " << row.input;
        ASSERT_TRUE(field >= 0 || row.bad == ForeignNaNs) << "a scalar holds one value";
        for (int b = 0; b <= (k.takesB ? 1 : 0); ++b) {
            SCOPED_TRACE(testing::Message() << row.kernel << ", " << kind.name << " in " << row.input
                                            << (k.takesB ? (b ? ", zero rule" : ", copy rule") : ""));
            Launch clean;
            clean.n = kind.place == ScanTail ? 16 : N;
            clean.b = b;
            for (std::size_t f = 0; f < k.fields.size(); ++f)
                clean.fields.push_back(randomField(rng, clean.n, {1.0f, 0.0, 0}));
            clean.scalars = k.ordinary;
            clean.mask = randomMask(rng, clean.n, 0.05);
            const int s = clean.n + 2;
            const auto cell = [s](int i, int j) { return static_cast<std::size_t>(i + s * j); };
            if (kind.place == Spread) {
                for (FloatField& f : clean.fields)
                    for (float& x : f) {
                        const double c = chance(rng);
                        if (c < 0.02) x = defaultNaN();
                        else if (c < 0.03) x = c < 0.025 ? inf : -inf;
                    }
            } else if (kind.place == ScanTail) {
                clean.mask[cell(clean.n, clean.n)] = 0;  // the cell that reads the bad value is fluid
            } else {
                for (int i = 59; i < 65; ++i)
                    for (int j = 59; j < 65; ++j) clean.mask[cell(i, j)] = 0;  // the bad values' cells are fluid
            }

            Launch poisoned = clean;
            if (scalar >= 0) {
                poisoned.scalars[static_cast<std::size_t>(scalar)] = foreignNaNWithPayload(0x2b5u);
            } else {
                FloatField& target = poisoned.fields[static_cast<std::size_t>(field)];
                if (kind.place == Spread) {
                    for (std::size_t t = 0; t < target.size(); ++t)
                        if (chance(rng) < 0.03) target[t] = foreignNaNWithPayload(static_cast<std::uint32_t>(t) + 1u);
                } else if (kind.place == ScanTail) {
                    // The top side's last cell but one: the grid's 324 cells are 4 more
                    // than a whole number of 64, 32, 16 or 8.
                    target[cell(clean.n, clean.n + 1)] = kind.value;
                } else {
                    for (int i = 60; i < 64; ++i)
                        for (int j = 60; j < 64; ++j) target[cell(i, j)] = kind.value;
                }
            }

            Launch expected = poisoned, actual = poisoned, unpoisoned = clean;
            k.run(ref, expected);
            const long before = fastKernelsReferenceLaunches();
            k.run(fast, actual);
            EXPECT_EQ(fastKernelsReferenceLaunches() - before, row.runs == Reference ? 1 : 0)
                << (row.runs == Reference ? "the vector code ran" : "the reference ran");
            EXPECT_TRUE(sameBits(expected, actual, k));
            k.run(ref, unpoisoned);
            EXPECT_EQ(!sameBits(unpoisoned, expected, k), row.reaches)
                << (row.reaches ? "the bad value did not reach the result" : "an unread input changed the result");
        }
    }
}

TEST_P(FastKernels, OverlappingFieldsMatchReference) {
    const FloatField a = randomField(rng, N, {1.0f, 0.02, 0});
    const MaskField mask = randomMask(rng, N, 0.1);
    // Diffusion from the field itself: the cell phase reads x0 as it writes x.
    FloatField r = a, f = a;
    ref.diffuse(N, 0, r.data(), r.data(), 0.5f, 0.2f, mask.data());
    fast.diffuse(N, 0, f.data(), f.data(), 0.5f, 0.2f, mask.data());
    EXPECT_TRUE(sameField(r, f, N));
    // A source one cell ahead of the field: the reference reads it before
    // writing it.
    FloatField sr(cellsPerField + 1, 0.0f), sf;
    for (int k = 0; k <= cellsPerField; ++k) sr[k] = a[k % cellsPerField] + static_cast<float>(k);
    sf = sr;
    ref.addSource(N, sr.data(), sr.data() + 1, 0.2f);
    fast.addSource(N, sf.data(), sf.data() + 1, 0.2f);
    EXPECT_TRUE(sameField(sr, sf, N));
    // Projection with the divergence in the pressure field's place.
    FloatField ur = a, uf = a, pr = a, pf = a;
    ref.projectStep1(N, ur.data(), a.data(), pr.data(), pr.data(), mask.data());
    fast.projectStep1(N, uf.data(), a.data(), pf.data(), pf.data(), mask.data());
    EXPECT_TRUE(sameField(pr, pf, N));
}

TEST_P(FastKernels, WholeStepsMatchReference) {
    struct Settings {
        float dt, diff, viscosity;
        // Huge values, infinities and NaNs soon spread over the whole grid,
        // so only the last settings have them.
        double extremes;
        int specials;
        int steps;
    };
    const Settings settings[] = {{0.2f, 0.5f, 0.0f, 0.0, 0, 4},
                                 {0.1f, 0.01f, 0.001f, 0.0, 0, 3},
                                 {0.5f, 2.0f, 0.3f, 0.0, 0, 3},
                                 {0.2f, 0.5f, 0.0f, 0.005, 3, 2}};
    const float savedDt = dt, savedDiff = diff, savedViscosity = viscosity;
    float* const fields[] = {u, v, u_prev, v_prev, dens, dens_prev};
    const char* const names[] = {"u", "v", "u_prev", "v_prev", "dens", "dens_prev"};

    for (const Settings& s : settings) {
        SCOPED_TRACE(testing::Message() << "dt " << s.dt << " diff " << s.diff << " viscosity " << s.viscosity);
        dt = s.dt;
        diff = s.diff;
        viscosity = s.viscosity;
        std::vector<FloatField> start;
        start.push_back(randomField(rng, N, {2.0f, s.extremes, s.specials}));
        start.push_back(randomField(rng, N, {2.0f, s.extremes, s.specials}));
        start.push_back(randomField(rng, N, {0.5f, s.extremes, s.specials}));
        start.push_back(randomField(rng, N, {0.5f, s.extremes, s.specials}));
        start.push_back(randomField(rng, N, {3.0f, s.extremes, s.specials}));
        start.push_back(randomField(rng, N, {1.0f, s.extremes, s.specials}));
        const MaskField mask = randomMask(rng, N, 0.05);
        auto load = [&] {
            for (int f = 0; f < 6; ++f) std::memcpy(fields[f], start[f].data(), bytesPerField);
            std::memcpy(boundary, mask.data(), bytesPerField);
        };
        auto snapshot = [&] {
            std::vector<FloatField> now;
            for (float* f : fields) now.emplace_back(f, f + cellsPerField);
            return now;
        };

        std::vector<std::vector<FloatField>> expected;
        load();
        setActiveHostKernels(&ref);
        for (int k = 0; k < s.steps; ++k) {
            gpuCalcFluid();
            expected.push_back(snapshot());
        }
        load();
        setActiveHostKernels(&fast);
        for (int k = 0; k < s.steps; ++k) {
            gpuCalcFluid();
            const std::vector<FloatField> actual = snapshot();
            for (int f = 0; f < 6; ++f)
                EXPECT_TRUE(sameField(expected[k][f], actual[f], N)) << "step " << k + 1 << ", " << names[f];
        }
        if (s.extremes == 0.0) {
            EXPECT_TRUE(informative(expected.back()[4])) << "dens";
            EXPECT_TRUE(informative(expected.back()[0])) << "u";
        }
        for (int k = 0; k < cellsPerField; ++k) ASSERT_EQ(boundary[k], mask[k]);
    }
    setActiveHostKernels(nullptr);
    dt = savedDt;
    diff = savedDiff;
    viscosity = savedViscosity;
    resetFields();
    expectVectorCodeOnly();
}

TEST(FastKernelSelection, HostLaunchesUseTheFastSetUnlessAnotherIsChosen) {
    // Which set a step's launches ran, seen from outside: the fast set hands
    // a launch whose source holds a NaN of the foreign sign to the reference
    // and counts it, the reference set counts nothing, and the idle set
    // leaves the fields as they are.
    const auto step = [] {
        resetFields();
        dens[IX(30, 30)] = 1.0f;
        dens_prev[IX(60, 60)] = foreignNaN();
        const long before = fastKernelsReferenceLaunches();
        gpuCalcFluid();
        return fastKernelsReferenceLaunches() - before;
    };
    setActiveHostKernels(nullptr);
    EXPECT_GT(step(), 0);
    EXPECT_NE(bitsOf(dens[IX(30, 30)]), bitsOf(1.0f));
    setActiveHostKernels(&referenceKernels());
    EXPECT_EQ(step(), 0);
    EXPECT_NE(bitsOf(dens[IX(30, 30)]), bitsOf(1.0f));
    setActiveHostKernels(&idleKernels());
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(bitsOf(dens[IX(30, 30)]), bitsOf(1.0f));
    setActiveHostKernels(nullptr);  // the fast set again
    EXPECT_GT(step(), 0);
    resetFields();
}
