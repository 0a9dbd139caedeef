// tensor_upscale: the effective complex stiffness tensor of a poroelastic
// sample per frequency (README, doc/tensor.md).
#include <cstdio>
#include <exception>

#include "core/build_info.hpp"
#include "core/stop_error.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/options.hpp"
#include "tensor/run.hpp"

int main(int argc, char** argv) {
  tensor::Options o;
  try {
    o = tensor::parse_options(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tensor_upscale: %s\n%s", e.what(), tensor::usage());
    return 2;
  }
  if (o.help) {
    std::fputs(tensor::usage(), stdout);
    return 0;
  }
  if (o.version) {
    std::printf("tensor_upscale %s (%s)\n", core::project_version(), core::project_commit());
    return 0;
  }
  try {
    // Under mpirun (or for a plan) every rank runs the same job.
    if (tensor::runs_as_job(o)) return tensor::run_as_job(argc, argv, o);
    return tensor::run(o);
  } catch (const core::StopError& e) {
    core::end_run(e);  // the sentence, "STOP <code>" and the code's status
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tensor_upscale: %s\n", e.what());
    return 1;
  }
}
