// upscale.Material and upscale.Sample.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <mutex>

#include "python/bindings.hpp"
#include "python/sample_build.hpp"
#include "tensor/deck_sample.hpp"
#include "tensor/io.hpp"
#include "tensor/material_fields.hpp"

namespace py = pybind11;

namespace upscale_py {

namespace {

// A field value: a real number (a Python int or float, a NumPy scalar).
double field_value(const std::string& material, const std::string& key, const py::handle& v) {
  if (py::isinstance<py::bool_>(v) || !(py::isinstance<py::float_>(v) || py::isinstance<py::int_>(v) ||
                                         py::hasattr(v, "__float__")))
    throw py::type_error("in material \"" + material + "\": " + key + " must be a number, got " +
                         std::string(py::str(py::type::of(v).attr("__name__"))));
  return py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(v)));
}

MaterialSpec material_from_dict(const py::dict& d) {
  MaterialSpec m;
  if (d.contains("name")) m.name = py::cast<std::string>(py::str(d["name"]));
  const std::string shown = m.name.empty() ? "(unnamed)" : m.name;
  for (const auto& [k, v] : d) {
    const std::string key = py::cast<std::string>(py::str(k));
    if (key == "name") continue;
    m.fields.emplace_back(key, field_value(shown, key, v));
  }
  if (const std::string why = unknown_field(shown, m.fields); !why.empty()) throw py::type_error(why);
  return m;
}

// A mapping value: a Material or a dict of fields.
MaterialSpec material_of(const py::handle& v, int64_t label) {
  MaterialSpec m;
  if (py::isinstance<MaterialSpec>(v)) m = py::cast<MaterialSpec>(v);
  else if (py::isinstance<py::dict>(v)) m = material_from_dict(py::reinterpret_borrow<py::dict>(v));
  else
    throw py::type_error("the material of label " + std::to_string(label) + " must be an upscale.Material or a dict, got " +
                         std::string(py::str(py::type::of(v).attr("__name__"))));
  m.label = label;
  return m;
}

py::array checked_array(const py::handle& a, const char* what, const char* kinds, const char* expected) {
  py::array arr = py::array::ensure(a);
  if (!arr) throw py::type_error(std::string(what) + " must be a NumPy array of " + expected);
  const char kind = arr.dtype().kind();
  if (std::string(kinds).find(kind) == std::string::npos)
    throw py::type_error(std::string(what) + " must be an array of " + expected + ", got dtype " +
                         std::string(py::str(arr.dtype())));
  if (arr.ndim() != 2)
    throw py::value_error(std::string(what) + " must be a 2-D array (rows from the top), got " +
                          std::to_string(arr.ndim()) + " dimension(s)");
  return arr;
}

template <class T>
tensor::Image<T> image_of(const py::array& a) {
  auto c = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!c) throw py::type_error("the array cannot be converted");
  tensor::Image<T> im;
  im.height = c.shape(0), im.width = c.shape(1);
  im.values.assign(c.data(), c.data() + c.size());
  return im;
}

PySample sample_from_arrays(const py::handle& labels, const py::dict& materials, double cell_size,
                            const std::string& model, const py::object& water) {
  const int32_t key = refusals_as_value_error([&] { return model_key(model); });
  const py::array l = checked_array(labels, "labels", "iu", "integers (the material labels)");
  if (l.dtype().kind() == 'u' && l.itemsize() == 8 && l.size() > 0 &&
      py::cast<uint64_t>(l.attr("max")()) > static_cast<uint64_t>(INT64_MAX))
    throw py::value_error("labels: a label is beyond 64-bit signed integers, which no material carries");
  std::vector<MaterialSpec> specs;
  for (const auto& [k, v] : materials) {
    if (!py::isinstance<py::int_>(k) || py::isinstance<py::bool_>(k))
      throw py::type_error("materials: the keys must be integer labels, got " +
                           std::string(py::str(py::type::of(k).attr("__name__"))));
    specs.push_back(material_of(v, py::cast<int64_t>(k)));
  }
  tensor::Image<double> w;
  if (!water.is_none()) w = image_of<double>(checked_array(water, "water", "f", "floating-point water proportions"));
  const tensor::Image<int64_t> im = image_of<int64_t>(l);
  tensor::Sample s = refusals_as_value_error([&] { return make_sample(im, specs, cell_size, key, w); });
  return PySample{std::make_shared<const tensor::Sample>(std::move(s)), "array"};
}

