#include "drivers/vtk_map.hpp"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "core/output_file.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

namespace drivers {

namespace {

// A file written by parts; the first failure is kept and reported at close.
class BinaryFile {
 public:
  explicit BinaryFile(const std::string& path) : path_(path) {
    std::string why;
    const int fd = core::create_output(path, why);
    if (fd >= 0 && (f_ = ::fdopen(fd, "wb")) == nullptr) ::close(fd);
    if (f_ == nullptr) core::raise_fail(core::kStopOutputError, "cannot create the cell map \"" + path_ + "\": " +
                                                              (fd < 0 ? why : std::string(std::strerror(errno))));
  }
  void text(const std::string& s) {
    if (f_ != nullptr && std::fwrite(s.data(), 1, s.size(), f_) != s.size()) failed(errno);
  }
  // Values in big-endian byte order, as the legacy format wants them.
  template <class T>
  void values(const std::vector<T>& v) {
    using Bits = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
    std::string bytes(v.size() * sizeof(T), '\0');
    for (std::size_t i = 0; i < v.size(); ++i) {
      Bits b = std::bit_cast<Bits>(v[i]);
      if constexpr (std::endian::native == std::endian::little)
        b = sizeof(T) == 8 ? static_cast<Bits>(__builtin_bswap64(b)) : static_cast<Bits>(__builtin_bswap32(b));
      std::memcpy(&bytes[i * sizeof(T)], &b, sizeof b);
    }
    text(bytes);
    text("\n");
  }
  void close() {
    if (f_ != nullptr && std::fclose(f_) != 0) failed(errno);
    f_ = nullptr;
    if (error_ != 0)
      core::raise_fail(core::kStopOutputError, "error writing the cell map \"" + path_ + "\": " + std::strerror(error_));
  }

 private:
  void failed(int e) {
    if (error_ == 0) error_ = e != 0 ? e : EIO;
  }
  std::string path_;
  std::FILE* f_ = nullptr;
  int error_ = 0;
};

// One value per cell, k outer and j inner, as VTK numbers the cells.
std::vector<double> per_cell(int nx, int ny, const std::function<double(int, int)>& value) {
  std::vector<double> v;
  v.reserve(static_cast<std::size_t>(nx) * ny);
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) v.push_back(value(j, k));
  return v;
}

void grid(BinaryFile& out, int nx, int ny, double h) {
  const int points = (nx + 1) * (ny + 1);
  const int cells = nx * ny;
  std::vector<double> xyz;
  for (int l = 0; l <= ny; ++l)
    for (int i = 0; i <= nx; ++i) xyz.insert(xyz.end(), {i * h, l * h, 0.0});
  out.text("POINTS " + std::to_string(points) + " double\n");
  out.values(xyz);
  std::vector<int32_t> quads;
  for (int k = 0; k < ny; ++k)
    for (int j = 0; j < nx; ++j) {
      const int32_t p = j + (nx + 1) * k;  // lower-left corner, then counter-clockwise
      quads.insert(quads.end(), {4, p, p + 1, p + 1 + (nx + 1), p + (nx + 1)});
    }
  out.text("CELLS " + std::to_string(cells) + " " + std::to_string(5 * cells) + "\n");
  out.values(quads);
  out.text("CELL_TYPES " + std::to_string(cells) + "\n");
  out.values(std::vector<int32_t>(static_cast<std::size_t>(cells), 9));  // VTK_QUAD
}

}  // namespace

void write_vtk_map(const std::string& path, const CellData& cd) {
  const int nx = cd.deck.nx, ny = cd.deck.ny;
  BinaryFile out(path);
  out.text("# vtk DataFile Version 3.0\ncell maps of an upscaling run, SI units\nBINARY\n"
           "DATASET UNSTRUCTURED_GRID\n");
  grid(out, nx, ny, cd.deck.h);
  out.text("CELL_DATA " + std::to_string(nx * ny) + "\nSCALARS material_number int 1\nLOOKUP_TABLE default\n");
  std::vector<int32_t> material;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) material.push_back(cd.matnum(j, k));
  out.values(material);
  auto field = [&](const char* name, const std::function<double(int, int)>& value) {
    out.text(std::string("SCALARS ") + name + " double 1\nLOOKUP_TABLE default\n");
    out.values(per_cell(nx, ny, value));
  };
  auto real_field = [&](const char* name, const core::RealField& f) {
    field(name, [&f](int j, int k) { return f(j, k); });
  };
  auto complex_field = [&](const char* re, const char* im, const ComplexField& f) {
    field(re, [&f](int j, int k) { return f(j, k).re; });
    field(im, [&f](int j, int k) { return f(j, k).im; });
  };
  const core::Coefficients& c = cd.coef;
  real_field("water_proportion_m3_per_m3", cd.phiw);
  real_field("lambda1_Pa", c.lambda1);
  real_field("lambda3_Pa", c.lambda3);
  real_field("mu1_Pa", c.mu1);
  real_field("mu3_Pa", c.mu3);
  real_field("mu13_Pa", c.mu13);
  real_field("b1_Pa", c.b1);
  real_field("b2_Pa", c.b2);
  real_field("m_Pa", c.m);
  real_field("d3_Pa", c.d3);
  complex_field("strain1_re_m_per_m", "strain1_im_m_per_m", cd.strain1);
  complex_field("strain3_re_m_per_m", "strain3_im_m_per_m", cd.strain3);
  complex_field("stress_re_Pa", "stress_im_Pa", cd.stress);
  field("pressure_abs_Pa", [&](int j, int k) { return core::cabs(cd.pres(j, k)); });
  field("pressure_gradient_abs_Pa_per_m", [&](int j, int k) {
    const bool interior = j >= 2 && j <= nx - 1 && k >= 2 && k <= ny - 1;
    return interior ? cd.grad_pres_mod(j, k) : std::numeric_limits<double>::quiet_NaN();
  });
  out.close();
}

}  // namespace drivers
