// TIFF through libtiff on bytes in memory: one page, one sample per pixel,
// in strips or tiles, any compression the library was built with.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tensor/image_decoders.hpp"

namespace tensor {

namespace {

struct TiffSource {
  std::string_view bytes;
  uint64_t at = 0;
  std::string error;  // the first error libtiff reported
};

tmsize_t read_proc(thandle_t h, void* out, tmsize_t n) {
  auto* s = static_cast<TiffSource*>(h);
  if (n < 0 || s->at >= s->bytes.size()) return 0;
  const uint64_t left = s->bytes.size() - s->at;
  const uint64_t k = static_cast<uint64_t>(n) < left ? static_cast<uint64_t>(n) : left;
  std::memcpy(out, s->bytes.data() + s->at, k);
  s->at += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t write_proc(thandle_t, void*, tmsize_t) { return 0; }
toff_t seek_proc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<TiffSource*>(h);
  const uint64_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->bytes.size() : 0;
  s->at = base + off;
  return s->at;
}
int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return static_cast<TiffSource*>(h)->bytes.size(); }
int map_proc(thandle_t, void**, toff_t*) { return 0; }
void unmap_proc(thandle_t, void*, toff_t) {}

int on_error(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* s = static_cast<TiffSource*>(user);
  if (s->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    s->error = std::string(module ? module : "libtiff") + ": " + text;
  }
  return 1;
}
int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

enum class Want { labels, reals };

// The photometric interpretation (tag 262) as the first page's directory
// states it, or -1. libtiff reads a page marked palette but without a
// ColorMap as a grey one; a label image so marked is not taken for grey.
int stated_photometric(std::string_view b) {
  if (b.size() < 16) return -1;
  const bool little = b[0] == 'I', big_tiff = b[2] == '+' || b[3] == '+';
  auto read = [&](uint64_t at, int bytes) -> uint64_t {
    if (at + static_cast<uint64_t>(bytes) > b.size()) return UINT64_MAX;
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      const auto byte = static_cast<unsigned char>(b[at + static_cast<uint64_t>(little ? bytes - 1 - i : i)]);
      v = (v << 8) | byte;
    }
    return v;
  };
  const uint64_t dir = big_tiff ? read(8, 8) : read(4, 4);
  const uint64_t count = big_tiff ? read(dir, 8) : read(dir, 2);
  const uint64_t entry = big_tiff ? 20 : 12, first = dir + (big_tiff ? 8 : 2);
  for (uint64_t i = 0; dir != UINT64_MAX && count != UINT64_MAX && i < count && i < 4096; ++i) {
    const uint64_t at = first + i * entry;
    if (read(at, 2) == 262 && read(at + 2, 2) == 3) return static_cast<int>(read(at + (big_tiff ? 12 : 8), 2));
    if (read(at, 2) == UINT64_MAX) break;
  }
  return -1;
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw std::runtime_error("\"" + path + "\": TIFF image refused: " + why);
}

// Checks the page's layout; returns its bits per sample.
int check_layout(TIFF* tif, Want want, const std::string& path, uint32_t& width, uint32_t& height) {
  uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (TIFFNumberOfDirectories(tif) > 1)
    refuse(path, "it holds " + std::to_string(TIFFNumberOfDirectories(tif)) + " pages; one page expected");
  if (photometric == PHOTOMETRIC_PALETTE) refuse(path, "a palette image: grey values expected");
  if (spp != 1)
    refuse(path, std::to_string(spp) + " samples per pixel (colour or alpha); one sample per pixel expected");
  if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)
    refuse(path, "photometric interpretation " + std::to_string(photometric) + "; a grey image expected");
  const uint16_t compression = [&] {
    uint16_t c = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &c);
    return c;
  }();
  if (!TIFFIsCODECConfigured(compression))
    refuse(path, "compression scheme " + std::to_string(compression) + " is not supported by this libtiff");
  check_image_size(width, height, path);
  if (want == Want::labels && !(format == SAMPLEFORMAT_UINT && (bps == 8 || bps == 16)))
    refuse(path, "labels must be unsigned integers of 8 or 16 bits; this image has " + std::to_string(bps) +
                     "-bit samples of format " + std::to_string(format) + (format == SAMPLEFORMAT_IEEEFP ? " (float)" : ""));
  if (want == Want::reals && !(format == SAMPLEFORMAT_IEEEFP && (bps == 32 || bps == 64)))
    refuse(path, "water proportions must be floats of 32 (or 64) bits; this image has " + std::to_string(bps) +
                     "-bit samples of format " + std::to_string(format));
  return bps;
}

