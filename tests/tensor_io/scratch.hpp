// A scratch folder per test (removed in TearDown, so also when the test
// fails), and writers of test images through libpng and libtiff directly.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/refusal.hpp"

namespace tensor_test {

class Scratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (std::filesystem::temp_directory_path() / "tensor_io.XXXXXX").string();
    ASSERT_NE(::mkdtemp(t.data()), nullptr);
    dir = t;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string at(const std::string& name) const { return dir + "/" + name; }
  std::string put(const std::string& name, const std::string& text) const {
    std::ofstream(at(name), std::ios::binary) << text;
    return at(name);
  }
  std::string dir;
};

using support::refusal;

// The test images' size: not a multiple of the tile size.
constexpr int W = 37, H = 23;

// A grey W x H image of `bits` bits: every value differs from its neighbours'.
inline std::vector<uint16_t> grey(int bits) {
  std::vector<uint16_t> v;
  const unsigned mask = (1u << bits) - 1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) v.push_back(static_cast<uint16_t>((x * 977u + y * 131u + x * y) & mask));
  return v;
}

// A grey PNG of `bits` bits (RGB of 8 when `rgb`) through libpng's full
// writer: one filter for every row, interlaced or not, IDAT chunks of at
// most `chunk` bytes.
inline void write_png(const std::string& path, int w, int h, const std::vector<uint16_t>& v, int bits,
                      int filter = PNG_FILTER_NONE, bool interlaced = false, std::size_t chunk = 8192, bool rgb = false) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng failed on " + path);
  png_init_io(png, f);
  png_set_compression_buffer_size(png, chunk);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
  png_set_IHDR(png, info, w, h, bits, rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  if (bits < 8) png_set_packing(png);
  const int per_pixel = rgb ? 3 : bits == 16 ? 2 : 1;
  std::vector<uint8_t> bytes;
  for (uint16_t x : v)
    for (int c = 0; c < (rgb ? 3 : 1); ++c) {
      if (bits == 16) bytes.push_back(static_cast<uint8_t>(x >> 8));
      bytes.push_back(static_cast<uint8_t>(x));
    }
  std::vector<png_bytep> rows;
  for (int y = 0; y < h; ++y) rows.push_back(&bytes[static_cast<std::size_t>(y) * w * per_pixel]);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// One page (or `pages`) of a TIFF: `spp` samples per pixel of `bits` bits,
// unsigned or float, in strips of `per_strip` rows or in 16 x 16 tiles,
// deflated or not.
template <class T>
void write_tiff(const std::string& path, int w, int h, const std::vector<T>& v, int spp = 1, bool tiled = false,
                int pages = 1, int per_strip = 3, bool deflate = true) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) throw std::runtime_error("cannot write " + path);
  for (int page = 0; page < pages; ++page) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<int>(8 * sizeof(T)));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, std::is_floating_point_v<T> ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
    std::vector<T> px;
    for (T x : v)
      for (int c = 0; c < spp; ++c) px.push_back(x);
    if (tiled) {
      TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
      TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
      std::vector<T> tile(16 * 16 * spp);
      for (int y0 = 0; y0 < h; y0 += 16)
        for (int x0 = 0; x0 < w; x0 += 16) {
          std::fill(tile.begin(), tile.end(), T{});
          for (int y = y0; y < std::min(h, y0 + 16); ++y)
            for (int x = x0; x < std::min(w, x0 + 16); ++x)
              for (int c = 0; c < spp; ++c) tile[((y - y0) * 16 + x - x0) * spp + c] = px[(y * w + x) * spp + c];
          TIFFWriteTile(t, tile.data(), x0, y0, 0, 0);
        }
    } else {
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, per_strip);
      for (int y = 0; y < h; ++y) TIFFWriteScanline(t, &px[static_cast<std::size_t>(y) * w * spp], y, 0);
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
}

}  // namespace tensor_test
