// Decoders of the image formats a sample may come in: PNG and TIFF through
// libpng and libtiff from bytes in memory, and a plain-text grid. Each
// refuses what a sample cannot be (colour, palette, several samples per
// pixel, several pages, more than kMaxImageCells cells) with
// std::runtime_error naming the file `path`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tensor/io.hpp"

namespace tensor {

enum class FileKind { png, tiff, text, other };

// Recognised by the first bytes: the PNG signature, a TIFF byte-order mark
// with its magic number, or only printable ASCII, tabs and line ends.
FileKind kind_of(std::string_view bytes);

// Grey PNG of 1 to 16 bits per pixel: the grey values of the rows `rows`.
// The stream is decoded (its checksums checked) up to the band's last row
// and no further (an interlaced image to its end); rows outside the band are
// dropped as soon as they are decoded.
Image<int32_t> decode_png_labels(std::string_view bytes, const std::string& path, ImageRows rows = {});
// TIFF of one page and one sample per pixel: unsigned 8 or 16 bits...
// Only the strips (or rows of tiles) that cover `rows` are decoded; the
// place of every strip or tile is checked against the file's size.
Image<int32_t> decode_tiff_labels(std::string_view bytes, const std::string& path, ImageRows rows = {});
// ... or IEEE floats of 32 or 64 bits.
Image<double> decode_tiff_reals(std::string_view bytes, const std::string& path, ImageRows rows = {});

// Plain text: one row of cells per line, top row first, items separated by
// blanks or one comma; lines that are blank or start with '#' are skipped;
// every row must be as long as the first.
Image<int32_t> parse_text_labels(std::string_view text, const std::string& path);
Image<double> parse_text_reals(std::string_view text, const std::string& path);

// Refuses an image of more cells than a sample may have.
void check_image_size(int64_t width, int64_t height, const std::string& path);

}  // namespace tensor
