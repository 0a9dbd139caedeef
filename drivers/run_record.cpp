#include "drivers/run_record.hpp"

#include <signal.h>
#include <unistd.h>

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
#include "core/json_text.hpp"
#include "core/replace_file.hpp"
#include "core/run_lock.hpp"
#include "core/signal_record.hpp"
#include "core/sha256.hpp"
#include "core/stop.hpp"
#include "core/stop_error.hpp"

namespace drivers::run_record {

namespace {

constexpr const char* kPartName = "run.json.part";

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

// JSON values as every run record writes them.
constexpr auto& quoted = core::json_string;
constexpr auto& number = core::json_number;

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

namespace {

// The record's text; `exit_status` and `stop_code` as JSON (a number or
// null), results only for a normal end, the processor time only when the
// run is ending.
std::string record_text(const std::string& exit_status, const std::string& stop_code, std::string_view message,
                        bool ending, bool normal) {
  const Record& r = record();
  std::string s = "{\n";
  auto field = [&s](std::string_view key, const std::string& value) {
    s += "  " + quoted(key) + ": " + value + ",\n";
  };
  field("schema", quoted("upscale-run/1"));
  field("program", quoted(r.program));
  field("version", quoted(core::project_version()));
  field("commit", quoted(core::project_commit()));
  field("sources_sha256", quoted(core::project_sources()));
  bool porosity = false;
  for (const auto& [key, digest] : r.inputs) {
    field(key, digest ? quoted(*digest) : "null");
    porosity = porosity || key == "porosity_sha256";
  }
  if (!porosity) field("porosity_sha256", "null");
  field("start_time", quoted(r.start_time));
  field("cpu_seconds", ending ? number(cpu_seconds()) : "null");
  field("exit_status", exit_status);
  field("stop_code", stop_code);
  field("stop_message", quoted(message));
  s += "  \"results\": {";
  if (normal) {
    const char* sep = "\n";
    for (const auto& [name, value] : r.results) {
      s += sep + ("    " + quoted(name)) + ": " + number(value);
      sep = ",\n";
    }
    if (!r.results.empty()) s += "\n  ";
  }
  return s + "}\n}\n";
}

// Writes `text` under the temporary name, created afresh (never through a
// link), and renames it into place; false with errno set when that fails.
bool replace_record(const char* text, std::size_t size) {
  return core::replace_file_from_handler(kPartName, kFileName, text, size);
}

// The records a stop signal leaves, prepared in advance because the signal
// handler can only write bytes.
void prepare_signal_records() {
  auto text = [](int sig, const char* name) {
    return record_text(std::to_string(128 + sig), "null",
                       std::string("stopped by signal ") + name + " (" + std::to_string(sig) +
                           ") before the run ended: the result files beside this record are incomplete",
                       false, false);
  };
  core::prepare_signal_records(text(SIGTERM, "SIGTERM"), text(SIGINT, "SIGINT"), text(SIGHUP, "SIGHUP"));
}

}  // namespace

std::string json(int code, std::string_view message) {
  // A run refused for lack of a correct digit keeps its results and bounds.
  return record_text(std::to_string(code & 0xff), std::to_string(code), message, true,
                     code == core::kStopNormal || code == core::kStopNoCorrectDigit);
}

std::string running_json() {
  return record_text("null", "null",
                     "running: this run has not ended (process " + std::to_string(::getpid()) +
                         "); if no such process runs any more it was killed, and the result files beside this "
                         "record are incomplete",
                     false, false);
}

void begin(std::string_view program) {
  Record& r = record();
  r.program = program;
  r.start_time = utc_now();
  r.inputs.emplace_back("deck_sha256", core::sha256_of_descriptor(0));
  char notice[160];
  std::snprintf(notice, sizeof notice, "%.60s: stopped by a signal; %s records it, the result files are incomplete\n",
                r.program.c_str(), kFileName);
  prepare_signal_records();
  core::catch_stop_signals(kFileName, kPartName, notice);
  // The record of an earlier run goes before any result file is emptied.
  const std::string running = running_json();
  if (!replace_record(running.data(), running.size()))
    core::raise_fail(core::kStopOutputError, std::string("cannot write the run record \"") + kFileName + "\": " +
                                           std::strerror(errno) + "; no result file was touched");
  core::at_end(write_at_end);
}

void deck_read(std::string digest) {
  for (auto& [key, value] : record().inputs)
    if (key == "deck_sha256" && !value) value = std::move(digest);
  prepare_signal_records();
}

void input_file(std::string_view key, const std::string& path) {
  record().inputs.emplace_back(key, core::sha256_of_file(path));
  prepare_signal_records();
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


bool write(int code, std::string_view message) {
  const std::string text = json(code, message);
  errno = 0;
  const bool ok = replace_record(text.data(), text.size());
  if (!ok) {
    const int err = errno;
    std::fprintf(stderr, "error writing the run record \"%s\": %s\n", kFileName,
                 err != 0 ? std::strerror(err) : "the file could not be written");
  }
  return ok;
}

}  // namespace drivers::run_record
