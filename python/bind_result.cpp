// upscale.tensor and its result.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/complex.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <complex>
#include <memory>

#include "python/bindings.hpp"
#include "python/cancel.hpp"
#include "python/spectrum.hpp"
#include "tensor/io.hpp"
#include "tensor/velocities.hpp"

namespace py = pybind11;

namespace upscale_py {

namespace {

struct Result {
  Spectrum spectrum;
};

// The boundary conditions of the tests: periodic (the rock as the endless
// repetition of the sample, the whole tensor) or sealed (the biaxial and
// shear tests of a sealed sample).
tensor::Boundary boundary_of(const std::string& b) {
  if (b == "periodic") return tensor::Boundary::periodic;
  if (b == "sealed") return tensor::Boundary::sealed;
  throw py::value_error("boundary = \"" + b + "\"; expected \"periodic\" or \"sealed\"");
}

tensor::TestChoice tests_of(const std::string& t, tensor::Boundary b) {
  if (t == "tensor") return {true, true, b};
  if (t == "p") return {true, false, b};
  if (t == "s") return {false, true, b};
  throw py::value_error("tests = \"" + t + "\"; expected \"tensor\", \"p\" or \"s\"");
}

tensor::LameRelations lame_of(const py::object& lame, const tensor::Sample& s) {
  if (lame.is_none()) return s.lame;
  const std::string l = py::cast<std::string>(py::str(lame));
  if (l == "2d") return tensor::LameRelations::two_d;
  if (l == "3d") return tensor::LameRelations::three_d;
  throw py::value_error("lame = \"" + l + "\"; expected \"2d\" or \"3d\"");
}

std::vector<double> reals(const py::object& v, const char* what) {
  py::array a = py::array::ensure(v);
  if (!a || (a.dtype().kind() != 'f' && a.dtype().kind() != 'i' && a.dtype().kind() != 'u'))
    throw py::type_error(std::string(what) + " must be a number or a 1-D array of numbers");
  if (a.ndim() > 1) throw py::value_error(std::string(what) + " must be a number or a 1-D array, got " +
                                          std::to_string(a.ndim()) + " dimensions");
  auto d = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  return {d.data(), d.data() + d.size()};
}

tensor::FrequencyMethod method_of(const py::object& m) {
  if (m.is_none()) return tensor::FrequencyMethod::automatic;
  const std::string name = py::isinstance<py::str>(m) ? py::cast<std::string>(m) : std::string(py::str(m));
  if (name == "reduced") return tensor::FrequencyMethod::reduced;
  if (name == "direct") return tensor::FrequencyMethod::direct;
  throw py::value_error("frequency_method = " + name + "; expected \"reduced\", \"direct\" or None");
}

// Progress on standard error, as the program prints it.
void say_step(const Step& s) {
  std::fprintf(stderr, "upscale: frequency %zu/%zu (%.6g Hz): factorising the %s test\n", s.frequency_index + 1,
               s.frequencies, s.freq_hz, s.test);
}

// The Python side of a computation: progress and Ctrl-C. Called on the
// computing thread without the GIL; takes it for the Python calls. A
// Python exception (KeyboardInterrupt, or one the progress callable raises)
// is kept and the computation cancelled.
class Watch {
 public:
  Watch(const py::object& progress) {
    const py::module_ threading = py::module_::import("threading");
    main_thread_ = threading.attr("main_thread")().is(threading.attr("current_thread")());
    if (progress.is_none() || (py::isinstance<py::bool_>(progress) && !progress.cast<bool>())) return;
    if (py::isinstance<py::bool_>(progress)) {
      try {
        bar_factory_ = py::module_::import("tqdm").attr("tqdm");
      } catch (const py::error_already_set&) {
        lines_ = true;
      }
    } else if (PyCallable_Check(progress.ptr())) {
      callable_ = progress;
    } else {
      throw py::type_error("progress must be None, True or a callable progress(done, total, message)");
    }
  }
  ~Watch() {
    py::gil_scoped_acquire hold;
    if (bar_) bar_.attr("close")();
    bar_ = py::object(), callable_ = py::object(), bar_factory_ = py::object();
  }
  void step(const Step& s) {
    if (lines_) say_step(s);
    if (!callable_ && !bar_factory_) return;
    py::gil_scoped_acquire hold;
    guarded([&] {
      char msg[160];
      std::snprintf(msg, sizeof msg, "frequency %zu/%zu (%.6g Hz): %s test", s.frequency_index + 1, s.frequencies,
                    s.freq_hz, s.test);
      if (callable_) callable_(s.done, s.total, msg);
      if (bar_factory_ && !bar_) bar_ = bar_factory_(py::arg("total") = s.total, py::arg("unit") = "factorisation");
      if (bar_) {
        bar_.attr("set_description_str")(msg);
        if (s.done > 0) bar_.attr("update")(1);
      }
    });
  }
  bool interrupted() {
    if (!main_thread_) return false;
    py::gil_scoped_acquire hold;
    guarded([] {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
    return false;
  }
  // Raises the kept Python exception, if any (with the GIL).
  void raise_kept() {
    if (kept_) {
      std::unique_ptr<py::error_already_set> e = std::move(kept_);
      e->restore();
      throw py::error_already_set();
    }
  }

 private:
  template <class F>
  void guarded(F&& f) {
    try {
      f();
    } catch (py::error_already_set& e) {
      kept_ = std::make_unique<py::error_already_set>(std::move(e));
      throw Cancelled();
    }
  }
  bool main_thread_ = false, lines_ = false;
  py::object callable_, bar_factory_, bar_;
  std::unique_ptr<py::error_already_set> kept_;
};

py::object make_result(Spectrum&& s) { return py::cast(Result{std::move(s)}); }

Spectrum run(const tensor::Sample& sample, const SpectrumRequest& request, Watch& watch,
             std::vector<std::string>& warnings) {
  Poll poll([&watch] { return watch.interrupted(); }, std::chrono::milliseconds(50));
  SpectrumCallbacks cb;
  cb.step = [&watch, &poll](const Step& s) {
    watch.step(s);
    poll.now();
  };
  cb.poll = [&poll] { poll(); };
  cb.warning = [&warnings](const std::string& w) { warnings.push_back(w); };
  py::gil_scoped_release free;
  return compute_spectrum(sample, request, cb);
}

py::object tensor_of(const PySample& ps, const py::object& freq, const py::object& boundary, const py::object& lame,
                     const std::string& tests, const py::object& threads, bool estimate_error,
                     const py::object& progress, const py::object& angles, const py::object& frequency_method,
                     double reduced_tolerance) {
  const std::shared_ptr<const tensor::Sample> sample = ps.sample;
  SpectrumRequest r;
  r.frequencies = freq.is_none() ? sample->frequencies : reals(freq, "freq");
  // None: the sample file's boundary key, else periodic, as tensor_upscale.
  const tensor::Boundary b = !boundary.is_none()  ? boundary_of(py::cast<std::string>(boundary))
                             : sample->boundary ? *sample->boundary
                                                : tensor::Boundary::periodic;
  r.tests = tests_of(tests, b);
  r.lame = lame_of(lame, *sample);
  if (!threads.is_none() && (!py::isinstance<py::int_>(threads) || py::isinstance<py::bool_>(threads)))
    throw py::type_error("threads must be a whole number of threads or None (every core)");
  r.threads = threads.is_none() ? 0 : py::cast<int>(threads);
  r.estimate_error = estimate_error;
  r.angles = angles.is_none() ? std::vector<double>{} : reals(angles, "angles");
  r.frequency_method = method_of(frequency_method);
  r.reduced_tolerance = reduced_tolerance;
  if (const std::string why = request_refusal(r); !why.empty()) throw py::value_error(why);
  Watch watch(progress);
  std::vector<std::string> warnings;
  // The grid's warnings as Python warnings, once the computation has ended.
  struct WarnAtEnd {
    std::vector<std::string>& w;
    ~WarnAtEnd() {
      const py::object category = py::module_::import("upscale").attr("ResolutionWarning");
      for (const std::string& m : w) {
        const std::string text = m.rfind("warning: ", 0) == 0 ? m.substr(9) : m;
        if (PyErr_WarnEx(category.ptr(), text.c_str(), 1) != 0) PyErr_Clear();
      }
    }
  } warn_at_end{warnings};
  try {
    return make_result(run(*sample, r, watch, warnings));
  } catch (const Cancelled&) {
    watch.raise_kept();
    throw;
  } catch (NoCertainDigit& e) {
    py::object err = py::module_::import("upscale").attr("NoCertainDigitError")(e.what());
    err.attr("result") = make_result(std::move(e.spectrum));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(err.ptr())), err.ptr());
    throw py::error_already_set();
  } catch (const engine::OutOfMemory& e) {
    PyErr_SetString(PyExc_MemoryError, e.what());
    throw py::error_already_set();
  } catch (const core::StopError& e) {
    raise_refusal(e);
  } catch (const std::invalid_argument& e) {
    throw py::value_error(e.what());
  }
}

py::array_t<double> column(const Result& r, double (*get)(const tensor::TensorRow&)) {
  py::array_t<double> a(static_cast<py::ssize_t>(r.spectrum.rows.size()));
  for (std::size_t i = 0; i < r.spectrum.rows.size(); ++i) a.mutable_at(i) = get(r.spectrum.rows[i]);
  return a;
}

// A further column by name (NaN where a row lacks it).
py::array_t<double> extra_column(const Result& r, const std::string& name) {
  py::array_t<double> a(static_cast<py::ssize_t>(r.spectrum.rows.size()));
  for (std::size_t i = 0; i < r.spectrum.rows.size(); ++i) {
    a.mutable_at(i) = std::nan("");
    for (const tensor::Column& c : r.spectrum.rows[i].extra)
      if (c.name == name) a.mutable_at(i) = c.value;
  }
  return a;
}

std::complex<double> z(core::zcomplex c) { return {c.re, c.im}; }

py::array_t<std::complex<double>> stiffness(const Result& r) {
  const py::ssize_t n = static_cast<py::ssize_t>(r.spectrum.rows.size());
  py::array_t<std::complex<double>> a({n, py::ssize_t{3}, py::ssize_t{3}});
  auto v = a.mutable_unchecked<3>();
  for (py::ssize_t i = 0; i < n; ++i) {
    const tensor::TensorRow& t = r.spectrum.rows[static_cast<std::size_t>(i)];
    for (py::ssize_t p = 0; p < 3; ++p)
      for (py::ssize_t q = 0; q < 3; ++q) v(i, p, q) = 0;
    v(i, 0, 0) = z(t.c11), v(i, 0, 1) = z(t.c13), v(i, 1, 0) = z(t.c31), v(i, 1, 1) = z(t.c33), v(i, 2, 2) = z(t.c55);
    // The coupling moduli: measured by the periodic test only, NaN (absent) under sealed boundaries.
    v(i, 0, 2) = z(t.c15), v(i, 1, 2) = z(t.c35), v(i, 2, 0) = z(t.c51), v(i, 2, 1) = z(t.c53);
  }
  return a;
}

// The wave of every frequency at every angle: (n,) for a number, (n, m) for m angles.
py::array_t<double> wave_table(const Result& r, const py::object& theta, const std::string& wave, bool q) {
  if (wave != "p" && wave != "sv") throw py::value_error("wave = \"" + wave + "\"; expected \"p\" or \"sv\"");
  const std::vector<double> angles = reals(theta, "theta");
  for (const double a : angles)
    if (!std::isfinite(a)) throw py::value_error("theta = " + std::to_string(a) + " is not a finite angle (degrees)");
  const bool scalar = py::array::ensure(theta).ndim() == 0;
  const py::ssize_t n = static_cast<py::ssize_t>(r.spectrum.rows.size()), m = static_cast<py::ssize_t>(angles.size());
  py::array_t<double> out(scalar ? std::vector<py::ssize_t>{n} : std::vector<py::ssize_t>{n, m});
  double* o = out.mutable_data();
  for (py::ssize_t i = 0; i < n; ++i)
    for (py::ssize_t k = 0; k < m; ++k) {
      const tensor::Stiffness& c = r.spectrum.stiffness[static_cast<std::size_t>(i)];
      const tensor::PSVWaves w = tensor::christoffel(c, angles[static_cast<std::size_t>(k)]);
      const tensor::Wave v = tensor::wave_of(wave == "p" ? w.p : w.sv, r.spectrum.rho);
      o[i * m + k] = q ? v.q1000 : v.velocity;
    }
  return out;
}

py::dict error_estimates(const Result& r) {
  py::dict d;
  if (r.spectrum.rows.empty()) return d;
  for (const tensor::Column& c : r.spectrum.rows.front().extra)
    if (c.name.rfind("err_", 0) == 0) d[py::str(c.name.substr(4))] = extra_column(r, c.name);
  return d;
}

py::dict columns(const Result& r) {
  py::dict d;
  if (r.spectrum.rows.empty()) return d;
  for (const tensor::Column& c : r.spectrum.rows.front().extra) d[py::str(c.name)] = extra_column(r, c.name);
  return d;
}

py::dict statistics(const Result& r) {
  const engine::Statistics& s = r.spectrum.statistics;
  py::dict d;
  d["unknowns"] = s.n, d["factor_entries"] = s.factor_entries, d["flops"] = s.flops;
  d["memory_bytes"] = s.memory_bytes, d["ordering"] = s.ordering;
  d["analyse_seconds"] = s.analyse_seconds, d["factorise_seconds"] = s.factorise_seconds;
  return d;
}

py::object to_xarray(const py::object& self) {
  py::module_ xr;
  try {
    xr = py::module_::import("xarray");
  } catch (const py::error_already_set&) {
    throw py::import_error("to_xarray needs xarray, which is not installed");
  }
  const Result& r = self.cast<const Result&>();
  py::dict vars, coords;
  coords["freq"] = column(r, [](const tensor::TensorRow& t) { return t.freq_hz; });
  coords["i"] = py::make_tuple("xx", "zz", "xz");
  coords["j"] = py::make_tuple("xx", "zz", "xz");
  vars["C"] = py::make_tuple(py::make_tuple("freq", "i", "j"), stiffness(r), py::dict(py::arg("units") = "Pa"));
  for (const char* name : {"vp0", "vp90", "vs0"})
    vars[name] = py::make_tuple("freq", self.attr(name), py::dict(py::arg("units") = "m/s"));
  for (const char* name : {"q1000_p0", "q1000_p90", "q1000_s0"}) vars[name] = py::make_tuple("freq", self.attr(name));
  for (const auto& [k, v] : columns(r)) vars[k] = py::make_tuple("freq", v);
  py::dict attrs;
  attrs["rho"] = r.spectrum.rho;
  attrs["rho_units"] = "kg/m^3";
  return xr.attr("Dataset")(vars, coords, attrs);
}

}  // namespace

void bind_result(py::module_& m) {
  py::register_exception<NoCertainDigit>(m, "NoCertainDigitError", PyExc_ArithmeticError);
  m.attr("ResolutionWarning") = py::handle(PyExc_UserWarning).attr("__class__")(
      "ResolutionWarning", py::make_tuple(py::handle(PyExc_UserWarning)),
      py::dict(py::arg("__doc__") = "The grid does not resolve the diffusion length of the fluid pressure: "
                                    "expect an error in 1000/Q (the message says how much).",
               py::arg("__module__") = "upscale"));
  py::class_<Result>(m, "Result",
                     "The effective stiffness of a sample per frequency, with its waves and error bars.\n"
                     "C is (n, 3, 3) complex, Pa, in Voigt order (xx, zz, xz): mean stress = C : mean strain,\n"
                     "z vertical; C[:, 1, 0] is C31, the check of C13.")
      .def_property_readonly("freq", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.freq_hz; }); },
                             "frequencies, Hz (n,)")
      .def_property_readonly("C", &stiffness, "stiffness (n, 3, 3), complex, Pa")
      .def_property_readonly("rho", [](const Result& r) { return r.spectrum.rho; }, "mean density, kg/m3")
      .def_property_readonly("frequency_method", [](const Result& r) { return r.spectrum.plan.method; },
                             "\"reduced\" (a reduced sweep) or \"direct\" (a factorisation per frequency)")
      .def_property_readonly("full_factorisations", [](const Result& r) { return r.spectrum.plan.full_factorisations; },
                             "factorisations of the tests' matrices on the sample's grid")
      .def_property_readonly("vp0", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.vp0; }); },
                             "P velocity along the vertical, m/s")
      .def_property_readonly("vp90", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.vp90; }); },
                             "P velocity along x, m/s")
      .def_property_readonly("vs0", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.vs0; }); },
                             "S velocity along the vertical, m/s")
      .def_property_readonly("q1000_p0", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.q1000_p0; }); })
      .def_property_readonly("q1000_p90", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.q1000_p90; }); })
      .def_property_readonly("q1000_s0", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.q1000_s0; }); })
      .def_property_readonly("backward_error", [](const Result& r) { return column(r, [](const tensor::TensorRow& t) { return t.backward_error; }); },
                             "worst componentwise backward error of each frequency's solves")
      .def_property_readonly("condition_estimate", [](const Result& r) { return extra_column(r, "condition_estimate"); },
                             "largest Skeel-Rohn condition estimate of each frequency's solves")
      .def_property_readonly("forward_error_bound", [](const Result& r) { return extra_column(r, "forward_error_bound"); },
                             "largest relative error bound of C11, C13, C33, C55 (rounding)")
      .def_property_readonly("cells_per_diffusion_length",
                             [](const Result& r) { return extra_column(r, "cells_per_diffusion_length"); },
                             "smallest diffusion length of the cells over the cell side")
      .def_property_readonly("error_estimate", &error_estimates,
                             "Richardson estimates of the discretisation error, Pa, per modulus (c11, ...): \n"
                             "4/3 of the change on the grid refined by 2; empty unless estimate_error=True")
      .def_property_readonly("columns", &columns, "every further column of tensor.csv by name")
      .def_property_readonly("statistics", &statistics, "the sparse engine's counts for the sample's grid")
      .def("velocity", [](const Result& r, const py::object& theta, const std::string& wave) { return wave_table(r, theta, wave, false); },
           py::arg("theta"), py::arg("wave") = "p",
           "phase velocity, m/s, of the P (or SV) wave at theta degrees from the vertical: (n,) or (n, len(theta))")
      .def("q1000", [](const Result& r, const py::object& theta, const std::string& wave) { return wave_table(r, theta, wave, true); },
           py::arg("theta"), py::arg("wave") = "p", "1000/Q of the P (or SV) wave at theta degrees from the vertical")
      .def("to_csv", [](const Result& r, const std::string& path) {
             py::gil_scoped_release free;
             refusals_as_value_error([&] { tensor::write_tensor_csv(path, r.spectrum.rows); return 0; });
           }, py::arg("path"), "writes tensor.csv as tensor_upscale writes it (full precision)")
      .def("to_xarray", &to_xarray, "an xarray.Dataset over freq (needs xarray)")
      .def("__len__", [](const Result& r) { return r.spectrum.rows.size(); })
      .def("__repr__", [](const Result& r) {
        return "upscale.Result(" + std::to_string(r.spectrum.rows.size()) + " frequencies)";
      });
  m.def("tensor", &tensor_of, py::arg("sample"), py::arg("freq") = py::none(), py::kw_only(),
        py::arg("boundary") = py::none(), py::arg("lame") = py::none(), py::arg("tests") = "tensor",
        py::arg("threads") = py::none(), py::arg("estimate_error") = false, py::arg("progress") = py::none(),
        py::arg("angles") = py::none(), py::arg("frequency_method") = py::none(), py::arg("reduced_tolerance") = 1e-8,
        "tensor(sample, freq=None, *, boundary=None, lame=None, tests=\"tensor\", threads=None,\n"
        "       estimate_error=False, progress=None, angles=None, frequency_method=None,\n"
        "       reduced_tolerance=1e-8) -> Result\n\n"
        "The effective complex stiffness (Pa) of the sample at each frequency (Hz; None: the sample\n"
        "file's or deck's). boundary \"periodic\" (the sample repeated without end: the whole\n"
        "tensor, C15 and C35 included), \"sealed\" (a sealed sample: C15, C35 NaN) or None (the\n"
        "sample file's boundary key, else periodic, as tensor_upscale). lame \"2d\" or \"3d\" (None: the sample's, else 2d); tests \"tensor\", \"p\"\n"
        "(biaxial only) or \"s\" (shear only); threads None for every core; estimate_error adds\n"
        "Richardson estimates from the grid refined by 2; progress None, True (a tqdm bar, or lines\n"
        "on stderr) or a callable progress(done, total, message); angles (degrees) add the\n"
        "vp_A, q1000_p_A, vsv_A, q1000_sv_A columns of tensor.csv. frequency_method \"reduced\" (a few\n"
        "factorisations and a certified reduced system, every frequency within reduced_tolerance),\n"
        "\"direct\" (one factorisation per frequency) or None (reduced from 8 frequencies, as\n"
        "tensor_upscale); Result.frequency_method says which was used. The GIL is released while\n"
        "solving; Ctrl-C stops the computation with KeyboardInterrupt. A modulus without a\n"
        "certain digit raises NoCertainDigitError, whose .result holds the frequencies so far.");
}

}  // namespace upscale_py
