// A band of an image's rows decoded alone is the same rows of the whole
// decode, for every PNG bit depth, filter and interlace, for TIFF strips of
// several heights and tiles with bands that cut through them, and for text;
// a file refused whole is refused in the same words for the bands that
// reach its fault.
#include <cstdio>
#include <fstream>
#include <iterator>

#include <zlib.h>

#include "scratch.hpp"
#include "tensor/image_decoders.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;
using tensor_test::write_png;
using tensor_test::grey, tensor_test::W, tensor_test::H;

struct Band {
  int64_t first, last;
};
// Bands at the edges, through the middle, one row, past the end, empty.
const Band kBands[] = {{0, 0}, {0, H - 1}, {5, 11}, {4, 16}, {H - 1, H - 1}, {20, 40}, {-3, 2}, {10, 9}, {H, H + 5}};

// `whole`'s rows band.first..band.last, cut to the image, must be `part`.
template <class T>
void expect_rows(const tensor::Image<T>& whole, const tensor::Image<T>& part, Band band) {
  SCOPED_TRACE("rows " + std::to_string(band.first) + " to " + std::to_string(band.last));
  const int64_t first = std::max<int64_t>(band.first, 0), last = std::min<int64_t>(band.last, whole.height - 1);
  ASSERT_EQ(part.width, whole.width);
  ASSERT_EQ(part.height, whole.height);
  EXPECT_EQ(part.first_row, first);
  ASSERT_EQ(part.rows(), std::max<int64_t>(last - first + 1, 0));
  for (int64_t r = first; r <= last; ++r)
    for (int64_t x = 0; x < whole.width; ++x)
      ASSERT_EQ(part.values[static_cast<std::size_t>((r - first) * part.width + x)],
                whole.values[static_cast<std::size_t>(r * whole.width + x)])
          << "row " << r << ", column " << x;
}

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ImageBands : public tensor_test::Scratch {};

TEST_F(ImageBands, PngBandsOfEveryDepthFilterAndInterlaceAreTheWholeDecodesRows) {
  const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
  for (int bits : {1, 2, 4, 8, 16})
    for (int filter : filters)
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(std::to_string(bits) + " bits, filter " + std::to_string(filter) +
                     (interlaced ? ", interlaced" : ""));
        const std::vector<uint16_t> v = grey(bits);
        write_png(at("a.png"), W, H, v, bits, filter, interlaced);
        const std::string b = bytes_of(at("a.png"));
        const tensor::Image<int32_t> whole = tensor::decode_png_labels(b, "a.png");
        ASSERT_EQ(whole.values, std::vector<int32_t>(v.begin(), v.end()));
        for (const Band& band : kBands) expect_rows(whole, tensor::decode_png_labels(b, "a.png", {band.first, band.last}), band);
      }
}

TEST_F(ImageBands, APngCorruptBeyondTheBandIsRefusedAsWholeByTheBandsThatReachIt) {
  // Many small IDAT chunks; the last one's checksum spoilt.
  write_png(at("a.png"), W, H, grey(8), 8, PNG_FILTER_PAETH, false, 64);
  std::string b = bytes_of(at("a.png"));
  const std::size_t iend = b.rfind("IEND");
  ASSERT_NE(iend, std::string::npos);
  b[iend - 5] = static_cast<char>(b[iend - 5] ^ 0x5a);  // the CRC before IEND's length and type
  const std::string whole = refusal([&] { tensor::decode_png_labels(b, "a.png"); });
  ASSERT_NE(whole.find("PNG label image refused"), std::string::npos) << whole;
  EXPECT_EQ(refusal([&] { tensor::decode_png_labels(b, "a.png", {H - 1, H - 1}); }), whole);
  EXPECT_EQ(refusal([&] { tensor::decode_png_labels(b, "a.png", {3, H + 2}); }), whole);
  // The top rows end in the stream before the spoilt chunk: decoded and checked.
  const tensor::Image<int32_t> top = tensor::decode_png_labels(b, "a.png", {0, 2});
  EXPECT_EQ(top.rows(), 3);
  EXPECT_EQ(top.values[static_cast<std::size_t>(W + 5)], grey(8)[W + 5]);
  // What the header refuses (more cells than a sample may have) is refused for every band.
  write_png(at("big.png"), W, H, grey(8), 8);
  std::string c = bytes_of(at("big.png"));
  c[16] = 0x7f;  // the width's high byte
  const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(c.data() + 12), 17);
  for (int i = 0; i < 4; ++i) c[29 + static_cast<std::size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
  const std::string large = refusal([&] { tensor::decode_png_labels(c, "big.png"); });
  EXPECT_NE(large.find("more than the"), std::string::npos) << large;
  EXPECT_EQ(refusal([&] { tensor::decode_png_labels(c, "big.png", {0, 0}); }), large);
}

// One page in strips of `per_strip` rows, uncompressed or deflated.
template <class T>
void write_strips(const std::string& path, const std::vector<T>& v, int per_strip, bool deflate) {
  tensor_test::write_tiff(path, W, H, v, 1, false, 1, per_strip, deflate);
}

