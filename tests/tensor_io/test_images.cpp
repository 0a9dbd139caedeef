// Label and water images: what libpng/libtiff wrote comes back pixel for
// pixel, whatever the container (PNG, TIFF strips or tiles, text); what a
// sample cannot be is refused with the reason; pixels land in the cells
// with the image's last row at the base.
#include <sys/stat.h>
#include <unistd.h>

#include "scratch.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;
using tensor_test::write_png;
using tensor_test::write_tiff;

using tensor_test::grey, tensor_test::W, tensor_test::H;

void expect_image(const tensor::Image<int32_t>& im, const std::vector<uint16_t>& want) {
  ASSERT_EQ(im.width, W);
  EXPECT_EQ(im.values, std::vector<int32_t>(want.begin(), want.end()));
}

class Images : public tensor_test::Scratch {
 protected:
  tensor::Image<int32_t> labels(const std::string& path) {
    std::string sha;
    auto im = tensor::read_label_image(path, sha);
    EXPECT_EQ(sha.size(), 64u);
    return im;
  }
};

// Pixel for pixel in every container: test_image_bands.cpp. Here the file's
// content, not its name, decides how it is read; labels and water as text.
TEST_F(Images, TheContentNotTheNameDecidesTheFormat) {
  const auto v16 = grey(16), v8 = grey(8);
  write_png(at("a.tif"), W, H, v16, 16);
  expect_image(labels(at("a.tif")), v16);
  write_tiff(at("b.png"), W, H, std::vector<uint8_t>(v8.begin(), v8.end()), 1, true);
  expect_image(labels(at("b.png")), v8);
  std::string sha;
  const auto t = tensor::read_label_image(put("l.txt", "# two rows\n1, 2,3\r\n\n 4 5\t6\n"), sha);
  EXPECT_EQ(t.width, 3);
  EXPECT_EQ(t.values, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(sha, "f1e78eda85ebf51d791c8899bcbda141686ed48d15d3ca1ca10db2e6514d16eb");  // sha256sum of the file
  EXPECT_EQ(tensor::read_water_image(put("w.txt", "0.25 1e-1\n0.125,0.3\n"), sha).values,
            (std::vector<double>{0.25, 0.1, 0.125, 0.3}));
}

TEST_F(Images, WhatCannotBeASampleIsRefusedWithTheReason) {
  write_png(at("rgb.png"), W, H, grey(8), 8, PNG_FILTER_NONE, false, 8192, true);
  write_tiff(at("rgb.tif"), W, H, std::vector<uint8_t>(W * H, 1), 3);
  write_tiff(at("pages.tif"), W, H, std::vector<uint8_t>(W * H, 1), 1, false, 2);
  write_tiff(at("float.tif"), W, H, std::vector<float>(W * H, 1));
  put("bin.dat", std::string("\x01\x02\x00\xff", 4));
  put("ragged.txt", "1 2 3\n4 5\n");
  put("word.txt", "1 2 x3\n");
  put("cut.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
  ASSERT_EQ(::symlink(at("ragged.txt").c_str(), at("link.txt").c_str()), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  const std::pair<const char*, const char*> cases[] = {
      {"rgb.png", "colour (RGB)"}, {"rgb.tif", "3 samples per pixel"}, {"pages.tif", "2 pages"},
      {"float.tif", "unsigned integers of 8 or 16 bits"}, {"bin.dat", "neither PNG, TIFF nor plain text"},
      {"ragged.txt", "line 2: a row of 2 cells; the first row has 3"}, {"word.txt", "item 3 (2 characters) is not an integer"},
      {"cut.png", "PNG label image refused"}, {"link.txt", "symbolic link"}, {"fifo", "not a regular file"}};
  for (const auto& [name, says] : cases) EXPECT_NE(refusal([&] { labels(at(name)); }).find(says), std::string::npos) << name;
  std::string sha;
  write_png(at("grey.png"), W, H, grey(8), 8);
  EXPECT_NE(refusal([&] { tensor::read_water_image(at("grey.png"), sha); }).find("float TIFF or text"), std::string::npos);
}

tensor::Sample two_materials(int key_model) {
  tensor::Sample s;
  s.key_model = key_model;
  s.materials.resize(2);
  s.materials[0].name = "sand", s.materials[0].label = 10, s.materials[0].phi_a = 0.4;
  s.materials[1].name = "ice", s.materials[1].label = 200, s.materials[1].phi_a = 0.3;
  return s;
}

// Three columns, two rows: the top row is all sand but its last pixel,
// and lands in the top row of cells; labels no material carries and water
// outside its range are refused naming the pixel.
TEST_F(Images, TheLastImageRowIsTheBaseAndEveryPixelIsChecked) {
  tensor::Sample s = two_materials(0);
  tensor::apply_label_image({3, 2, {10, 10, 200, 200, 10, 10}}, "m.png", s);
  EXPECT_EQ(s.nx, 3);
  EXPECT_EQ(s.ny, 2);
  EXPECT_EQ(s.material_of_cell, (std::vector<int32_t>{2, 1, 1, 1, 1, 2}));  // k = 1 first
  tensor::apply_water_image({3, 2, {0.1, 0.2, 0.25, 0.05, 0.06, 0.07}}, "w.txt", s);
  EXPECT_EQ(s.water_of_cell, (std::vector<double>{0.05, 0.06, 0.07, 0.1, 0.2, 0.25}));
  EXPECT_NE(refusal([&] { tensor::apply_label_image({3, 2, {10, 10, 10, 10, 7, 10}}, "m.png", s); })
                .find("\"m.png\": pixel (column 1, row 1; counted from 0 at the top left, cell j,k = 2,1) has the "
                      "label 7, which no material carries"),
            std::string::npos);
  tensor::apply_label_image({3, 2, {10, 10, 10, 10, 10, 200}}, "m.png", s);
  auto water = [&](std::vector<double> v, int w = 3) {
    return refusal([&] { tensor::apply_water_image({w, static_cast<int64_t>(v.size()) / w, v}, "w.tif", s); });
  };
  EXPECT_NE(water({0.1, 0.1}, 2).find("has 2 x 1 cells; the sample has 3 x 2"), std::string::npos);
  EXPECT_NE(water({0.1, 1.5, 0.1, 0.1, 0.1, 0.1}).find("row 0; counted from 0 at the top left, cell j,k = 2,2): "
                                                       "water proportion 1.5 is outside (0, 1)"),
            std::string::npos);
  // Ice model: the water must leave room for ice below the material's phi_a.
  EXPECT_NE(water({0.1, 0.1, 0.1, 0.1, 0.1, 0.3}).find("water proportion 0.3 is not below the absolute porosity "
                                                       "phi_a = 0.3 of its material \"ice\""),
            std::string::npos);
  s.key_model = 1;
  EXPECT_EQ(water({0.1, 0.1, 0.1, 0.1, 0.1, 0.3}), "");
}

}  // namespace
