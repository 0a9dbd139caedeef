// The sample file: a complete one builds the sample it describes; a typo,
// a missing field, a value outside the deck's range or two materials of one
// label is refused, naming the line, the material and the field.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "scratch.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;

const std::string kSand = R"([[material]]
name = "sand"
label = 0
akf = 2.25e9
ro2 = 1000
eta = 1.798e-3
ro1 = 2650
ro3 = 920
phi_a = 0.4
phi_layer1 = 0.1
capa_1_0 = 1e-12
capa_3_0 = 5e-13
coef_b13 = 1e8
ak_air = 1.42e5
xmu_air = 1e3
ak_s1 = 3.6e10
xmu_s1 = 4.4e10
ak_s3 = 8.58e9
xmu_s3 = 3.32e9
)";

class SampleFile : public tensor_test::Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    std::filesystem::create_directory(at("maps"));
    put("maps/labels.txt", "0 0 0 5\n0 5 0 0\n0 0 0 0\n");
  }
  // The sample file made of `globals` and the two materials, `sand` edited.
  std::string file(const std::string& globals, const std::string& sand = kSand) {
    std::string ice = kSand;
    ice.replace(ice.find("\"sand\""), 6, "\"ice\"");
    ice.replace(ice.find("label = 0"), 9, "label = 5");
    return put("sample.toml", globals + "\n" + sand + "\n" + ice);
  }
  std::string refused(const std::string& globals, const std::string& sand = kSand) {
    return refusal([&] { tensor::read_sample_file(file(globals, sand)); });
  }
  const std::string base = "model = \"ice\"\ncell_size = 1e-3\nlabels = \"maps/labels.txt\"\n";
};

TEST_F(SampleFile, ACompleteFileGivesItsSample) {
  put("maps/water.txt", "0.1 0.2 0.1 0.25\n0.1 0.2 0.1 0.1\n0.3 0.1 0.1 0.1\n");
  const tensor::Sample s = tensor::read_sample_file(
      file(base + "water = \"maps/water.txt\"\nlame = \"3d\"\nboundary = \"sealed\"\nfrequency = {min = 1, max = 1e4, count = 5}\n"));
  EXPECT_EQ(s.key_model, 0);
  EXPECT_EQ(s.h, 1e-3);
  EXPECT_EQ(s.lame, tensor::LameRelations::three_d);
  EXPECT_EQ(s.boundary, tensor::Boundary::sealed);
  EXPECT_EQ(s.nx, 4);
  EXPECT_EQ(s.ny, 3);
  ASSERT_EQ(s.materials.size(), 2u);
  EXPECT_EQ(s.materials[1].name, "ice");
  EXPECT_EQ(s.materials[1].label, 5);
  EXPECT_EQ(s.materials[0].eta, 1.798e-3);
  EXPECT_EQ(s.materials[0].s3, 0.0);  // not used by the ice model, left out
  EXPECT_EQ(s.material_of_cell, (std::vector<int32_t>{1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2}));
  EXPECT_EQ(s.water_of_cell[0], 0.3);
  // Five frequencies a decade apart, both ends exact.
  ASSERT_EQ(s.frequencies.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(s.frequencies[i], std::pow(10.0, i), 1e-12 * std::pow(10.0, i));
  EXPECT_EQ(s.frequencies.back(), 1e4);
  ASSERT_EQ(s.input_digests.size(), 3u);  // the file and both images
  EXPECT_EQ(s.input_digests[1].first, at("maps/labels.txt"));
}

TEST_F(SampleFile, TyposMissingFieldsAndValuesOutOfRangeAreRefused) {
  const std::string freq = "frequencies = [10, 100]\n";
  EXPECT_NE(refused(base + freq + "cellsize = 2\n").find("line 5: unknown key \"cellsize\" at the top level"),
            std::string::npos);
  std::string typo = kSand;
  typo.replace(typo.find("eta ="), 5, "etta =");
  EXPECT_NE(refused(base + freq, typo).find("unknown key \"etta\" in material \"sand\""), std::string::npos);
  std::string missing = kSand;
  missing.erase(missing.find("akf ="), missing.find("ro2") - missing.find("akf ="));
  EXPECT_NE(refused(base + freq, missing).find("material \"sand\" lacks \"akf\""), std::string::npos);
  std::string negative = kSand;
  negative.replace(negative.find("akf = 2.25e9"), 12, "akf = -1");
  EXPECT_NE(refused(base + freq, negative).find("in material \"sand\": akf = -1 is outside (0, 1e+12] Pa"),
            std::string::npos);
  std::string wet = kSand;
  wet.replace(wet.find("phi_layer1 = 0.1"), 16, "phi_layer1 = 0.4");
  EXPECT_NE(refused(base + freq, wet).find("must be below the absolute porosity phi_a = 0.4"), std::string::npos);
  std::string twin = kSand;
  twin.replace(twin.find("label = 0"), 9, "label = 5");
  EXPECT_NE(refused(base + freq, twin).find("carry the same label 5"), std::string::npos);
  EXPECT_NE(refused(base + "frequencies = [0]\n").find("frequency 0 is outside (0, 1e+12] Hz"), std::string::npos);
  std::string flat = base;
  flat.replace(flat.find("1e-3"), 4, "0");
  EXPECT_NE(refused(flat + freq).find("cell_size = 0 must be a positive length"), std::string::npos);
  EXPECT_NE(refused(base).find("exactly one of them"), std::string::npos);
  EXPECT_NE(refused("model = \"granite\"\n" + freq).find("expected \"ice\" or \"shaley-sand\""), std::string::npos);
  EXPECT_NE(refused(base + freq + "lame = 2\n").find("lame must be a string"), std::string::npos);
  EXPECT_NE(refused(base + freq + "boundary = \"open\"\n").find("boundary = \"open\"; expected \"periodic\" or \"sealed\""),
            std::string::npos);
  EXPECT_NE(refused(base + "frequencies = [1,\n").find("not TOML"), std::string::npos);
  // The shaley-sand model needs its own fields, which the ice materials lack.
  std::string shale = base;
  shale.replace(shale.find("\"ice\""), 5, "\"shaley-sand\"");
  EXPECT_NE(refused(shale + freq).find("material \"sand\" lacks \"s3\""), std::string::npos);
}

// The committed example: the picture make_labels.py drew (1229 of 4096
// cells frozen, as it reports) under its two materials.
TEST(ExampleSample, PatchyIceReads) {
  const char* examples = std::getenv("UPSCALE_EXAMPLES");
  if (examples == nullptr) examples = TENSOR_IO_EXAMPLES;
  const tensor::Sample s = tensor::read_sample_file(std::string(examples) + "/patchy_ice/sample.toml");
  EXPECT_EQ(s.nx, 64);
  EXPECT_EQ(s.ny, 64);
  EXPECT_EQ(std::count(s.material_of_cell.begin(), s.material_of_cell.end(), 2), 1229);
  EXPECT_EQ(s.frequencies.size(), 15u);
}

}  // namespace