// The deck reader silences standard output while it reads: one at a time.
std::mutex deck_reading;

PySample sample_from_deck(const std::string& path) {
  std::lock_guard<std::mutex> hold(deck_reading);
  tensor::Sample s = refusals_as_value_error([&] { return tensor::read_deck_sample(path); });
  return PySample{std::make_shared<const tensor::Sample>(std::move(s)), path};
}

PySample sample_from_file(const std::string& path) {
  tensor::Sample s;
  {
    py::gil_scoped_release free;  // images can be large
    s = refusals_as_value_error([&] { return tensor::read_sample_file(path); });
  }
  return PySample{std::make_shared<const tensor::Sample>(std::move(s)), path};
}

// The label of each cell, top row first, as the images hold it.
py::array_t<int32_t> labels_of(const tensor::Sample& s) {
  py::array_t<int32_t> a({s.ny, s.nx});
  auto v = a.mutable_unchecked<2>();
  for (int64_t y = 0; y < s.ny; ++y)
    for (int64_t x = 0; x < s.nx; ++x) {
      const int32_t m = s.material_of_cell[static_cast<std::size_t>(x + (s.ny - 1 - y) * s.nx)];
      v(y, x) = s.materials[static_cast<std::size_t>(m - 1)].label;
    }
  return a;
}

py::array_t<double> water_of(const tensor::Sample& s) {
  py::array_t<double> a({s.ny, s.nx});
  auto v = a.mutable_unchecked<2>();
  for (int64_t y = 0; y < s.ny; ++y)
    for (int64_t x = 0; x < s.nx; ++x) {
      const std::size_t c = static_cast<std::size_t>(x + (s.ny - 1 - y) * s.nx);
      v(y, x) = s.water_of_cell.empty() ? s.materials[static_cast<std::size_t>(s.material_of_cell[c] - 1)].phi_layer1
                                        : s.water_of_cell[c];
    }
  return a;
}

py::dict material_dict(const tensor::Material& m, int32_t key_model) {
  py::dict d;
  d["name"] = m.name;
  for (const tensor::MaterialField& f : tensor::material_fields())
    if (tensor::model_needs(f, key_model)) d[f.name] = m.*f.member;
  return d;
}

void bind_material(py::module_& m) {
  py::class_<MaterialSpec>(m, "Material",
                           "One material of a sample: the nineteen reals of a deck's layer record under the deck's\n"
                           "names and SI units (akf Pa, ro2 kg/m3, eta Pa s, ro1 kg/m3, ro3 kg/m3, phi_a, phi_layer1,\n"
                           "capa_1_0 m2, capa_3_0 m2, s3, rs1 m, rs3 m, coef_b13, ak_air Pa, xmu_air Pa, ak_s1 Pa,\n"
                           "xmu_s1 Pa, ak_s3 Pa, xmu_s3 Pa) and an optional name. Fields the model does not use may\n"
                           "be left out; the values are checked against the deck's ranges when the Sample is built.\n\n"
                           "  Material(name=\"sand\", akf=2.25e9, ...)   or   Material({\"akf\": 2.25e9, ...})")
      .def(py::init([](const py::object& fields, const py::kwargs& kw) {
             py::dict d;
             if (!fields.is_none()) {
               if (!py::isinstance<py::dict>(fields))
                 throw py::type_error("Material takes a dict of fields or keyword arguments");
               for (const auto& [k, v] : py::reinterpret_borrow<py::dict>(fields)) d[k] = v;
             }
             for (const auto& [k, v] : kw) d[k] = v;
             return material_from_dict(d);
           }),
           py::arg("fields") = py::none())
      .def_readonly("name", &MaterialSpec::name, "the material's name (\"\": \"label N\" in a sample)")
      .def_property_readonly("fields",
                             [](const MaterialSpec& s) {
                               py::dict d;
                               for (const auto& [k, v] : s.fields) d[py::str(k)] = v;
                               return d;
                             },
                             "the fields given, SI units")
      .def("__getattr__",
           [](const MaterialSpec& s, const std::string& key) {
             for (const auto& [k, v] : s.fields)
               if (k == key) return v;
             throw py::attribute_error("Material has no field \"" + key + "\"");
           })
      .def("__repr__", [](const MaterialSpec& s) {
        std::string r = "upscale.Material(";
        if (!s.name.empty()) r += "name='" + s.name + "', ";
        for (const auto& [k, v] : s.fields) r += k + "=" + std::string(py::repr(py::float_(v))) + ", ";
        if (r.back() == ' ') r.resize(r.size() - 2);
        return r + ")";
      });
}

}  // namespace