// Every strip or tile lies within the file, those of the band read or not:
// a file whose directory points past its end is refused whichever rows are
// wanted of it.
void check_places(TIFF* tif, const TiffSource& src, const std::string& path) {
  const bool tiled = TIFFIsTiled(tif);
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  for (uint32_t s = 0; s < count; ++s) {
    int err = 0;
    const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, s, &err);
    const uint64_t size = err ? 0 : TIFFGetStrileByteCountWithErr(tif, s, &err);
    if (err || offset > src.bytes.size() || size > src.bytes.size() - offset)
      refuse(path, std::string(tiled ? "tile " : "strip ") + std::to_string(s + 1) + " of " + std::to_string(count) +
                       " (" + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                       ") does not lie within the file of " + std::to_string(src.bytes.size()) + " bytes");
  }
}

// The rows first..last of the page (0-based, cut to the image), native byte
// order, top first: the tiles of the band's rows of tiles, each copied into
// place.
void read_tiled_band(TIFF* tif, TiffSource& src, uint32_t width, std::size_t b, int64_t first, int64_t last,
                     std::vector<unsigned char>& out, const std::string& path) {
  uint32_t tw = 0, th = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
  if (tw == 0 || th == 0 || static_cast<uint64_t>(tw) * th > (uint64_t{1} << 28)) refuse(path, "unusable tile size");
  if (static_cast<uint64_t>(TIFFTileSize64(tif)) != static_cast<uint64_t>(tw) * th * b)
    refuse(path, "unexpected tile size");
  std::vector<unsigned char> tile(static_cast<std::size_t>(tw) * th * b);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * b;
  for (int64_t y = first - first % th; y <= last; y += th) {
    const int64_t top = std::max(y, first), bottom = std::min<int64_t>(y + th - 1, last);
    out.resize(static_cast<std::size_t>(bottom - first + 1) * row_bytes);
    for (uint32_t x = 0; x < width; x += tw) {
      if (TIFFReadTile(tif, tile.data(), x, static_cast<uint32_t>(y), 0, 0) < 0)
        refuse(path, "cannot decode the tile at " + std::to_string(x) + "," + std::to_string(y) +
                         (src.error.empty() ? "" : ": " + src.error));
      const std::size_t cols = std::min(tw, width - x);
      for (int64_t r = top; r <= bottom; ++r)
        std::memcpy(&out[(static_cast<std::size_t>(r - first) * width + x) * b],
                    &tile[static_cast<std::size_t>(r - y) * tw * b], cols * b);
    }
  }
}

// As read_tiled_band for a page in strips: the strips that cover the band.
void read_striped_band(TIFF* tif, TiffSource& src, uint32_t width, uint32_t height, std::size_t b, int64_t first,
                       int64_t last, std::vector<unsigned char>& out, const std::string& path) {
  const std::size_t row_bytes = static_cast<std::size_t>(width) * b;
  if (static_cast<std::size_t>(TIFFScanlineSize64(tif)) != row_bytes) refuse(path, "unexpected row size");
  uint32_t per_strip = height;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &per_strip);
  per_strip = std::clamp<uint32_t>(per_strip, 1, height);
  std::vector<unsigned char> strip;
  for (int64_t y = first - first % per_strip; y <= last; y += per_strip) {
    const int64_t rows = std::min<int64_t>(per_strip, height - y);
    const int64_t top = std::max(y, first), bottom = std::min<int64_t>(y + rows - 1, last);
    strip.resize(static_cast<std::size_t>(rows) * row_bytes);
    const tmsize_t want = static_cast<tmsize_t>(strip.size());
    const auto s = static_cast<uint32_t>(y / per_strip);
    if (TIFFReadEncodedStrip(tif, s, strip.data(), want) != want)
      refuse(path, "cannot decode strip " + std::to_string(s + 1) + " (rows " + std::to_string(y) + " to " +
                       std::to_string(y + rows - 1) + ")" + (src.error.empty() ? "" : ": " + src.error));
    out.resize(static_cast<std::size_t>(bottom - first + 1) * row_bytes);
    std::memcpy(&out[static_cast<std::size_t>(top - first) * row_bytes],
                &strip[static_cast<std::size_t>(top - y) * row_bytes], static_cast<std::size_t>(bottom - top + 1) * row_bytes);
  }
}

