// Fluid.h - the simulation grid, its seven fields and the one-step driver.
//
// The grid is 128 x 128 cells: N = 126 interior cells per side and a one-cell
// border. Cell (i, j) lives at element IX(i, j) = i + 128 * j of every field;
// i is the fast index. The host keeps the fields for the life of the process;
// gpuCalcFluid copies them to the device, runs one time step as fifteen kernel
// launches and copies the results back.
#pragma once

constexpr int N = 126;  // interior cells per side; fixed

// The program's fixed sizes: a field's cells and bytes, and the launch shape
// of every kernel (launchGroups groups of threadsPerGroup threads, thread
// t = group * threadsPerGroup + lane). They are written as numbers, not
// computed from N, and agree with N only for N = 126; the assertions below
// hold them to it.
constexpr int cellsPerField = 16384;  // (N + 2)^2
constexpr int bytesPerField = 65536;  // cellsPerField * 4
constexpr int launchGroups = 512;
constexpr int threadsPerGroup = 32;
static_assert(cellsPerField == (N + 2) * (N + 2), "a field holds the (N + 2)^2 cells of the grid");
static_assert(bytesPerField == cellsPerField * sizeof(float) && sizeof(float) == sizeof(int),
              "a field's buffer holds its cells of 4 bytes");
static_assert(launchGroups * threadsPerGroup == cellsPerField, "a launch runs one thread per cell");

inline int IX(int i, int j) { return i + (N + 2) * j; }

extern float u[cellsPerField];          // velocity along i
extern float v[cellsPerField];          // velocity along j
extern float u_prev[cellsPerField];     // source of u; solver scratch after a step
extern float v_prev[cellsPerField];     // source of v; solver scratch after a step
extern float dens[cellsPerField];       // density, the quantity that is drawn
extern float dens_prev[cellsPerField];  // source of dens; diffused density after a step
extern int boundary[cellsPerField];     // obstacle mask: 0 fluid, nonzero solid

extern float dt;         // time step, 0.2
extern float diff;       // density diffusion rate, 0.5
extern float viscosity;  // velocity diffusion rate, 0.0

// Sets every element of all seven fields to zero.
void resetFields();

// Advances the simulation by one time step on the device. Any failed
// allocation, copy or free prints its message and ends the process (status 1).
void gpuCalcFluid();
