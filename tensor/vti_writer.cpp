// VTK XML image data (.vti) of cell fields: a grid of nx x ny square cells
// of side h from the origin, x to the right and y up, one Float64 array per
// field in the sample's cell order (x fastest, base row first), which is
// the cell order of VTK image data. Arrays are inline binary: base64 of a
// UInt64 byte count followed by the values, in the machine's byte order.
#include <bit>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tensor/file_access.hpp"
#include "tensor/io.hpp"

namespace tensor {

namespace {

void base64(std::string& out, const unsigned char* p, std::size_t n) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.reserve(out.size() + (n + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t v = p[i] << 16 | p[i + 1] << 8 | p[i + 2];
    for (int s = 18; s >= 0; s -= 6) out += digits[(v >> s) & 63];
  }
  if (i < n) {
    const uint32_t v = p[i] << 16 | (i + 1 < n ? p[i + 1] << 8 : 0);
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < n ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
}

std::string number(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.17g", v);
  return s;
}

void check_name(const std::string& name) {
  if (name.empty()) throw std::invalid_argument("write_vti: a field without a name");
  for (const char c : name)
    if (c == '"' || c == '<' || c == '>' || c == '&' || static_cast<unsigned char>(c) < 0x20)
      throw std::invalid_argument("write_vti: the field name \"" + name + "\" holds a character XML would misread");
}

}  // namespace

void write_vti(const std::string& path, int64_t nx, int64_t ny, double h, const std::vector<CellField>& fields) {
  if (nx < 1 || ny < 1 || !(h > 0))
    throw std::invalid_argument("write_vti: a grid of " + std::to_string(nx) + " x " + std::to_string(ny) +
                                " cells of side " + number(h) + " m");
  const std::string extent = "0 " + std::to_string(nx) + " 0 " + std::to_string(ny) + " 0 0";
  std::string x = "<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"" +
                  std::string(std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian") +
                  "\" header_type=\"UInt64\">\n  <ImageData WholeExtent=\"" + extent + "\" Origin=\"0 0 0\" Spacing=\"" +
                  number(h) + " " + number(h) + " " + number(h) + "\">\n    <Piece Extent=\"" + extent +
                  "\">\n      <CellData>\n";
  for (const CellField& f : fields) {
    check_name(f.name);
    if (static_cast<int64_t>(f.values.size()) != nx * ny)
      throw std::invalid_argument("write_vti: field \"" + f.name + "\" has " + std::to_string(f.values.size()) +
                                  " values for " + std::to_string(nx * ny) + " cells");
    const uint64_t bytes = f.values.size() * sizeof(double);
    std::string raw(sizeof bytes + bytes, '\0');
    std::memcpy(raw.data(), &bytes, sizeof bytes);
    if (bytes) std::memcpy(raw.data() + sizeof bytes, f.values.data(), bytes);
    x += "        <DataArray type=\"Float64\" Name=\"" + f.name + "\" NumberOfComponents=\"1\" format=\"binary\">";
    base64(x, reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    x += "</DataArray>\n";
  }
  x += "      </CellData>\n    </Piece>\n  </ImageData>\n</VTKFile>\n";
  write_file_atomically(path, x);
}

}  // namespace tensor
