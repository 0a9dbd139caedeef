// A sample read in bands of cell rows, as the ranks of a job read it: each
// band's maps are the whole sample's rows of the band and the row above it
// (a sample read whole and cut to a band: tests/tensor);
// an image is decoded in those rows alone (a strip spoilt elsewhere is never
// read), and a fault within them is refused in the words of the whole
// reading.
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "scratch.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;

constexpr int W = 10, H = 13;  // strips of 3 rows: the last one short

struct SampleBands : tensor_test::Scratch {
  // The patchy ice sample file with labels.tif and water.tif.
  std::string sample_file() const {
    std::ifstream in(std::string(TENSOR_IO_EXAMPLES) + "/patchy_ice/sample.toml");
    std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::string from = "labels = \"labels.png\"";
    text.replace(text.find(from), from.size(), "labels = \"labels.tif\"\nwater = \"water.tif\"");
    return put("sample.toml", text);
  }
  void write_images(int bad_label_row = -1) const {
    std::vector<uint16_t> labels;
    std::vector<float> water;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        labels.push_back((x * 7 + y * 3) % 5 < 2 ? 255 : 0);
        water.push_back(0.02f + 0.01f * static_cast<float>((x + 2 * y) % 9));
      }
    if (bad_label_row >= 0) labels[static_cast<std::size_t>(bad_label_row * W + 4)] = 7;
    tensor_test::write_tiff(at("labels.tif"), W, H, labels);
    tensor_test::write_tiff(at("water.tif"), W, H, water);
  }
  // Overwrites the compressed bytes of the strip holding image row `row`.
  void spoil_strip(const std::string& path, int row) const {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr);
    uint64_t* offsets = nullptr;
    uint64_t* sizes = nullptr;
    ASSERT_TRUE(TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &sizes));
    const uint64_t at = offsets[row / 3], size = sizes[row / 3];
    TIFFClose(t);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f << std::string(static_cast<std::size_t>(size), '\xff');
  }
};

tensor::ReadShare share_of(int rank, int ranks) {
  tensor::ReadShare s;
  s.band = [=](int64_t ny) { return tensor::RowBand{rank * ny / ranks + 1, (rank + 1) * ny / ranks}; };
  s.agree = [](const std::function<void()>& step) { step(); };
  return s;
}

TEST_F(SampleBands, EachBandReadHoldsTheWholeSamplesRowsOfItAndTheRowAbove) {
  write_images();
  const std::string path = sample_file();
  const tensor::Sample whole = tensor::read_sample_file(path);
  ASSERT_FALSE(whole.banded);
  for (const int ranks : {2, 3, 5, 13})
    for (int r = 0; r < ranks; ++r) {
      SCOPED_TRACE(std::to_string(r) + " of " + std::to_string(ranks));
      const tensor::Sample s = tensor::read_sample_file(path, share_of(r, ranks));
      ASSERT_TRUE(s.banded);
      EXPECT_TRUE(s.nx == W && s.ny == H && s.first_row == r * H / ranks + 1 && s.last_row == (r + 1) * H / ranks);
      ASSERT_EQ(s.material_of_cell.size(), s.held_cells());
      ASSERT_EQ(s.water_of_cell.size(), s.held_cells());
      for (int64_t k = s.band_first(); k <= s.held_last(); ++k)
        for (int64_t j = 1; j <= W; ++j) {
          ASSERT_EQ(s.material_of_cell[s.cell_at(j, k)], whole.material_of_cell[whole.cell_at(j, k)]) << j << "," << k;
          ASSERT_EQ(s.water_of_cell[s.cell_at(j, k)], whole.water_of_cell[whole.cell_at(j, k)]) << j << "," << k;
        }
      EXPECT_EQ(s.input_digests, whole.input_digests);
    }
}

TEST_F(SampleBands, AFaultIsRefusedInTheWholeReadingsWordsByEveryBandThatHoldsItAndNoOther) {
  write_images(6);  // image row 6: cell row 7, the base of rank 1's band of two, the row above rank 0's
  const std::string path = sample_file();
  const std::string whole = refusal([&] { tensor::read_sample_file(path); });
  ASSERT_NE(whole.find("row 6;"), std::string::npos) << whole;
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(0, 2)); }), whole);
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(1, 2)); }), whole);
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(0, 3)); }), "");  // rows 1..4 and 5
  // A water image of another size is refused as it is whole.
  write_images();
  tensor_test::write_tiff(at("water.tif"), W, H + 1, std::vector<float>((H + 1) * W, 0.1f));
  const std::string size = refusal([&] { tensor::read_sample_file(path); });
  ASSERT_NE(size.find("water-proportion image has"), std::string::npos) << size;
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(2, 3)); }), size);
  // A strip spoilt outside a band is never decoded by it.
  write_images();
  spoil_strip(at("labels.tif"), 1);  // image rows 0..2: cell rows 11..13
  const std::string spoilt = refusal([&] { tensor::read_sample_file(path); });
  ASSERT_NE(spoilt, "");
  // Rows 1..6 and the row above: image rows 6..12, strips 2..4.
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(0, 2)); }), "");
  EXPECT_EQ(refusal([&] { tensor::read_sample_file(path, share_of(1, 2)); }), spoilt);
}

}  // namespace
