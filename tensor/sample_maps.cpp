// Which material and how much water each cell holds, from images: image
// column x is cell j = x + 1, image row y (top first) is cell row
// k = height - y, so the image's last row is the base of the sample. An
// image read in a band of its rows fills the sample's band.
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "core/deck.hpp"
#include "upscaling/deck_checks.hpp"
#include "tensor/io.hpp"

namespace tensor {

namespace {

// The place in a sample's maps of the pixel in column x whose cell row
// counts `up` from the lowest row the maps hold (0 there).
std::size_t cell_of_pixel(int64_t x, int64_t up, int64_t width) { return static_cast<std::size_t>(x + up * width); }

std::string pixel_name(int64_t x, int64_t y, int64_t height) {
  return "pixel (column " + std::to_string(x) + ", row " + std::to_string(y) + "; counted from 0 at the top left, cell j,k = " +
         std::to_string(x + 1) + "," + std::to_string(height - y) + ")";
}

std::string shown(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

}  // namespace

void apply_label_image(const Image<int32_t>& image, const std::string& path, Sample& sample) {
  std::unordered_map<int32_t, int32_t> material_of_label;
  for (std::size_t m = 0; m < sample.materials.size(); ++m) {
    const auto [it, fresh] = material_of_label.emplace(sample.materials[m].label, static_cast<int32_t>(m + 1));
    if (!fresh)
      throw std::runtime_error("materials \"" + sample.materials[it->second - 1].name + "\" and \"" +
                               sample.materials[m].name + "\" carry the same label " +
                               std::to_string(sample.materials[m].label) + "; each label marks one material");
  }
  if (!sample.water_of_cell.empty() &&
      (image.width != sample.nx || image.height != sample.ny))
    throw std::runtime_error("\"" + path + "\": the label image has " + std::to_string(image.width) + " x " +
                             std::to_string(image.height) + " cells, the water proportions given before " +
                             std::to_string(sample.nx) + " x " + std::to_string(sample.ny));
  std::vector<int32_t> cells(image.values.size());
  const int64_t base = image.height - (image.first_row + image.rows() - 1);  // the lowest cell row held
  for (int64_t y = image.first_row; y < image.first_row + image.rows(); ++y)
    for (int64_t x = 0; x < image.width; ++x) {
      const int32_t label = image.values[static_cast<std::size_t>((y - image.first_row) * image.width + x)];
      const auto it = material_of_label.find(label);
      if (it == material_of_label.end())
        throw std::runtime_error("\"" + path + "\": " + pixel_name(x, y, image.height) + " has the label " +
                                 std::to_string(label) + ", which no material carries");
      cells[cell_of_pixel(x, image.height - y - base, image.width)] = it->second;
    }
  sample.nx = image.width;
  sample.ny = image.height;
  sample.material_of_cell = std::move(cells);
  if (sample.material_of_cell.size() != sample.held_cells() || base != sample.band_first())
    throw std::logic_error("apply_label_image: the image's rows are not the sample's band");
}

void apply_water_image(const Image<double>& image, const std::string& path, Sample& sample) {
  if (image.width != sample.nx || image.height != sample.ny)
    throw std::runtime_error("\"" + path + "\": the water-proportion image has " + std::to_string(image.width) +
                             " x " + std::to_string(image.height) + " cells; the sample has " +
                             std::to_string(sample.nx) + " x " + std::to_string(sample.ny));
  if (sample.material_of_cell.size() != image.values.size())
    throw std::logic_error("apply_water_image: the sample has no material map yet");
  core::Deck ranges;  // the range of a layer's water proportion in the sample's model
  ranges.key_model = sample.key_model;
  ranges.model = 0;
  std::vector<double> water(image.values.size());
  const int64_t base = image.height - (image.first_row + image.rows() - 1);
  if (base != sample.band_first()) throw std::logic_error("apply_water_image: the image's rows are not the sample's band");
  for (int64_t y = image.first_row; y < image.first_row + image.rows(); ++y)
    for (int64_t x = 0; x < image.width; ++x) {
      const double v = image.values[static_cast<std::size_t>((y - image.first_row) * image.width + x)];
      const std::size_t c = cell_of_pixel(x, image.height - y - base, image.width);
      std::string why = upscaling::real_out_of_range("phi_layer1", v, ranges);
      const Material& m = sample.materials.at(static_cast<std::size_t>(sample.material_of_cell[c] - 1));
      if (why.empty() && sample.key_model == 0 && !(v < m.phi_a))
        why = "is not below the absolute porosity phi_a = " + shown(m.phi_a) + " of its material \"" + m.name +
              "\" (ice model: the rest of the pores hold ice)";
      if (!why.empty())
        throw std::runtime_error("\"" + path + "\": " + pixel_name(x, y, image.height) + ": water proportion " +
                                 shown(v) + " " + why);
      water[c] = v;
    }
  sample.water_of_cell = std::move(water);
}

}  // namespace tensor
