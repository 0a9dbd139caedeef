// The label and water-proportion images of a sample: read whole, digested,
// decoded after their content, whole or a band of their rows.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

#include "core/sha256.hpp"
#include "tensor/file_access.hpp"
#include "tensor/image_decoders.hpp"

namespace tensor {

FileKind kind_of(std::string_view b) {
  if (b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return FileKind::png;
  if (b.size() >= 4 && (std::memcmp(b.data(), "II*\0", 4) == 0 || std::memcmp(b.data(), "MM\0*", 4) == 0 ||
                        std::memcmp(b.data(), "II+\0", 4) == 0 || std::memcmp(b.data(), "MM\0+", 4) == 0))
    return FileKind::tiff;
  for (const char c : b) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x7f || (u < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v'))
      return FileKind::other;
  }
  return FileKind::text;
}

void check_image_size(int64_t width, int64_t height, const std::string& path) {
  if (width < 1 || height < 1)
    throw std::runtime_error("\"" + path + "\": an image of " + std::to_string(width) + " x " +
                             std::to_string(height) + " cells; at least one cell expected");
  if (width > kMaxImageCells / height)
    throw std::runtime_error("\"" + path + "\": an image of " + std::to_string(width) + " x " +
                             std::to_string(height) + " cells, more than the " + std::to_string(kMaxImageCells) +
                             " cells a sample may have");
}

namespace {

// A text grid is parsed whole (every line is checked), then cut to the band.
template <class T>
Image<T> rows_of(Image<T> im, ImageRows rows) {
  rows.first = std::clamp<int64_t>(rows.first, 0, im.height);
  rows.last = std::min<int64_t>(rows.last, im.height - 1);
  const auto at = [&](int64_t row) { return im.values.begin() + static_cast<std::ptrdiff_t>(row * im.width); };
  im.values.erase(at(std::max(rows.last + 1, rows.first)), im.values.end());
  im.values.erase(im.values.begin(), at(rows.first));
  im.values.shrink_to_fit();
  im.first_row = rows.first;
  return im;
}

}  // namespace

Image<int32_t> read_label_image(const std::string& path, std::string& sha256, ImageRows rows) {
  const std::string bytes = read_input_file(path, "label image", kMaxInputBytes);
  sha256 = core::sha256_hex(bytes);
  switch (kind_of(bytes)) {
    case FileKind::png: return decode_png_labels(bytes, path, rows);
    case FileKind::tiff: return decode_tiff_labels(bytes, path, rows);
    case FileKind::text: return rows_of(parse_text_labels(bytes, path), rows);
    default: break;
  }
  throw std::runtime_error("\"" + path + "\": label image neither PNG, TIFF nor plain text (by its content)");
}

Image<double> read_water_image(const std::string& path, std::string& sha256, ImageRows rows) {
  const std::string bytes = read_input_file(path, "water-proportion image", kMaxInputBytes);
  sha256 = core::sha256_hex(bytes);
  switch (kind_of(bytes)) {
    case FileKind::tiff: return decode_tiff_reals(bytes, path, rows);
    case FileKind::text: return rows_of(parse_text_reals(bytes, path), rows);
    case FileKind::png:
      throw std::runtime_error("\"" + path + "\": a PNG holds integers; water proportions must be a float TIFF or text");
    default: break;
  }
  throw std::runtime_error("\"" + path + "\": water-proportion image neither TIFF nor plain text (by its content)");
}

}  // namespace tensor
