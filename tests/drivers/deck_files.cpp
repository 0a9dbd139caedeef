#include "deck_files.hpp"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace deck_files {

std::string examples_dir() {
  const char* e = std::getenv("UPSCALE_EXAMPLES");
  return e ? e : UPSCALE_DEFAULT_EXAMPLES;
}

std::vector<std::string> lines_of(const std::string& deck_name) {
  std::ifstream f(examples_dir() + "/" + deck_name);
  if (!f) throw std::runtime_error("cannot open example deck " + deck_name);
  std::vector<std::string> lines;
  for (std::string s; std::getline(f, s);) lines.push_back(s);
  return lines;
}

std::string join(const std::vector<std::string>& lines, const std::string& eol) {
  std::string s;
  for (const std::string& l : lines) s += l + eol;
  return s;
}

std::vector<std::string> with_record(std::vector<std::string> lines, int record, const std::string& text) {
  lines.at(static_cast<std::size_t>(record - 1)) = text;
  return lines;
}

std::vector<std::string> first_records(std::vector<std::string> lines, int n) {
  lines.resize(static_cast<std::size_t>(n));
  return lines;
}

}  // namespace deck_files
