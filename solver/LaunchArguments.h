// LaunchArguments.h - reading a kernel launch's handed-over arguments back.
//
// A launch function hands every parameter over as 4 bytes at offsets 0, 4,
// 8, ... A backend decodes the same bytes: scalars are copied out, buffer
// handles are turned into addresses by the backend's own lookup, which refuses
// a handle that names no buffer large enough for the grid. Any missing byte or
// unusable handle marks the whole launch as refused.
#pragma once

#include <cstring>

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

}  // namespace launcharguments
