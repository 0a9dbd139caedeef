// The sample file: a complete one builds the sample it describes; a typo,
// a missing field, a value outside the deck's range or two materials of one
// label is refused, naming the line, the material and the field.
#include <filesystem>

#include "scratch.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;

// One material of the ice model, each field on its own line.
std::string sand_material() {
  std::string text = "[[material]]\nname = \"sand\"\nlabel = 0\n";
  for (const char* field : {"akf = 2.25e9", "ro2 = 1000", "eta = 1.798e-3", "ro1 = 2650", "ro3 = 920", "phi_a = 0.4",
                            "phi_layer1 = 0.1", "capa_1_0 = 1e-12", "capa_3_0 = 5e-13", "coef_b13 = 1e8", "ak_air = 1.42e5",
                            "xmu_air = 1e3", "ak_s1 = 3.6e10", "xmu_s1 = 4.4e10", "ak_s3 = 8.58e9", "xmu_s3 = 3.32e9"})
    text += field + std::string("\n");
  return text;
}
const std::string kSand = sand_material();

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
  // Five frequencies, the log scale of --freq 1:1e4:5 (tried in test_options.cpp).
  ASSERT_EQ(s.frequencies.size(), 5u);
  EXPECT_EQ(s.frequencies.back(), 1e4);
  ASSERT_EQ(s.input_digests.size(), 3u);  // the file and both images
  EXPECT_EQ(s.input_digests[1].first, at("maps/labels.txt"));
}

TEST_F(SampleFile, TyposMissingFieldsAndValuesOutOfRangeAreRefused) {
  const std::string freq = "frequencies = [10, 100]\n";
  std::string shale = base;  // the shaley-sand model needs its own fields, which the ice materials lack
  shale.replace(shale.find("\"ice\""), 5, "\"shaley-sand\"");
  // The globals, an edit of the sand material (its text and what replaces it), what the refusal says.
  const struct {
    std::string globals, from, to, says;
  } cases[] = {
      {base + freq + "cellsize = 2\n", "", "", "line 5: unknown key \"cellsize\" at the top level"},
      {base + freq, "eta =", "etta =", "unknown key \"etta\" in material \"sand\""},
      {base + freq, "akf = 2.25e9\n", "", "material \"sand\" lacks \"akf\""},
      {base + freq, "akf = 2.25e9", "akf = -1", "in material \"sand\": akf = -1 is outside (0, 1e+12] Pa"},
      {base + freq, "phi_layer1 = 0.1", "phi_layer1 = 0.4", "must be below the absolute porosity phi_a = 0.4"},
      {base + freq, "label = 0", "label = 5", "carry the same label 5"},
      {base + "frequencies = [0]\n", "", "", "frequency 0 is outside (0, 1e+12] Hz"},
      {"model = \"ice\"\ncell_size = 0\nlabels = \"maps/labels.txt\"\n" + freq, "", "", "cell_size = 0 must be a positive length"},
      {base, "", "", "exactly one of them"},
      {"model = \"granite\"\n" + freq, "", "", "expected \"ice\" or \"shaley-sand\""},
      {base + freq + "lame = 2\n", "", "", "lame must be a string"},
      {base + freq + "boundary = \"open\"\n", "", "", "boundary = \"open\"; expected \"periodic\" or \"sealed\""},
      {base + "frequencies = [1,\n", "", "", "not TOML"},
      {shale + freq, "", "", "material \"sand\" lacks \"s3\""},
  };
  for (const auto& c : cases) {
    std::string sand = kSand;
    if (!c.from.empty()) sand.replace(sand.find(c.from), c.from.size(), c.to);
    EXPECT_NE(refused(c.globals, sand).find(c.says), std::string::npos) << c.says;
  }
}

}  // namespace
