#include "core/text_in.hpp"

// Placeholder readers; the exact Fortran rules are being built.
#include <cstdlib>

namespace core {

Field<int32_t> read_list_int(std::string_view r) { return {static_cast<int32_t>(std::atoi(std::string(r).c_str())), {}, false}; }
Field<double> read_list_real(std::string_view r) { return {std::atof(std::string(r).c_str()), {}, false}; }
Field<int32_t> read_i5(std::string_view r) { return read_list_int(r.substr(0, 5)); }
Field<double> read_g20_10(std::string_view r) { return read_list_real(r.substr(0, 20)); }
Field<double> read_e12_4(std::string_view r) { return read_list_real(r.substr(0, 12)); }

std::optional<std::string> RecordSource::next() {
  std::string s;
  int c;
  bool any = false;
  while ((c = std::fgetc(f_)) != EOF) {
    any = true;
    if (c == '\n') break;
    s += static_cast<char>(c);
  }
  if (!any) return std::nullopt;
  if (!s.empty() && s.back() == '\r') s.pop_back();
  ++number_;
  return s;
}

}  // namespace core
