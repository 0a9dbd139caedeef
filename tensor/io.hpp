// Reading a sample and writing the results of tensor_upscale.
//
// Every reader refuses a bad file with std::runtime_error whose message names
// the file, the quantity (or line/pixel), the value and what was expected.
// Every writer creates its file without following links, writes a temporary
// name and renames it into place, and throws std::runtime_error on a write
// error.
#pragma once

#include <cstdint>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "tensor/sample.hpp"
#include "tensor/tensor_row.hpp"

namespace tensor {

// A grid of values as an image holds it: `width` x `height`, top row first;
// `values` holds the rows first_row, first_row + 1, ... (0-based from the
// top) of it: the whole image, or a band of rows read alone.
template <class T>
struct Image {
  int64_t width = 0, height = 0;
  std::vector<T> values;  // row-major, top row first
  int64_t first_row = 0;
  int64_t rows() const { return width > 0 ? static_cast<int64_t>(values.size()) / width : 0; }
};

// The image rows (0-based, top first) first..last a reader keeps; the rows
// beyond the image's last are not there (a band of rows may run past it).
// The default: every row.
struct ImageRows {
  int64_t first = 0, last = INT64_MAX;
};

// The largest sample an image may give (cells), and the largest input file
// read (bytes).
inline constexpr int64_t kMaxImageCells = 100'000'000;
inline constexpr int64_t kMaxInputBytes = int64_t{1} << 31;

// Label image: PNG or TIFF, 8 or 16 bit grey, or plain text (one row of
// cells per line, top row first), chosen by content, not by name; the rows
// `rows` of it (the digest is the whole file's, and every check that refuses
// the file as a whole holds whichever rows are asked).
Image<int32_t> read_label_image(const std::string& path, std::string& sha256, ImageRows rows = {});
// Water-proportion image: TIFF float32 or plain text.
Image<double> read_water_image(const std::string& path, std::string& sha256, ImageRows rows = {});

// Puts an image's labels into the sample (nx = width, ny = height, base row
// = last image row), mapping each label to the material that carries it;
// a label with no material is refused naming the pixel and the label.
void apply_label_image(const Image<int32_t>& image, const std::string& path, Sample& sample);
void apply_water_image(const Image<double>& image, const std::string& path, Sample& sample);

// How the ranks of a job share the reading of a sample: `band` gives the
// cell rows (1-based from the base) this rank keeps of a sample of ny rows,
// and `agree` runs one step of the reading on every rank, every rank then
// raising the refusal a reader of the whole sample would have met first.
// Without `band` the sample is read whole.
struct RowBand {
  int64_t first = 1, last = 0;
};
struct ReadShare {
  std::function<RowBand(int64_t ny)> band;
  std::function<void(const std::function<void()>&)> agree;
};

// A sample file (TOML): model, cell size, materials, label image, optional
// water image, frequencies; paths inside it are relative to the file.
Sample read_sample_file(const std::string& path, const ReadShare& share = {});

// The maps of a sample read whole cut to the band `b` (and the row above it).
void keep_band(Sample& s, RowBand b);
// The label (water-proportion) image at `path` into the sample: whole, or of
// a shared reading only the rows of this rank's band and the row above it
// (PNG rows, TIFF strips), the decoding and the labels agreed step by step.
// `on_image`, if given, sees the image (its size) before its labels go in.
void read_labels_into(Sample& s, const std::string& path, std::string& sha256, const ReadShare& share,
                      const std::function<void(const Image<int32_t>&)>& on_image = {});
void read_water_into(Sample& s, const std::string& path, std::string& sha256, const ReadShare& share);

// "tensor.csv": a header row, a units row, one row per frequency, full precision.
void write_tensor_csv(const std::string& path, const std::vector<TensorRow>& rows);
// The gnuplot spectrum plot ("tensor.gp") drawing "tensor.csv" (read from
// `dir`, where it must stand) into "tensor.png"; `gnuplot tensor.gp` in
// `dir` draws it.
void write_spectrum_plot(const std::string& dir);
// Runs gnuplot on "tensor.gp" in `dir`; false when gnuplot is not on the
// PATH or fails.
bool draw_spectrum_plot(const std::string& dir);

// A cell field for the .vti writer: name with its SI unit, nx*ny values in
// the sample's cell layout (k = 1 the base row).
struct CellField {
  std::string name;
  std::vector<double> values;
};
// VTK XML image data, binary (base64 inline), spacing h in metres.
void write_vti(const std::string& path, int64_t nx, int64_t ny, double h, const std::vector<CellField>& fields);

}  // namespace tensor
