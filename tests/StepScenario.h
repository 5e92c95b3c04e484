// StepScenario.h - a deterministic run of the simulation that gives the same
// inputs on every platform and with every compiler: obstacles, busy finite
// fields and sources added between steps, all drawn from a generator of our
// own whose floats come from exact integer-to-float conversions (the standard
// library's distributions differ between libstdc++ and libc++).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Fluid.h"

namespace scenario {

// SplitMix64: a few shifts and multiplications, the same on every target.
struct Generator {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // A float in [-1, 1) with 24 random bits, computed exactly.
    float unit() { return static_cast<float>(static_cast<std::int32_t>(next() >> 40) - (1 << 23)) * 0x1p-23f; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int interior() { return 1 + below(N); }
};

// Fresh fields for one seed: small velocities, density around 1, sources in
// every field, scattered solid cells (border cells and their neighbours
// among them) and one solid block.
inline void start(Generator& g) {
    resetFields();
    for (int k = 0; k < cellsPerField; ++k) {
        u[k] = 0.1f * g.unit();
        v[k] = 0.1f * g.unit();
        u_prev[k] = g.unit();
        v_prev[k] = g.unit();
        dens[k] = 1.0f + g.unit();
        dens_prev[k] = 5.0f * g.unit();
        boundary[k] = g.below(16) == 0 ? 1 + g.below(1000) : 0;
    }
    const int i0 = g.interior(), j0 = g.interior(), w = 1 + g.below(20), h = 1 + g.below(20);
    for (int j = j0; j < j0 + h && j <= N; ++j)
        for (int i = i0; i < i0 + w && i <= N; ++i) boundary[IX(i, j)] = 1;
}

// A random interior cell. (Two draws in one call's arguments would come in
// an order that differs between compilers.)
inline int cell(Generator& g) {
    const int i = g.interior();
    const int j = g.interior();
    return IX(i, j);
}

// Between two steps, as a user's clicks and drags would: density and a push
// at a few cells, and now and then a cell turned solid or fluid.
inline void stir(Generator& g) {
    for (int n = 0; n < 4; ++n) {
        const int k = cell(g);
        dens_prev[k] += 100.0f * (g.unit() + 1.0f);
        u_prev[k] = 20.0f * g.unit();
        v_prev[k] = 20.0f * g.unit();
    }
    if (g.below(3) == 0) {
        const int k = cell(g);
        boundary[k] = boundary[k] ? 0 : 1;
    }
}

// Whether every value of the six float fields is finite.
inline bool fieldsFinite() {
    const float* fields[] = {u, v, u_prev, v_prev, dens, dens_prev};
    for (const float* f : fields)
        for (int k = 0; k < cellsPerField; ++k)
            if (!std::isfinite(f[k])) return false;
    return true;
}

// FNV-1a over the bytes of n values.
inline std::uint64_t hashBytes(const void* p, std::size_t n) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (std::size_t k = 0; k < n; ++k) h = (h ^ b[k]) * 0x100000001b3ull;
    return h;
}

// One line: the step and the hash of each field's bits.
inline void printDigest(int step) {
    const void* fields[] = {u, v, u_prev, v_prev, dens, dens_prev, boundary};
    std::printf("%4d", step);
    for (const void* f : fields)
        std::printf(" %016llx", static_cast<unsigned long long>(hashBytes(f, bytesPerField)));
    std::printf("\n");
}

}  // namespace scenario
