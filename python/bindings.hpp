// The pieces of the module upscale, one file per class of objects.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "core/stop_error.hpp"

#include "tensor/sample.hpp"

namespace upscale_py {

// A sample held by Python: shared, never changed once built.
struct PySample {
  std::shared_ptr<const tensor::Sample> sample;
  std::string origin;  // "array", or the file it was read from
};

void bind_sample(pybind11::module_& m);
void bind_result(pybind11::module_& m);

// Raises ValueError with the sentence of a refusal of the deck reader or
// the model, its stop code as the attribute stop_code.
[[noreturn]] void raise_refusal(const core::StopError& e);

// Runs f, turning the library's refusals (core::StopError,
// std::runtime_error, std::invalid_argument) into ValueError with their
// sentence.
template <class F>
auto refusals_as_value_error(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const pybind11::error_already_set&) {
    throw;
  } catch (const core::StopError& e) {
    raise_refusal(e);
  } catch (const std::invalid_argument& e) {
    throw pybind11::value_error(e.what());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::runtime_error& e) {
    throw pybind11::value_error(e.what());
  }
}

}  // namespace upscale_py