TEST_F(ImageBands, TiffBandsThroughStripsAndTilesAreTheWholeDecodesRows) {
  const std::vector<uint16_t> v16 = grey(16);
  const std::vector<uint16_t> g8 = grey(8);
  const std::vector<uint8_t> v8(g8.begin(), g8.end());
  std::vector<float> w;
  for (int i = 0; i < W * H; ++i) w.push_back(0.01f + 0.5f * static_cast<float>(i) / (W * H));
  for (int per_strip : {1, 3, 5, 8, H, 64})
    for (bool deflate : {false, true}) {
      SCOPED_TRACE(std::to_string(per_strip) + " rows a strip" + (deflate ? ", deflated" : ""));
      write_strips(at("a.tif"), v16, per_strip, deflate);
      write_strips(at("b.tif"), v8, per_strip, deflate);
      write_strips(at("w.tif"), w, per_strip, deflate);
      const std::string a = bytes_of(at("a.tif")), b = bytes_of(at("b.tif")), r = bytes_of(at("w.tif"));
      const auto whole16 = tensor::decode_tiff_labels(a, "a.tif");
      const auto whole8 = tensor::decode_tiff_labels(b, "b.tif");
      const auto whole_w = tensor::decode_tiff_reals(r, "w.tif");
      ASSERT_EQ(whole16.values, std::vector<int32_t>(v16.begin(), v16.end()));
      ASSERT_EQ(whole8.values, std::vector<int32_t>(v8.begin(), v8.end()));
      ASSERT_EQ(whole_w.values, std::vector<double>(w.begin(), w.end()));
      for (const Band& band : kBands) {
        expect_rows(whole16, tensor::decode_tiff_labels(a, "a.tif", {band.first, band.last}), band);
        expect_rows(whole8, tensor::decode_tiff_labels(b, "b.tif", {band.first, band.last}), band);
        expect_rows(whole_w, tensor::decode_tiff_reals(r, "w.tif", {band.first, band.last}), band);
      }
    }
  tensor_test::write_tiff(at("t.tif"), W, H, v16, 1, true);  // 16 x 16 tiles
  const std::string t = bytes_of(at("t.tif"));
  const auto whole = tensor::decode_tiff_labels(t, "t.tif");
  ASSERT_EQ(whole.values, std::vector<int32_t>(v16.begin(), v16.end()));
  for (const Band& band : kBands) expect_rows(whole, tensor::decode_tiff_labels(t, "t.tif", {band.first, band.last}), band);
}

TEST_F(ImageBands, ATiffStripBeyondTheFileIsRefusedWhicheverRowsAreAsked) {
  write_strips(at("a.tif"), grey(16), 4, false);
  std::string b = bytes_of(at("a.tif"));
  ASSERT_EQ(refusal([&] { tensor::decode_tiff_labels(b, "a.tif"); }), "");
  // The last strip's byte count, in the directory libtiff writes after the
  // strips, made larger than the file.
  auto last_count = [&](const std::string& path) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(t, nullptr);
    const uint64_t c = TIFFGetStrileByteCount(t, TIFFNumberOfStrips(t) - 1);
    TIFFClose(t);
    return c;
  };
  // Stored as 32-bit values, or as 16-bit ones where they fit.
  const uint64_t count = last_count(at("a.tif"));
  const auto wide = static_cast<uint32_t>(count);
  const auto narrow = static_cast<uint16_t>(count);
  std::size_t at_count = b.rfind(std::string(reinterpret_cast<const char*>(&wide), 4));
  uint64_t huge = 1u << 30;
  if (at_count != std::string::npos) {
    b.replace(at_count, 4, std::string(reinterpret_cast<const char*>(&huge), 4));
  } else {
    at_count = b.rfind(std::string(reinterpret_cast<const char*>(&narrow), 2));
    ASSERT_NE(at_count, std::string::npos);
    huge = 0xffff;
    const uint16_t h16 = 0xffff;
    b.replace(at_count, 2, std::string(reinterpret_cast<const char*>(&h16), 2));
  }
  std::ofstream(at("b.tif"), std::ios::binary) << b;
  ASSERT_EQ(last_count(at("b.tif")), huge);
  const std::string whole = refusal([&] { tensor::decode_tiff_labels(b, "a.tif"); });
  EXPECT_NE(whole.find("strip 6 of 6 (" + std::to_string(huge) + " bytes at offset"), std::string::npos) << whole;
  EXPECT_NE(whole.find("does not lie within the file of " + std::to_string(b.size()) + " bytes"), std::string::npos);
  EXPECT_EQ(refusal([&] { tensor::decode_tiff_labels(b, "a.tif", {0, 3}); }), whole);
  EXPECT_EQ(refusal([&] { tensor::decode_tiff_labels(b, "a.tif", {H, H}); }), whole);
}

TEST_F(ImageBands, TextBandsAreTheWholeGridsRowsAndTheWholeIsChecked) {
  std::string text;
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 4; ++x) text += std::to_string(10 * y + x) + (x < 3 ? " " : "\n");
  }
  std::string sha;
  const auto whole = tensor::read_label_image(put("l.txt", text), sha);
  for (const Band& band : {Band{0, 0}, Band{2, 4}, Band{5, 9}, Band{4, 3}, Band{7, 8}})
    expect_rows(whole, tensor::read_label_image(at("l.txt"), sha, {band.first, band.last}), band);
  EXPECT_NE(refusal([&] { tensor::read_label_image(put("r.txt", text + "1 2\n"), sha, {0, 1}); })
                .find("line 8: a row of 2 cells; the first row has 4"),
            std::string::npos);
}

}  // namespace
