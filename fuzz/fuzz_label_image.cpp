// Fuzz target: the decoders of label and water-proportion images (PNG and
// TIFF through libpng and libtiff, plain-text grids) on arbitrary bytes.
//
// The first byte chooses labels (even) or water proportions (odd); the rest
// is the file's content. A decoder either refuses with std::runtime_error or
// gives an image of width x height values, both at least 1, within the cell
// limit; a text grid written back out reads back to the same image; of an
// image decoded whole, a band of its rows decoded alone is the same rows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tensor/image_decoders.hpp"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

template <class T>
void check_shape(const tensor::Image<T>& im) {
  check(im.width >= 1 && im.height >= 1, "an image has at least one cell");
  check(im.width <= tensor::kMaxImageCells / im.height, "an image stays within the cell limit");
  check(static_cast<int64_t>(im.values.size()) == im.width * im.height, "one value per cell");
}

template <class T>
std::string as_text(const tensor::Image<T>& im) {
  std::string s;
  char item[40];
  for (int64_t y = 0; y < im.height; ++y) {
    for (int64_t x = 0; x < im.width; ++x) {
      const T v = im.values[static_cast<std::size_t>(y * im.width + x)];
      if constexpr (std::is_same_v<T, double>) std::snprintf(item, sizeof item, "%s%.17g", x ? " " : "", v);
      else std::snprintf(item, sizeof item, "%s%d", x ? "," : "", static_cast<int>(v));
      s += item;
    }
    s += '\n';
  }
  return s;
}

template <class T>
void round_trip(const tensor::Image<T>& im, tensor::Image<T> (*parse)(std::string_view, const std::string&)) {
  const tensor::Image<T> back = parse(as_text(im), "again");
  check(back.width == im.width && back.height == im.height, "a text grid reads back to its shape");
  for (std::size_t i = 0; i < im.values.size(); ++i)
    check(back.values[i] == im.values[i] || (std::isnan(static_cast<double>(im.values[i])) &&
                                             std::isnan(static_cast<double>(back.values[i]))),
          "a text grid reads back to its values");
}

// The middle third of the rows (at least one), decoded alone, equals them.
template <class T, class Decode>
void check_band(const tensor::Image<T>& whole, Decode decode) {
  const int64_t first = whole.height / 3, last = std::max(first, 2 * whole.height / 3 - 1);
  const tensor::Image<T> band = decode(tensor::ImageRows{first, last});
  check(band.width == whole.width && band.height == whole.height && band.first_row == first,
        "a band knows the whole image's shape and its first row");
  check(band.rows() == last - first + 1, "a band holds its rows");
  for (std::size_t i = 0; i < band.values.size(); ++i) {
    const double a = static_cast<double>(band.values[i]);
    const double b = static_cast<double>(whole.values[static_cast<std::size_t>(first * whole.width) + i]);
    check(a == b || (std::isnan(a) && std::isnan(b)), "a band's rows are the whole decode's");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool water = data[0] & 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const tensor::FileKind kind = tensor::kind_of(bytes);
  try {
    // The whole image, then the middle band of its rows alone.
    const auto whole_and_band = [](auto decode) {
      const auto im = decode(tensor::ImageRows{});
      check_shape(im);
      check_band(im, decode);
    };
    if (kind == tensor::FileKind::png && !water)
      whole_and_band([&](tensor::ImageRows r) { return tensor::decode_png_labels(bytes, "f", r); });
    if (kind == tensor::FileKind::tiff && !water)
      whole_and_band([&](tensor::ImageRows r) { return tensor::decode_tiff_labels(bytes, "f", r); });
    if (kind == tensor::FileKind::tiff && water)
      whole_and_band([&](tensor::ImageRows r) { return tensor::decode_tiff_reals(bytes, "f", r); });
    if (kind == tensor::FileKind::text && !water) {
      const auto im = tensor::parse_text_labels(bytes, "f");
      check_shape(im);
      round_trip(im, tensor::parse_text_labels);
    }
    if (kind == tensor::FileKind::text && water) {
      const auto im = tensor::parse_text_reals(bytes, "f");
      check_shape(im);
      round_trip(im, tensor::parse_text_reals);
    }
  } catch (const std::runtime_error&) {
  }
  return 0;
}
