// LaunchArguments.h - reading a kernel launch's handed-over arguments back.
//
// A launch function hands every parameter over as 4 bytes at offsets 0, 4,
// 8, ... A backend decodes the same bytes: scalars are copied out, buffer
// handles are turned into addresses by the backend's own lookup, which refuses
// a handle that names no buffer large enough for the grid. Any missing byte or
// unusable handle marks the whole launch as refused. So is a launch whose
// written buffer is one the kernel reads at other cells: the result would then
// depend on the order in which the cells are visited, which parallel threads
// do not have. Both backends decode with these functions and so refuse the
// same launches.
#pragma once

#include <cstring>
#include <initializer_list>

#include "../runtime/DeviceRuntime.h"

namespace launcharguments {

// Address of the buffer behind a handle holding at least minBytes, or nullptr.
using ResolveBuffer = void* (*)(fluidrt::DevicePtr ptr, std::size_t minBytes);

struct Decoder {
    const fluidrt::ArgumentBlock& args;
    int cells;  // cells per field of the launch's grid
    ResolveBuffer resolve;
    bool ok = true;

    template <typename T>
    T scalar(std::size_t offset) {
        T value{};
        if (offset + sizeof value > args.used) {
            ok = false;
            return value;
        }
        std::memcpy(&value, args.bytes + offset, sizeof value);
        return value;
    }
    template <typename T>
    T* field(std::size_t offset) {
        auto* p = static_cast<T*>(resolve(scalar<fluidrt::DevicePtr>(offset), sizeof(T) * cells));
        if (!p) ok = false;
        return p;
    }
};

// Reads N (the first argument) and checks that the launch starts exactly one
// thread per cell of the (N + 2)^2 grid, as every kernel requires.
inline bool gridFits(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args, int* N, int* cells) {
    if (args.used < sizeof(int)) return false;
    std::memcpy(N, args.bytes, sizeof(int));
    if (*N < 1 || *N > 4094) return false;
    *cells = (*N + 2) * (*N + 2);
    const unsigned long long threads =
        1ULL * shape.grid.x * shape.grid.y * shape.grid.z * shape.block.x * shape.block.y * shape.block.z;
    return threads == static_cast<unsigned long long>(*cells);
}

// The arguments of each kernel, decoded. cells is the field size of the grid.
struct AddSourceArgs {
    int N, cells;
    float* x;
    const float* s;
    float dt;
};
struct DiffuseArgs {
    int N, cells, b;
    float* x;
    const float* x0;
    float diff, dt;
    const int* boundary;
};
struct AdvectArgs {
    int N, cells, b;
    float* d;
    const float *d0, *u, *v;
    float dt;
    const int* boundary;
};
struct ProjectStep1Args {
    int N, cells;
    const float *u, *v;
    float *p, *div;
    const int* boundary;
};
struct ProjectStep2Args {
    int N, cells;
    float* p;
    const float* div;
    const int* boundary;
};
struct ProjectStep3Args {
    int N, cells;
    float *u, *v;
    const float* p;
    const int* boundary;
};

// Decodes a launch of each kernel at its parameters' offsets. Returns
// cudaSuccess, or the status that refuses the launch: a shape without one
// thread per cell, a missing argument or buffer, or a written buffer that is
// also one the kernel reads.
inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, AddSourceArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->x = d.field<float>(4);
    a->s = d.field<float>(8);
    a->dt = d.scalar<float>(12);
    return d.ok ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, DiffuseArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->b = d.scalar<int>(4);
    a->x = d.field<float>(8);
    a->x0 = d.field<float>(12);
    a->diff = d.scalar<float>(16);
    a->dt = d.scalar<float>(20);
    a->boundary = d.field<int>(24);
    return d.ok && static_cast<const void*>(a->x) != a->x0 ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, AdvectArgs* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->b = d.scalar<int>(4);
    a->d = d.field<float>(8);
    a->d0 = d.field<float>(12);
    a->u = d.field<float>(16);
    a->v = d.field<float>(20);
    a->dt = d.scalar<float>(24);
    a->boundary = d.field<int>(28);
    // With b == 1 the mask is read at the neighbours along j.
    const bool distinct = a->d != a->d0 && a->d != a->u && a->d != a->v &&
                          !(a->b == 1 && static_cast<const void*>(a->d) == a->boundary);
    return d.ok && distinct ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep1Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->u = d.field<float>(4);
    a->v = d.field<float>(8);
    a->p = d.field<float>(12);
    a->div = d.field<float>(16);
    a->boundary = d.field<int>(20);
    // u, v and the mask are read at neighbouring cells.
    bool distinct = true;
    for (const void* written : {static_cast<const void*>(a->p), static_cast<const void*>(a->div)})
        distinct = distinct && written != a->u && written != a->v && written != a->boundary;
    return d.ok && distinct ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep2Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->p = d.field<float>(4);
    a->div = d.field<float>(8);
    a->boundary = d.field<int>(12);
    // The mask is read at neighbouring cells. The divergence must be a buffer
    // of its own: relaxed in place, p would be read as the divergence at this
    // sweep's values on the host and at the launch's on a device.
    const bool distinct = static_cast<const void*>(a->p) != a->boundary && a->p != a->div;
    return d.ok && distinct ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

inline fluidrt::cudaError_t decode(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args,
                                   ResolveBuffer resolve, ProjectStep3Args* a) {
    if (!gridFits(shape, args, &a->N, &a->cells)) return fluidrt::cudaErrorInvalidConfiguration;
    Decoder d{args, a->cells, resolve};
    a->u = d.field<float>(4);
    a->v = d.field<float>(8);
    a->p = d.field<float>(12);
    a->boundary = d.field<int>(16);
    // p and the mask are read at neighbouring cells.
    bool distinct = true;
    for (const void* written : {static_cast<const void*>(a->u), static_cast<const void*>(a->v)})
        distinct = distinct && written != a->p && written != a->boundary;
    return d.ok && distinct ? fluidrt::cudaSuccess : fluidrt::cudaErrorInvalidValue;
}

}  // namespace launcharguments
