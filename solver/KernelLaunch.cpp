// KernelLaunch.cpp - host launch functions of the six kernels, their host
// runs, and their registration as one row each (name, host run, device run).
//
// A launch function hands its parameters over one by one as 4-byte values at
// offsets 0, 4, 8, ... and starts the kernel only when all hand-overs returned
// 0. On the host backend the launch decodes the same bytes again, resolves the
// buffer handles (refusing any that is missing or too small for the grid, and
// launches the shared decoder refuses) and runs the host backend's chosen
// realisation.
#include <cstring>

#include "DeviceRuns.h"
#include "Kernels.h"
#include "LaunchArguments.h"

using namespace fluidrt;

namespace {

// Hands the arguments over in order, 4 bytes each; false at the first refusal.
bool handOver(std::size_t) { return true; }
template <typename T, typename... Rest>
bool handOver(std::size_t offset, const T& value, const Rest&... rest) {
    static_assert(sizeof(T) == 4, "every kernel parameter is 4 bytes");
    if (cudaSetupArgument(&value, sizeof value, offset) != cudaSuccess) return false;
    return handOver(offset + sizeof value, rest...);
}

template <typename... Args>
void handOverAndLaunch(const void* entry, const Args&... args) {
    if (handOver(0, args...)) cudaLaunch(entry);
}

// Decodes a launch for the host backend; a nonzero status refuses it.
template <typename Args>
cudaError_t decodeOnHost(const LaunchShape& shape, const ArgumentBlock& args, Args* a) {
    return launcharguments::decode(shape, args, hostBufferAddress, a);
}

cudaError_t runAddSource(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::AddSourceArgs a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().addSource(a.N, a.x, a.s, a.dt);
    return cudaSuccess;
}

cudaError_t runDiffuse(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::DiffuseArgs a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().diffuse(a.N, a.b, a.x, a.x0, a.diff, a.dt, a.boundary);
    return cudaSuccess;
}

cudaError_t runAdvect(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::AdvectArgs a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().advect(a.N, a.b, a.d, a.d0, a.u, a.v, a.dt, a.boundary);
    return cudaSuccess;
}

cudaError_t runProjectStep1(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::ProjectStep1Args a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().projectStep1(a.N, a.u, a.v, a.p, a.div, a.boundary);
    return cudaSuccess;
}

cudaError_t runProjectStep2(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::ProjectStep2Args a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().projectStep2(a.N, a.p, a.div, a.boundary);
    return cudaSuccess;
}

cudaError_t runProjectStep3(const LaunchShape& shape, const ArgumentBlock& args) {
    launcharguments::ProjectStep3Args a;
    if (const cudaError_t refused = decodeOnHost(shape, args, &a)) return refused;
    activeHostKernels().projectStep3(a.N, a.u, a.v, a.p, a.boundary);
    return cudaSuccess;
}

}  // namespace

void gpuKernelAdd_Source(int N, DevicePtr gpuX, DevicePtr gpuS, float dt) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelAdd_Source), N, gpuX, gpuS, dt);
}

void gpuKernelDiffuse(int N, int b, DevicePtr gpuX, DevicePtr gpuX0, float diff, float dt, DevicePtr gpuBoundary) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelDiffuse), N, b, gpuX, gpuX0, diff, dt, gpuBoundary);
}

void gpuKernelAdvect(int N, int b, DevicePtr gpuD, DevicePtr gpuD0, DevicePtr gpuU, DevicePtr gpuV, float dt,
                     DevicePtr gpuBoundary) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelAdvect), N, b, gpuD, gpuD0, gpuU, gpuV, dt,
                      gpuBoundary);
}

void gpuKernelProjectStep1(int N, DevicePtr gpuU, DevicePtr gpuV, DevicePtr gpuP, DevicePtr gpuDiv,
                           DevicePtr gpuBoundary) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelProjectStep1), N, gpuU, gpuV, gpuP, gpuDiv,
                      gpuBoundary);
}

void gpuKernelProjectStep2(int N, DevicePtr gpuP, DevicePtr gpuDiv, DevicePtr gpuBoundary) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelProjectStep2), N, gpuP, gpuDiv, gpuBoundary);
}

void gpuKernelProjectStep3(int N, DevicePtr gpuU, DevicePtr gpuV, DevicePtr gpuP, DevicePtr gpuBoundary) {
    handOverAndLaunch(reinterpret_cast<const void*>(&gpuKernelProjectStep3), N, gpuU, gpuV, gpuP, gpuBoundary);
}

namespace {
const KernelSet* chosenHostKernels = nullptr;  // nullptr: the fast set
}  // namespace

const KernelSet& activeHostKernels() { return chosenHostKernels ? *chosenHostKernels : fastKernels(); }
void setActiveHostKernels(const KernelSet* set) { chosenHostKernels = set; }

FatBinaryHandle registerFluidImage() {
    static const char image[] = "fluid kernels";
    return registerFatBinary(image);
}

void registerFluidKernels(FatBinaryHandle handle) {
    using launcharguments::KernelId;
    using launcharguments::kernelName;
    const struct {
        const void* entry;
        KernelRow row;
    } kernels[] = {
        {reinterpret_cast<const void*>(&gpuKernelProjectStep3),
         {kernelName(KernelId::ProjectStep3), runProjectStep3, deviceRuns.projectStep3}},
        {reinterpret_cast<const void*>(&gpuKernelProjectStep2),
         {kernelName(KernelId::ProjectStep2), runProjectStep2, deviceRuns.projectStep2}},
        {reinterpret_cast<const void*>(&gpuKernelProjectStep1),
         {kernelName(KernelId::ProjectStep1), runProjectStep1, deviceRuns.projectStep1}},
        {reinterpret_cast<const void*>(&gpuKernelAdvect),
         {kernelName(KernelId::Advect), runAdvect, deviceRuns.advect}},
        {reinterpret_cast<const void*>(&gpuKernelDiffuse),
         {kernelName(KernelId::Diffuse), runDiffuse, deviceRuns.diffuse}},
        {reinterpret_cast<const void*>(&gpuKernelAdd_Source),
         {kernelName(KernelId::AddSource), runAddSource, deviceRuns.addSource}},
    };
    for (const auto& kernel : kernels) registerFunction(handle, kernel.entry, kernel.row);
}

FatBinaryHandle registerFluidKernels() {
    FatBinaryHandle handle = registerFluidImage();
    registerFluidKernels(handle);
    return handle;
}
