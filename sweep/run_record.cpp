// Members of the run.json a program leaves beside its results.
#include <cstdlib>

#include "sweep/sweep.hpp"

namespace sweep {

std::optional<std::string> json_member(const std::string& json, const std::string& key) {
  const std::string quoted = "\"" + key + "\"";
  for (size_t at = json.find(quoted); at != std::string::npos; at = json.find(quoted, at + 1)) {
    size_t i = at + quoted.size();
    while (i < json.size() && (json[i] == ' ' || json[i] == '\t' || json[i] == '\n' || json[i] == '\r')) ++i;
    if (i >= json.size() || json[i] != ':') continue;  // a value, not a key
    ++i;
    while (i < json.size() && (json[i] == ' ' || json[i] == '\t' || json[i] == '\n' || json[i] == '\r')) ++i;
    if (i >= json.size()) return std::nullopt;
    if (json[i] != '"') {
      size_t e = json.find_first_of(",}\n\r \t", i);
      return json.substr(i, e == std::string::npos ? std::string::npos : e - i);
    }
    std::string out;
    for (++i; i < json.size() && json[i] != '"'; ++i) {
      if (json[i] != '\\' || i + 1 >= json.size()) {
        out += json[i];
        continue;
      }
      const char e = json[++i];
      if (e == 'n') out += '\n';
      else if (e == 't') out += '\t';
      else if (e == 'r') out += '\r';
      else if (e == 'u' && i + 4 < json.size()) {
        const long c = std::strtol(json.substr(i + 1, 4).c_str(), nullptr, 16);
        out += c < 0x80 ? static_cast<char>(c) : '?';
        i += 4;
      } else out += e;
    }
    return out;
  }
  return std::nullopt;
}

}  // namespace sweep
