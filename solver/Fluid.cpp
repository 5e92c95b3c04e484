// Fluid.cpp - the host fields and one simulation step.
//
// gpuCalcFluid keeps nothing between calls: it allocates seven device buffers,
// uploads the seven fields, runs the density step (add source, diffuse,
// advect) and the velocity step (add sources, diffuse, project, advect,
// project) as fifteen launches, downloads six fields and frees the buffers.
// Between launches it swaps buffer handles in pairs instead of copying data,
// so after a step the source fields hold solver results (the diffused
// density, and the pressure and divergence of the last projection), which the
// next step adds as sources again.
#include "Fluid.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "Kernels.h"

using namespace fluidrt;

// Each field on pages of its own (65536 bytes is a whole number of pages), so
// that a backend can keep every one resident apart from the others.
constexpr std::size_t pageBytes = 4096;
static_assert(bytesPerField % pageBytes == 0, "a field fills whole pages");
alignas(pageBytes) float u[cellsPerField];
alignas(pageBytes) float v[cellsPerField];
alignas(pageBytes) float u_prev[cellsPerField];
alignas(pageBytes) float v_prev[cellsPerField];
alignas(pageBytes) float dens[cellsPerField];
alignas(pageBytes) float dens_prev[cellsPerField];
alignas(pageBytes) int boundary[cellsPerField];

float dt = 0.2f;
float diff = 0.5f;
float viscosity = 0.0f;

void resetFields() {
    for (int k = 0; k < cellsPerField; ++k) {
        u[k] = 0.0f;
        u_prev[k] = 0.0f;
        v[k] = 0.0f;
        v_prev[k] = 0.0f;
        dens[k] = 0.0f;
        dens_prev[k] = 0.0f;
        boundary[k] = 0;
    }
}

namespace {

// A failed allocation, copy or free ends the process with its message,
// "In <function>: <operation> <buffer> failed.", and nothing else. The flush
// matters when standard output is a pipe.
void check(cudaError_t status, const char* function, const char* operation, const char* buffer) {
    if (status == cudaSuccess) return;
    std::printf("In %s: %s %s failed.\n", function, operation, buffer);
    std::fflush(stdout);
    std::exit(1);
}

// One field as the driver moves it: the host array, the handle of its device
// buffer (which the swaps below exchange), and the names its messages use.
struct Field {
    void* host;
    DevicePtr* device;
    const char* hostName;    // in the download's message
    const char* deviceName;  // in the allocation's, upload's and free's
    // The function that the upload's and the free's messages name. It is
    // gpuProject, not gpuCalcFluid, for the obstacle mask on purpose: those
    // two messages are the program's fixed messages for these two faults,
    // word for word, and the fault tests pin them. They are not a slip to
    // tidy up.
    const char* uploadAndFreeIn;
    bool downloaded;  // the mask is not copied back
};

}  // namespace

void gpuCalcFluid() {
    DevicePtr gpuU, gpuV, gpuUPrev, gpuVPrev, gpuDens, gpuDensPrev, gpuBoundary;
    // Allocated, uploaded, downloaded and freed in this order.
    const Field fields[] = {
        {u, &gpuU, "u", "gpuU", "gpuCalcFluid", true},
        {v, &gpuV, "v", "gpuV", "gpuCalcFluid", true},
        {u_prev, &gpuUPrev, "u_prev", "gpuUPrev", "gpuCalcFluid", true},
        {v_prev, &gpuVPrev, "v_prev", "gpuVPrev", "gpuCalcFluid", true},
        {dens, &gpuDens, "dens", "gpuDens", "gpuCalcFluid", true},
        {dens_prev, &gpuDensPrev, "dens_prev", "gpuDensPrev", "gpuCalcFluid", true},
        {boundary, &gpuBoundary, "boundary", "gpuBoundary", "gpuProject", false},
    };

    // Copied every step: worth keeping resident where the backend can.
    for (const Field& f : fields) keepHostRangeResident(f.host, bytesPerField);
    for (const Field& f : fields)
        check(cudaMalloc(f.device, bytesPerField), "gpuCalcFluid", "cudaMalloc for", f.deviceName);
    for (const Field& f : fields)
        check(cudaMemcpy(*f.device, f.host, bytesPerField, cudaMemcpyHostToDevice), f.uploadAndFreeIn,
              "cudaMemcpy for", f.deviceName);

    const dim3 block(threadsPerGroup, 1, 1);
    const dim3 grid(launchGroups, 1, 1);
    // Every launch: configure, and only then hand over and start. A refused
    // configuration or hand-over skips that one kernel without a word.
    auto configured = [&] { return cudaConfigureCall(grid, block, 0, 0) == cudaSuccess; };

    // Density step.
    if (configured()) gpuKernelAdd_Source(N, gpuDens, gpuDensPrev, dt);
    std::swap(gpuDensPrev, gpuDens);
    if (configured()) gpuKernelDiffuse(N, 1, gpuDens, gpuDensPrev, diff, dt, gpuBoundary);
    std::swap(gpuDensPrev, gpuDens);
    if (configured()) gpuKernelAdvect(N, 1, gpuDens, gpuDensPrev, gpuU, gpuV, dt, gpuBoundary);

    // Velocity step; gpuUPrev and gpuVPrev serve as pressure and divergence.
    if (configured()) gpuKernelAdd_Source(N, gpuU, gpuUPrev, dt);
    if (configured()) gpuKernelAdd_Source(N, gpuV, gpuVPrev, dt);
    std::swap(gpuUPrev, gpuU);
    if (configured()) gpuKernelDiffuse(N, 0, gpuU, gpuUPrev, viscosity, dt, gpuBoundary);
    std::swap(gpuVPrev, gpuV);
    if (configured()) gpuKernelDiffuse(N, 0, gpuV, gpuVPrev, viscosity, dt, gpuBoundary);
    if (configured()) gpuKernelProjectStep1(N, gpuU, gpuV, gpuUPrev, gpuVPrev, gpuBoundary);
    if (configured()) gpuKernelProjectStep2(N, gpuUPrev, gpuVPrev, gpuBoundary);
    if (configured()) gpuKernelProjectStep3(N, gpuU, gpuV, gpuUPrev, gpuBoundary);
    std::swap(gpuUPrev, gpuU);
    std::swap(gpuVPrev, gpuV);
    if (configured()) gpuKernelAdvect(N, 0, gpuU, gpuUPrev, gpuUPrev, gpuVPrev, dt, gpuBoundary);
    if (configured()) gpuKernelAdvect(N, 0, gpuV, gpuVPrev, gpuUPrev, gpuVPrev, dt, gpuBoundary);
    if (configured()) gpuKernelProjectStep1(N, gpuU, gpuV, gpuUPrev, gpuVPrev, gpuBoundary);
    if (configured()) gpuKernelProjectStep2(N, gpuUPrev, gpuVPrev, gpuBoundary);
    if (configured()) gpuKernelProjectStep3(N, gpuU, gpuV, gpuUPrev, gpuBoundary);

    // Each name's buffer as the swaps left it.
    for (const Field& f : fields)
        if (f.downloaded)
            check(cudaMemcpy(f.host, *f.device, bytesPerField, cudaMemcpyDeviceToHost), "gpuCalcFluid",
                  "cudaMemcpy back to host for", f.hostName);
    for (const Field& f : fields) check(cudaFree(*f.device), f.uploadAndFreeIn, "cudaFree", f.deviceName);
}
