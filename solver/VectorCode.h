// VectorCode.h - the vectorised kernels of one instruction set, as a table.
//
// VectorKernels.h holds the vector code once, as templates over the lane
// count; FastKernelsSse2.cpp, FastKernelsAvx2.cpp and FastKernelsAvx512.cpp
// each compile it for their instruction set and export one table, and
// InstructionSet.cpp picks the table the processor runs. FastKernels.cpp
// checks each launch, lays out the fields and calls through the table.
//
// The two relaxations work on fields in diagonal order (DiagonalGrid below),
// the other kernels on fields in the grid's own order, and only on their cell
// phase: the caller applies the border rule afterwards.
#pragma once

#include <cstdint>
#include <vector>

// A field of the (N + 2) x (N + 2) grid in diagonal order: cell (i, j) lives
// at row i + j, column diagonalMargin + i, rows `stride` elements apart. Rows
// 0 to 2N + 2 hold the grid's 2N + 3 anti-diagonals; the cells of one row
// depend on each other in no relaxation, so a row is computed as whole
// vectors. The margins leave room for the widest vector, and one more on
// either side, around every row's cells; the stride is a whole number of
// cache lines.
constexpr int diagonalMargin = 16;
struct DiagonalGrid {
    int N;
    int stride;
};
inline DiagonalGrid diagonalGrid(int N) { return DiagonalGrid{N, (N + 2 + 3 * diagonalMargin + 15) / 16 * 16}; }
inline __attribute__((always_inline)) int diagonalAt(const DiagonalGrid& g, int i, int j) {
    return (i + j) * g.stride + diagonalMargin + i;
}
inline __attribute__((always_inline)) int diagonalCells(const DiagonalGrid& g) { return (2 * g.N + 3) * g.stride; }

// Whether a float's bits (one int, or a vector of them lane by lane) are a
// NaN whose sign bit is `sign` (INT32_MIN or 0): xoring that sign into the
// sign bit makes such a NaN the only kind of value whose bits, as an int,
// exceed those of +infinity.
template <class Bits>
inline __attribute__((always_inline)) auto isNaNOfSign(Bits bits, std::int32_t sign) {
    return (bits ^ sign) > 0x7f800000;
}

struct VectorCode {
    int lanes;
    // Whether p[0..count) holds a NaN whose sign bit is foreignSign.
    bool (*holdsForeignNaN)(const float* p, int count, std::int32_t foreignSign);
    // Whether p[0..count) holds a magnitude above limit, an infinity or a NaN.
    bool (*holdsBeyond)(const float* p, int count, float limit);
    // Appends the places of p[0..count)'s -0 values to *found, in order.
    void (*findNegativeZeros)(const float* p, int count, std::vector<int>* found);
    // x = x0 in fluid cells, 0 in solid ones, over the whole field.
    void (*keepFluid)(int N, float* x, const float* x0, const int* boundary);
    void (*addSource)(int N, float* x, const float* s, float dt);
    // The 20 sweeps of a diffusion on diagonal-ordered fields, mask included;
    // x's side cells end right, its corners are left to the caller.
    // `generation` changes whenever the mask does.
    void (*diffuse)(const DiagonalGrid& g, int b, float* x, const float* x0, const int* mask, unsigned generation,
                    float a, float divisor);
    void (*advect)(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                   const int* boundary);
    void (*divergence)(int N, const float* u, const float* v, float* div, const int* boundary);
    // The 20 pressure sweeps, like diffuse.
    void (*pressure)(const DiagonalGrid& g, float* p, const float* div, const int* mask, unsigned generation);
    void (*subtractGradient)(int N, float* u, float* v, const float* p, const int* boundary);
    // A field, or the obstacle mask, into diagonal order (cells outside the
    // grid 0), and a field back.
    void (*toDiagonal)(const DiagonalGrid& g, const float* grid, float* diagonal);
    void (*toDiagonalMask)(const DiagonalGrid& g, const int* grid, int* diagonal);
    void (*fromDiagonal)(const DiagonalGrid& g, const float* diagonal, float* grid);
};

extern const VectorCode sse2Code;
#if defined(__x86_64__) || defined(__i386__)
extern const VectorCode avx2Code;
extern const VectorCode avx512Code;
#endif

// The table of the widest vector code this processor runs, or of the width
// chosen by setFastKernelsVectorWidth (FastKernels.h).
const VectorCode& chosenVectorCode();
