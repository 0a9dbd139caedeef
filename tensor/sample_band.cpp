// A sample read by the ranks of a job, each keeping its band of cell rows
// and the row above it: images decoded in those rows alone, the maps of a
// deck cut to them, and every refusal agreed as a reader of the whole
// sample would meet it.
#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "tensor/io.hpp"

namespace tensor {

namespace {

// The image at `path` in the image rows that hold this rank's band of cell
// rows and the row above it; `band` becomes that band. The header is read
// first for the image's height; the file must not change in between.
template <class T, class Reader>
Image<T> read_band(Reader read, const std::string& path, std::string& sha256, const ReadShare& share, RowBand& band) {
  const Image<T> head = read(path, sha256, ImageRows{0, -1});
  band = share.band(head.height);
  const int64_t top = std::min(head.height, band.last + 1);
  std::string again;
  Image<T> image = read(path, again, ImageRows{head.height - top, head.height - band.first});
  if (again != sha256) throw std::runtime_error("\"" + path + "\": the file changed while it was read");
  return image;
}

void mark_band(Sample& s, RowBand b) { s.banded = true, s.first_row = b.first, s.last_row = b.last; }

}  // namespace

void keep_band(Sample& s, RowBand b) {
  if (s.banded) throw std::logic_error("keep_band: the sample holds a band already");
  const auto nx = static_cast<std::ptrdiff_t>(s.nx);
  const std::ptrdiff_t first = b.first - 1, end = std::min(s.ny, b.last + 1);
  const auto cut = [&](auto& v) {
    if (v.empty()) return;
    v.erase(v.begin() + end * nx, v.end());
    v.erase(v.begin(), v.begin() + first * nx);
    v.shrink_to_fit();
  };
  cut(s.material_of_cell);
  cut(s.water_of_cell);
  mark_band(s, b);
}

void read_labels_into(Sample& s, const std::string& path, std::string& sha256, const ReadShare& share,
                      const std::function<void(const Image<int32_t>&)>& on_image) {
  if (!share.band) {
    const Image<int32_t> image = read_label_image(path, sha256);
    if (on_image) on_image(image);
    apply_label_image(image, path, s);
    return;
  }
  Image<int32_t> image;
  RowBand band;
  share.agree([&] { image = read_band<int32_t>(read_label_image, path, sha256, share, band); });
  if (on_image) on_image(image);
  share.agree([&] {
    // A deck's maps of the image's size are cut to the band first; the
    // labels then replace its materials (its water proportions stay).
    if (!s.banded && s.nx == image.width && s.ny == image.height) keep_band(s, band);
    else if (!s.banded) mark_band(s, band);
    apply_label_image(image, path, s);
  });
}

void read_water_into(Sample& s, const std::string& path, std::string& sha256, const ReadShare& share) {
  if (!share.band) {
    apply_water_image(read_water_image(path, sha256), path, s);
    return;
  }
  Image<double> image;
  RowBand band;
  share.agree([&] { image = read_band<double>(read_water_image, path, sha256, share, band); });
  share.agree([&] { apply_water_image(image, path, s); });
}

}  // namespace tensor
