// One run of tensor_upscale: read the sample, analyse its grid once, and
// for every frequency factorise and solve the tests, then write the table,
// its plot, the run record and the asked cell fields into the output folder.
#pragma once

#include <string>

#include "tensor/options.hpp"
#include "tensor/sample.hpp"
#include "tensor/stiffness.hpp"
#include "tensor/tensor_row.hpp"

namespace tensor {

// The sample the options describe: the input (deck or sample file), then
// --labels, --freq and --lame applied to it.
Sample load_sample(const Options& o);

// The table row of one frequency: the tensor, the mean density, the waves
// along the vertical and the horizontal, and those at the asked angles.
TensorRow tensor_row(double freq_hz, const Stiffness& c, double rho, const std::vector<double>& angles);

// The run; returns the exit status (0 on success). Errors throw
// std::exception with a message naming the file or option at fault; the run
// record is written either way when the output folder can be written.
int run(const Options& o);

// Exit status of a run whose out-of-core factors found the disk full.
inline constexpr int kDiskFullStatus = 76;

}  // namespace tensor