void bind_sample(py::module_& m) {
  bind_material(m);
  py::class_<PySample>(m, "Sample",
                       "A 2D rock sample of square cells: which material fills each cell and how much water each\n"
                       "cell holds.\n\n"
                       "Sample(labels, materials, cell_size, model=\"ice\", water=None)\n"
                       "  labels     2-D integer array, rows from the top (as an image): the label of each cell\n"
                       "  materials  mapping label -> upscale.Material or dict of fields\n"
                       "  cell_size  side of a cell, m\n"
                       "  model      \"ice\" (permafrost: solid 3 is ice) or \"shale\" (shaley sand: solid 3 is clay)\n"
                       "  water      optional 2-D float array, same shape: the water proportion of each cell;\n"
                       "             without it each cell has its material's phi_layer1")
      .def(py::init(&sample_from_arrays), py::arg("labels"), py::arg("materials"), py::arg("cell_size"),
           py::arg("model") = "ice", py::arg("water") = py::none())
      .def_static("from_file", &sample_from_file, py::arg("path"),
                  "A sample file (TOML): model, cell size, materials, label image, water image, frequencies.")
      .def_static("from_deck", &sample_from_deck, py::arg("path"),
                  "A deck of the upscaling programs (and its porosity.frac for model 1), with the deck's frequencies.")
      .def_property_readonly("nx", [](const PySample& s) { return s.sample->nx; }, "cells along x")
      .def_property_readonly("ny", [](const PySample& s) { return s.sample->ny; }, "cells along the vertical")
      .def_property_readonly("shape", [](const PySample& s) { return py::make_tuple(s.sample->ny, s.sample->nx); },
                             "(rows, columns) as the label image")
      .def_property_readonly("cell_size", [](const PySample& s) { return s.sample->h; }, "side of a cell, m")
      .def_property_readonly("model", [](const PySample& s) { return s.sample->key_model == 0 ? "ice" : "shale"; })
      .def_property_readonly("labels", [](const PySample& s) { return labels_of(*s.sample); },
                             "label of each cell, rows from the top")
      .def_property_readonly("water", [](const PySample& s) { return water_of(*s.sample); },
                             "water proportion of each cell, rows from the top")
      .def_property_readonly("materials",
                             [](const PySample& s) {
                               py::dict d;
                               for (const tensor::Material& mat : s.sample->materials)
                                 d[py::int_(mat.label)] = material_dict(mat, s.sample->key_model);
                               return d;
                             },
                             "label -> the material's fields (SI units)")
      .def_property_readonly("frequencies",
                             [](const PySample& s) {
                               return py::array_t<double>(static_cast<py::ssize_t>(s.sample->frequencies.size()),
                                                          s.sample->frequencies.data());
                             },
                             "the frequencies of the sample file or deck, Hz (empty for arrays)")
      .def_property_readonly("lame", [](const PySample& s) { return s.sample->lame == tensor::LameRelations::two_d ? "2d" : "3d"; },
                             "the Lame relations the sample file asks for")
      .def("__repr__", [](const PySample& s) {
        return "upscale.Sample(" + std::to_string(s.sample->ny) + " x " + std::to_string(s.sample->nx) +
               " cells of " + std::string(py::repr(py::float_(s.sample->h))) + " m, " +
               std::to_string(s.sample->materials.size()) + " material(s), model " +
               (s.sample->key_model == 0 ? "ice" : "shale") + ", from " + s.origin + ")";
      });
}

}  // namespace upscale_py
