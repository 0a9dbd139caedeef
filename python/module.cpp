// The module upscale: rock samples from NumPy label images, sample files or
// decks, and their effective complex stiffness per frequency.
#include <pybind11/pybind11.h>

#include "core/build_info.hpp"
#include "python/bindings.hpp"

namespace upscale_py {

void raise_refusal(const core::StopError& e) {
  pybind11::object err = pybind11::reinterpret_borrow<pybind11::object>(PyExc_ValueError)(e.what());
  err.attr("stop_code") = e.code();
  PyErr_SetObject(PyExc_ValueError, err.ptr());
  throw pybind11::error_already_set();
}

}  // namespace upscale_py

PYBIND11_MODULE(upscale, m) {
  m.doc() =
      "Poroelastic upscaling: the effective complex stiffness tensor (Pa) of a 2D rock sample\n"
      "(mineral grains, ice or clay, water) per frequency, from finite-element oscillatory tests.\n\n"
      "  sample = upscale.Sample(labels, {0: sand, 1: patch}, cell_size=1e-3, model=\"ice\")\n"
      "  result = upscale.tensor(sample, freq=[1, 10, 100])\n"
      "  result.C           # (n, 3, 3) complex, Pa\n"
      "  result.velocity(0) # P velocity along the vertical, m/s\n\n"
      "SI units throughout: m, Pa, kg/m3, Hz, m/s; angles in degrees from the vertical.";
  m.attr("__version__") = core::project_version();
  upscale_py::bind_sample(m);
  upscale_py::bind_result(m);
}
