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

// Every band of a file decoded by `decode` is the same rows of its whole
// decode, which is `want`.
template <class Decode, class T>
void expect_bands(const std::string& path, Decode decode, const std::vector<T>& want) {
  const std::string b = bytes_of(path);
  const auto whole = decode(b, path, tensor::ImageRows{});
  ASSERT_EQ(whole.values, (std::vector<typename decltype(whole.values)::value_type>(want.begin(), want.end())));
  for (const Band& band : kBands) expect_rows(whole, decode(b, path, {band.first, band.last}), band);
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
        expect_bands(at("a.png"), tensor::decode_png_labels, v);
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

TEST_F(ImageBands, TiffBandsThroughStripsAndTilesAreTheWholeDecodesRows) {
  const std::vector<uint16_t> v16 = grey(16), g8 = grey(8);
  const std::vector<uint8_t> v8(g8.begin(), g8.end());
  std::vector<float> w;
  for (int i = 0; i < W * H; ++i) w.push_back(0.01f + 0.5f * static_cast<float>(i) / (W * H));
  for (int per_strip : {1, 3, 5, 8, H, 64})
    for (bool deflate : {false, true}) {
      SCOPED_TRACE(std::to_string(per_strip) + " rows a strip" + (deflate ? ", deflated" : ""));
      tensor_test::write_tiff(at("a.tif"), W, H, v16, 1, false, 1, per_strip, deflate);
      tensor_test::write_tiff(at("b.tif"), W, H, v8, 1, false, 1, per_strip, deflate);
      tensor_test::write_tiff(at("w.tif"), W, H, w, 1, false, 1, per_strip, deflate);
      expect_bands(at("a.tif"), tensor::decode_tiff_labels, v16);
      expect_bands(at("b.tif"), tensor::decode_tiff_labels, v8);
      expect_bands(at("w.tif"), tensor::decode_tiff_reals, w);
    }
  tensor_test::write_tiff(at("t.tif"), W, H, v16, 1, true);  // 16 x 16 tiles
  expect_bands(at("t.tif"), tensor::decode_tiff_labels, v16);
}

// The last strip's byte count (in the directory libtiff writes after the
// strips, as a 32-bit value or a 16-bit one where it fits) made larger than
// the file: refused whichever rows are asked.
TEST_F(ImageBands, ATiffStripBeyondTheFileIsRefusedWhicheverRowsAreAsked) {
  tensor_test::write_tiff(at("a.tif"), W, H, grey(16), 1, false, 1, 4, false);
  std::string b = bytes_of(at("a.tif"));
  ASSERT_EQ(refusal([&] { tensor::decode_tiff_labels(b, "a.tif"); }), "");
  const uint32_t count = 3 * W * 2;  // the last strip: 3 rows of 16-bit pixels
  std::size_t at_count = b.rfind(std::string(reinterpret_cast<const char*>(&count), 4));
  const std::size_t width = at_count == std::string::npos ? 2 : 4;
  if (width == 2) at_count = b.rfind(std::string(reinterpret_cast<const char*>(&count), 2));
  ASSERT_NE(at_count, std::string::npos);
  const uint32_t huge = width == 4 ? 1u << 30 : 0xffff;
  b.replace(at_count, width, std::string(reinterpret_cast<const char*>(&huge), width));
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
