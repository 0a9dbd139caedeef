#include "drivers/run_record.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "core/build_info.hpp"
#include "core/sha256.hpp"
#include "core/stop.hpp"

namespace drivers::run_record {

namespace {

struct Record {
  std::string program;
  std::string start_time;
  std::vector<std::pair<std::string, std::optional<std::string>>> inputs;  // key, digest
  std::vector<std::pair<std::string, double>> results;
};

Record& record() {
  static Record r;
  return r;
}

// A JSON string literal in ASCII: quotes, backslashes and control bytes
// escaped, every byte beyond ASCII replaced by U+FFFD (the messages are
// ASCII; this keeps any other byte from making the record invalid).
std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\', out += s[i];
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c < 0x80 ? std::string(1, s[i]) : std::string("\\ufffd");
    }
  }
  return out + '"';
}

// The shortest digits that read back to the same double; null for a value
// JSON cannot hold (NaN, infinities).
std::string number(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  return std::string(buf, end);
}

std::string utc_now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  char buf[32] = "unknown";
  if (t != static_cast<std::time_t>(-1) && gmtime_r(&t, &tm) != nullptr)
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

double cpu_seconds() {
  const std::clock_t c = std::clock();
  return c == static_cast<std::clock_t>(-1) ? std::nan("") : static_cast<double>(c) / CLOCKS_PER_SEC;
}

bool write_at_end(int code, std::string_view message) {
  try {
    return write(code, message);
  } catch (const std::exception& e) {  // out of memory while ending: the record is lost, the end is not
    std::fprintf(stderr, "error writing the run record \"%s\": %s\n", kFileName, e.what());
    return false;
  }
}

}  // namespace

void begin(std::string_view program) {
  Record& r = record();
  r.program = program;
  r.start_time = utc_now();
  r.inputs.emplace_back("deck_sha256", core::sha256_of_descriptor(0));
  core::at_end(write_at_end);
}

void deck_read(std::string digest) {
  for (auto& [key, value] : record().inputs)
    if (key == "deck_sha256" && !value) value = std::move(digest);
}

void input_file(std::string_view key, const std::string& path) {
  record().inputs.emplace_back(key, core::sha256_of_file(path));
}

void result(std::string_view name, double value) {
  auto& results = record().results;
  for (auto& [n, v] : results)
    if (n == name) {
      v = value;
      return;
    }
  results.emplace_back(name, value);
}

void result(std::string_view name, core::zcomplex value) {
  result("re_" + std::string(name), value.re);
  result("im_" + std::string(name), value.im);
}

void record_results(std::initializer_list<std::pair<const char*, core::zcomplex>> moduli,
                    std::initializer_list<std::pair<const char*, double>> values) {
  for (const auto& [name, value] : moduli) result(name, value);
  for (const auto& [name, value] : values) result(name, value);
}

std::string json(int code, std::string_view message) {
  const Record& r = record();
  std::string s = "{\n";
  auto field = [&s](std::string_view key, const std::string& value) {
    s += "  " + quoted(key) + ": " + value + ",\n";
  };
  field("schema", quoted("upscale-run/1"));
  field("program", quoted(r.program));
  field("version", quoted(core::project_version()));
  field("commit", quoted(core::project_commit()));
  bool porosity = false;
  for (const auto& [key, digest] : r.inputs) {
    field(key, digest ? quoted(*digest) : "null");
    porosity = porosity || key == "porosity_sha256";
  }
  if (!porosity) field("porosity_sha256", "null");
  field("start_time", quoted(r.start_time));
  field("cpu_seconds", number(cpu_seconds()));
  field("exit_status", std::to_string(code & 0xff));
  field("stop_code", std::to_string(code));
  field("stop_message", quoted(message));
  s += "  \"results\": {";
  // A run refused for lack of a correct digit keeps its results and bounds.
  if (code == core::kStopNormal || code == core::kStopNoCorrectDigit) {
    const char* sep = "\n";
    for (const auto& [name, value] : r.results) {
      s += sep + ("    " + quoted(name)) + ": " + number(value);
      sep = ",\n";
    }
    if (!r.results.empty()) s += "\n  ";
  }
  return s + "}\n}\n";
}

bool write(int code, std::string_view message) {
  const std::string text = json(code, message);
  const std::string temp = std::string(kFileName) + ".part";
  errno = 0;
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr) ok = (std::fclose(f) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), kFileName) == 0;
  if (!ok) {
    const int err = errno;
    std::remove(temp.c_str());
    std::fprintf(stderr, "error writing the run record \"%s\": %s\n", kFileName,
                 err != 0 ? std::strerror(err) : "the file could not be written");
  }
  return ok;
}

}  // namespace drivers::run_record
