// PNG through libpng's progressive-free reader on bytes in memory. libpng
// reports errors by longjmp, so the decoding function keeps every object
// with a destructor in its caller: nothing is skipped when it jumps.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "tensor/image_decoders.hpp"

namespace tensor {

namespace {

struct PngSource {
  const unsigned char* data;
  std::size_t size, at;
  char message[256];
};

void read_bytes(png_structp png, png_bytep out, png_size_t n) {
  auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
  if (n > s->size - s->at) png_error(png, "the file ends inside the image");
  std::memcpy(out, s->data + s->at, n);
  s->at += n;
}

[[noreturn]] void on_error(png_structp png, png_const_charp text) {
  auto* s = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(s->message, sizeof s->message, "%s", text);
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

struct PngHeader {
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0;
};

// The rows of the band first..last (0-based) into `pixels`, the others
// decoded and dropped (row pointer null): a plain image up to the band's
// last row, an interlaced one pass after pass to its end. The buffer grows
// with the rows kept where it can: a short file that claims a large image
// fails before much memory is taken.
void read_band(png_structp png, png_uint_32 height, std::size_t row_bytes, int passes, int64_t first, int64_t last,
               std::vector<unsigned char>& pixels) {
  const auto kept = [&](int64_t r) { return r >= first && r <= last; };
  if (passes == 1) {
    for (int64_t r = 0; r <= last; ++r) {
      if (kept(r)) pixels.resize(static_cast<std::size_t>(r - first + 1) * row_bytes);
      png_read_row(png, kept(r) ? pixels.data() + static_cast<std::size_t>(r - first) * row_bytes : nullptr, nullptr);
    }
    return;
  }
  pixels.resize(static_cast<std::size_t>(last - first + 1) * row_bytes);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 r = 0; r < height; ++r)
      png_read_row(png, kept(r) ? pixels.data() + static_cast<std::size_t>(r - first) * row_bytes : nullptr, nullptr);
}

// Decodes the rows `rows` (cut to the image) into `pixels` (one or two
// big-endian bytes per pixel, rows top first); returns "" or why the file
// cannot be a label image.
std::string decode(PngSource& src, PngHeader& hdr, ImageRows& rows, std::vector<unsigned char>& pixels) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &src, on_error, on_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return src.message;
  }
  png_set_read_fn(png, &src, read_bytes);
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &hdr.width, &hdr.height, &hdr.bit_depth, &hdr.color_type, &interlace, nullptr, nullptr);
  const char* refused = nullptr;
  if (hdr.color_type == PNG_COLOR_TYPE_PALETTE) refused = "a palette image: labels must be grey values";
  else if (hdr.color_type & PNG_COLOR_MASK_COLOR) refused = "a colour (RGB) image: labels must be grey values";
  else if (hdr.color_type & PNG_COLOR_MASK_ALPHA) refused = "a grey image with an alpha channel: one sample per pixel expected";
  else if (static_cast<double>(hdr.width) * hdr.height > static_cast<double>(kMaxImageCells)) refused = "too large";
  if (refused) {
    png_destroy_read_struct(&png, &info, nullptr);
    return refused;
  }
  if (hdr.bit_depth < 8) png_set_packing(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  rows.first = std::max<int64_t>(rows.first, 0);
  rows.last = std::min<int64_t>(rows.last, static_cast<int64_t>(hdr.height) - 1);
  if (rows.first <= rows.last) read_band(png, hdr.height, png_get_rowbytes(png, info), passes, rows.first, rows.last, pixels);
  png_destroy_read_struct(&png, &info, nullptr);
  return "";
}

}  // namespace

Image<int32_t> decode_png_labels(std::string_view bytes, const std::string& path, ImageRows rows) {
  PngSource src{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, {}};
  PngHeader hdr;
  std::vector<unsigned char> pixels;
  const std::string why = decode(src, hdr, rows, pixels);
  if (why == "too large") check_image_size(hdr.width, hdr.height, path);
  if (!why.empty()) throw std::runtime_error("\"" + path + "\": PNG label image refused: " + why);
  check_image_size(hdr.width, hdr.height, path);
  Image<int32_t> im;
  im.width = hdr.width;
  im.height = hdr.height;
  im.first_row = rows.first;
  const std::size_t n = pixels.size() / (hdr.bit_depth == 16 ? 2 : 1);
  im.values.resize(n);
  if (hdr.bit_depth == 16)
    for (std::size_t i = 0; i < n; ++i) im.values[i] = pixels[2 * i] << 8 | pixels[2 * i + 1];
  else
    for (std::size_t i = 0; i < n; ++i) im.values[i] = pixels[i];
  return im;
}

}  // namespace tensor
