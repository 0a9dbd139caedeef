// A scratch folder per test (removed in TearDown, so also when the test
// fails), and writers of test images through libpng and libtiff directly.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cstdint>
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

// Grey (8 or 16 bits) or RGB PNG through libpng's simplified writer.
inline void write_png(const std::string& path, int w, int h, const std::vector<uint16_t>& v, int bits,
                      bool rgb = false) {
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  im.width = w;
  im.height = h;
  im.format = rgb ? PNG_FORMAT_RGB : bits == 16 ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_GRAY;
  std::vector<uint8_t> b8;
  const void* data = v.data();
  if (bits == 8 || rgb) {
    for (uint16_t x : v)
      for (int c = 0; c < (rgb ? 3 : 1); ++c) b8.push_back(static_cast<uint8_t>(x));
    data = b8.data();
  }
  if (!png_image_write_to_file(&im, path.c_str(), 0, data, 0, nullptr)) throw std::runtime_error(im.message);
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