// The samples of the band's rows, native byte order, top first. The buffer
// grows with the rows decoded: a short file that claims a large image fails
// before much memory is taken.
std::vector<unsigned char> read_samples(TIFF* tif, TiffSource& src, uint32_t width, uint32_t height, int bps,
                                        ImageRows& rows, const std::string& path) {
  const std::size_t b = static_cast<std::size_t>(bps / 8);
  check_places(tif, src, path);
  rows.first = std::max<int64_t>(rows.first, 0);
  rows.last = std::min<int64_t>(rows.last, static_cast<int64_t>(height) - 1);
  std::vector<unsigned char> out;
  if (rows.first > rows.last) return out;
  if (TIFFIsTiled(tif)) read_tiled_band(tif, src, width, b, rows.first, rows.last, out, path);
  else read_striped_band(tif, src, width, height, b, rows.first, rows.last, out, path);
  return out;
}

std::vector<unsigned char> decode(std::string_view bytes, const std::string& path, Want want, uint32_t& width,
                                  uint32_t& height, int& bps, ImageRows& rows) {
  TiffSource src{bytes, 0, {}};
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> opts(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), on_error, &src);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), on_warning, &src);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), tmsize_t{1} << 30);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt(path.c_str(), "rm", &src, read_proc, write_proc, seek_proc,
                                                          close_proc, size_proc, map_proc, unmap_proc, opts.get()));
  if (!tif) refuse(path, "not a readable TIFF file" + (src.error.empty() ? "" : ": " + src.error));
  if (stated_photometric(bytes) == PHOTOMETRIC_PALETTE) refuse(path, "a palette image: grey values expected");
  bps = check_layout(tif.get(), want, path, width, height);
  return read_samples(tif.get(), src, width, height, bps, rows, path);
}

// Sample i of the decoded bytes, of type U (as the machine orders bytes).
template <class U>
U sample_at(const std::vector<unsigned char>& s, std::size_t i) {
  U v;
  std::memcpy(&v, &s[sizeof(U) * i], sizeof(U));
  return v;
}

// The image's samples as T, each read as Narrow or as Wide, whichever has
// the bits per sample the file states.
template <class T, class Narrow, class Wide>
Image<T> decode_as(std::string_view bytes, const std::string& path, Want want, ImageRows rows) {
  uint32_t w = 0, h = 0;
  int bps = 0;
  const std::vector<unsigned char> s = decode(bytes, path, want, w, h, bps, rows);
  Image<T> im{w, h, std::vector<T>(s.size() / static_cast<std::size_t>(bps / 8)), rows.first};
  const bool narrow = bps == 8 * static_cast<int>(sizeof(Narrow));
  for (std::size_t i = 0; i < im.values.size(); ++i)
    im.values[i] = narrow ? static_cast<T>(sample_at<Narrow>(s, i)) : static_cast<T>(sample_at<Wide>(s, i));
  return im;
}

}  // namespace

Image<int32_t> decode_tiff_labels(std::string_view bytes, const std::string& path, ImageRows rows) {
  return decode_as<int32_t, uint8_t, uint16_t>(bytes, path, Want::labels, rows);
}

Image<double> decode_tiff_reals(std::string_view bytes, const std::string& path, ImageRows rows) {
  return decode_as<double, float, double>(bytes, path, Want::reals, rows);
}

}  // namespace tensor
