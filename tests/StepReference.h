// StepReference.h - the host state of a step as plain vectors, and one step
// written out launch by launch on named arrays, for checking the driver.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestSupport.h"

namespace testsupport {

// The whole host state a step reads and writes.
struct State {
    FloatField u = floatField(), v = floatField(), uPrev = floatField(), vPrev = floatField();
    FloatField dens = floatField(), densPrev = floatField();
    MaskField mask = maskField();

    static State fromGlobals() {
        State s;
        s.u.assign(::u, ::u + cellsPerField);
        s.v.assign(::v, ::v + cellsPerField);
        s.uPrev.assign(::u_prev, ::u_prev + cellsPerField);
        s.vPrev.assign(::v_prev, ::v_prev + cellsPerField);
        s.dens.assign(::dens, ::dens + cellsPerField);
        s.densPrev.assign(::dens_prev, ::dens_prev + cellsPerField);
        s.mask.assign(::boundary, ::boundary + cellsPerField);
        return s;
    }
    void toGlobals() const {
        std::copy(u.begin(), u.end(), ::u);
        std::copy(v.begin(), v.end(), ::v);
        std::copy(uPrev.begin(), uPrev.end(), ::u_prev);
        std::copy(vPrev.begin(), vPrev.end(), ::v_prev);
        std::copy(dens.begin(), dens.end(), ::dens);
        std::copy(densPrev.begin(), densPrev.end(), ::dens_prev);
        std::copy(mask.begin(), mask.end(), ::boundary);
    }
};

inline void expectSameFields(const State& a, const State& b) {
    const FloatField State::*fields[] = {&State::u, &State::v, &State::uPrev, &State::vPrev, &State::dens,
                                         &State::densPrev};
    const char* names[] = {"u", "v", "u_prev", "v_prev", "dens", "dens_prev"};
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < cellsPerField; ++k)
            ASSERT_TRUE(sameValue((a.*fields[f])[k], (b.*fields[f])[k]))
                << names[f] << "[" << k << "]: " << (a.*fields[f])[k] << " vs " << (b.*fields[f])[k];
    ASSERT_EQ(a.mask, b.mask);
}

// True when every field matches (NaNs of the same sign count as equal).
inline bool sameFields(const State& a, const State& b) {
    const FloatField State::*fields[] = {&State::u, &State::v, &State::uPrev, &State::vPrev, &State::dens,
                                         &State::densPrev};
    for (const auto f : fields)
        for (int k = 0; k < cellsPerField; ++k)
            if (!sameValue((a.*f)[k], (b.*f)[k])) return false;
    return a.mask == b.mask;
}

// One step written out in straight lines on named arrays, following the
// buffers through the driver's swaps by hand. Launch number `skip` (1..15)
// is left out, as a refused configuration would.
inline State straightLineStep(State s, int skip = 0) {
    const KernelSet& ref = referenceKernels();
    float *D = s.dens.data(), *D0 = s.densPrev.data();
    float *U = s.u.data(), *U0 = s.uPrev.data(), *V = s.v.data(), *V0 = s.vPrev.data();
    const int* M = s.mask.data();
    int launch = 0;
    auto run = [&](auto&& f) {
        if (++launch != skip) f();
    };
    run([&] { ref.addSource(N, D, D0, dt); });
    // buffer roles swap: the density now sits in D0
    run([&] { ref.diffuse(N, 1, D0, D, diff, dt, M); });
    run([&] { ref.advect(N, 1, D, D0, U, V, dt, M); });
    run([&] { ref.addSource(N, U, U0, dt); });
    run([&] { ref.addSource(N, V, V0, dt); });
    run([&] { ref.diffuse(N, 0, U0, U, viscosity, dt, M); });
    run([&] { ref.diffuse(N, 0, V0, V, viscosity, dt, M); });
    run([&] { ref.projectStep1(N, U0, V0, U, V, M); });
    run([&] { ref.projectStep2(N, U, V, M); });
    run([&] { ref.projectStep3(N, U0, V0, U, M); });
    run([&] { ref.advect(N, 0, U, U0, U0, V0, dt, M); });
    run([&] { ref.advect(N, 0, V, V0, U0, V0, dt, M); });
    run([&] { ref.projectStep1(N, U, V, U0, V0, M); });
    run([&] { ref.projectStep2(N, U0, V0, M); });
    run([&] { ref.projectStep3(N, U, V, U0, M); });
    return s;  // the named arrays ended where the driver's names end
}

inline State randomState(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    State s;
    for (int k = 0; k < cellsPerField; ++k) {
        s.u[k] = 0.1f * value(rng);
        s.v[k] = 0.1f * value(rng);
        s.uPrev[k] = value(rng);
        s.vPrev[k] = value(rng);
        s.dens[k] = 1.0f + value(rng);
        s.densPrev[k] = 5.0f * value(rng);
        s.mask[k] = (rng() % 16) == 0 ? 1 : 0;
    }
    return s;
}

}  // namespace testsupport
