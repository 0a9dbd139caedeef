// The readers of tensor_upscale given files that are not what they claim:
// a TIFF marked palette without its ColorMap (libtiff would read it as
// grey), a file that is no image at all (its content must not be quoted
// into messages and run.json), a deck grid beyond what the system can
// number, checked against what the documentation promises.
#include <tiffio.h>

#include "scratch.hpp"
#include "tensor/io.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace outputs_test;
using TensorReaders = Scratch;
using support::refusal;

// A grey 8-bit TIFF of 4 x 2 pixels whose directory says "palette" and
// holds no ColorMap; `big` for BigTIFF.
void write_palette_without_colormap(const std::string& path, bool big) {
  TIFF* t = TIFFOpen(path.c_str(), big ? "w8" : "w");
  ASSERT_NE(t, nullptr);
  for (const auto& [tag, value] : {std::pair{TIFFTAG_IMAGEWIDTH, 4}, {TIFFTAG_IMAGELENGTH, 2}, {TIFFTAG_BITSPERSAMPLE, 8},
                                    {TIFFTAG_SAMPLESPERPIXEL, 1}, {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE}, {TIFFTAG_ROWSPERSTRIP, 2}})
    TIFFSetField(t, tag, value);
  unsigned char row[4] = {0, 1, 0, 1};
  for (int r = 0; r < 2; ++r) TIFFWriteScanline(t, row, r, 0);
  TIFFClose(t);
}

}  // namespace

TEST_F(TensorReaders, APaletteTiffIsNotGreyAndNoImageIsQuoted) {
  std::string digest;
  for (const bool big : {false, true}) {
    const std::string path = at(big ? "big.tif" : "classic.tif");
    write_palette_without_colormap(path, big);
    const std::string why = refusal([&] { tensor::read_label_image(path, digest); });
    EXPECT_NE(why.find("a palette image: grey values expected"), std::string::npos) << big << ": " << why;
  }
  for (const char* text : {"api_key = hunter2\n", "hunter2,1\n", "0 1\n0 hunter2\n"}) {
    write_text(at("labels.txt"), text);
    const std::string why = refusal([&] { tensor::read_label_image(at("labels.txt"), digest); });
    EXPECT_NE(why.find(at("labels.txt")), std::string::npos) << why;
    EXPECT_NE(why.find("is not an integer label"), std::string::npos) << why;
    EXPECT_EQ(why.find("hunter2"), std::string::npos) << why;
  }
}

// The largest square deck grid whose system numbers its unknowns,
// ny (6 nx + 5) + 5 nx + 4 of them, in 32 bits: found here by search, stated
// by the documentation, and the next size refused when the deck is read.
TEST_F(TensorReaders, TheDocumentedLargestGridIsTheOneTheReaderAccepts) {
  int64_t n = 1;
  while ((n + 1) * (6 * (n + 1) + 5) + 5 * (n + 1) + 4 <= INT32_MAX) ++n;
  const std::string side = std::to_string(n);
  EXPECT_NE(read_all(OUTPUTS_SOURCE_DIR "/doc/tensor.md").find(side + " x " + side + " cells"), std::string::npos) << n;
  const std::string next = std::to_string(n + 1);
  ASSERT_EQ(sh(dir, "sed \"5s/.*/" + next + "   nx/; 6s/.*/" + next + "   ny/\" '" + examples() + "/ice_small.deck' > big.deck"), 0);
  EXPECT_NE(sh(dir, "exec '" OUTPUTS_TENSOR_EXE "' big.deck --quiet -o o"), 0);  // the deck reader's stop code
  const std::string err = read_all(root + "/err.txt");
  EXPECT_NE(err.find("unknowns"), std::string::npos) << err;
}
