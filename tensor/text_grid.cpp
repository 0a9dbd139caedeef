// Plain-text grids: one row of cells per line, items separated by blanks or
// a comma, checked item by item with the line and column in the message.
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <system_error>

#include "tensor/image_decoders.hpp"

namespace tensor {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

[[noreturn]] void refuse(const std::string& path, int64_t line, const std::string& why) {
  throw std::runtime_error("\"" + path + "\" line " + std::to_string(line) + ": " + why);
}

// An item is named by its place, never quoted: a file given by mistake (a
// key, a configuration) must not reach the messages and run.json.
std::string shown(std::string_view item) { return "(" + std::to_string(item.size()) + " characters)"; }

int32_t parse_item(std::string_view item, int32_t*, const std::string& path, int64_t line, int64_t col) {
  int64_t v = 0;
  const char* end = item.data() + item.size();
  auto [p, ec] = std::from_chars(item.data() + (item.front() == '+'), end, v);
  if (ec != std::errc() || p != end)
    refuse(path, line, "item " + std::to_string(col) + " " + shown(item) + " is not an integer label");
  if (v < INT32_MIN || v > INT32_MAX)
    refuse(path, line, "item " + std::to_string(col) + " " + shown(item) + " is beyond the 32-bit labels");
  return static_cast<int32_t>(v);
}

double parse_item(std::string_view item, double*, const std::string& path, int64_t line, int64_t col) {
  double v = 0;
  const char* end = item.data() + item.size();
  auto [p, ec] = std::from_chars(item.data() + (item.front() == '+'), end, v);
  if (ec == std::errc() && p == end) return v;
  refuse(path, line, "item " + std::to_string(col) + " " + shown(item) +
                         (ec == std::errc::result_out_of_range ? " is beyond the range of a double" : " is not a number"));
}

template <class T>
Image<T> parse_grid(std::string_view text, const std::string& path) {
  Image<T> im;
  int64_t line = 0;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view row = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++line;
    std::size_t i = 0;
    while (i < row.size() && is_blank(row[i])) ++i;
    if (i == row.size() || row[i] == '#') continue;
    int64_t cols = 0;
    while (i < row.size()) {
      std::size_t start = i;
      while (i < row.size() && !is_blank(row[i]) && row[i] != ',') ++i;
      if (i == start) refuse(path, line, "an empty item after item " + std::to_string(cols) + " (two commas?)");
      im.values.push_back(parse_item(row.substr(start, i - start), static_cast<T*>(nullptr), path, line, cols + 1));
      ++cols;
      // Checked cell by cell: one endless row is refused before it fills the memory.
      if (static_cast<int64_t>(im.values.size()) > kMaxImageCells)
        refuse(path, line, "more than " + std::to_string(kMaxImageCells) + " cells in the grid, the most a sample may have");
      while (i < row.size() && is_blank(row[i])) ++i;
      if (i < row.size() && row[i] == ',') {
        ++i;
        while (i < row.size() && is_blank(row[i])) ++i;
        if (i == row.size()) refuse(path, line, "the row ends with a comma");
      }
    }
    if (im.height == 0) im.width = cols;
    else if (cols != im.width)
      refuse(path, line, "a row of " + std::to_string(cols) + " cells; the first row has " +
                             std::to_string(im.width) + " and every row must have as many");
    ++im.height;
    if (im.width * im.height > kMaxImageCells) check_image_size(im.width, im.height, path);
  }
  check_image_size(im.width, im.height, path);
  return im;
}

}  // namespace

Image<int32_t> parse_text_labels(std::string_view text, const std::string& path) {
  return parse_grid<int32_t>(text, path);
}
Image<double> parse_text_reals(std::string_view text, const std::string& path) {
  return parse_grid<double>(text, path);
}

}  // namespace tensor
