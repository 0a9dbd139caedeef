#include "tensor/run_json.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/build_info.hpp"
#include "core/json_text.hpp"

namespace tensor {

namespace {

// JSON values as every run record writes them.
constexpr auto& quoted = core::json_string;
constexpr auto& number = core::json_number;

double monotonic_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string row_json(const TensorRow& r) {
  std::string s = "    {\"freq_hz\": " + number(r.freq_hz);
  auto put = [&s](const char* name, double v) { s += std::string(", \"") + name + "\": " + number(v); };
  auto put_c = [&](const char* name, core::zcomplex v) {
    put((std::string("re_") + name).c_str(), v.re);
    put((std::string("im_") + name).c_str(), v.im);
  };
  put_c("c11", r.c11), put_c("c13", r.c13), put_c("c31", r.c31), put_c("c33", r.c33), put_c("c55", r.c55);
  // Components the test does not measure (sealed boundaries) are absent.
  if (!std::isnan(r.c15.re)) put_c("c15", r.c15), put_c("c35", r.c35), put_c("c51", r.c51), put_c("c53", r.c53);
  put("rho", r.rho), put("vp0", r.vp0), put("q1000_p0", r.q1000_p0), put("vp90", r.vp90);
  put("q1000_p90", r.q1000_p90), put("vs0", r.vs0), put("q1000_s0", r.q1000_s0);
  put("backward_error", r.backward_error);
  for (const Column& c : r.extra) put(c.name.c_str(), c.value);
  return s + "}";
}

}  // namespace

RunRecord start_record(const std::string& input) {
  RunRecord r;
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  char buf[32] = "unknown";
  if (t != static_cast<std::time_t>(-1) && gmtime_r(&t, &tm) != nullptr)
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  r.start_time = buf;
  r.wall_start = monotonic_seconds();
  r.input = input;
  return r;
}

std::string run_json(const RunRecord& r, int status, const std::string& message) {
  return run_json_text(r, std::to_string(status), message);
}

std::string run_json_text(const RunRecord& r, const std::string& exit_status, const std::string& message) {
  std::string s = "{\n";
  auto field = [&s](const char* key, const std::string& value) { s += std::string("  \"") + key + "\": " + value + ",\n"; };
  field("schema", quoted("tensor-run/1"));
  field("program", quoted("tensor_upscale"));
  field("version", quoted(core::project_version()));
  field("commit", quoted(core::project_commit()));
  field("sources_sha256", quoted(core::project_sources()));
  field("input", quoted(r.input));
  std::string inputs = "[";
  for (std::size_t i = 0; i < r.inputs.size(); ++i)
    inputs += (i ? ", " : "") + std::string("{\"file\": ") + quoted(r.inputs[i].first) + ", \"sha256\": " +
              (r.inputs[i].second.empty() ? "null" : quoted(r.inputs[i].second)) + "}";
  field("inputs", inputs + "]");
  field("start_time", quoted(r.start_time));
  const std::clock_t c = std::clock();
  field("cpu_seconds", number(c == static_cast<std::clock_t>(-1) ? NAN : static_cast<double>(c) / CLOCKS_PER_SEC));
  field("wall_seconds", number(monotonic_seconds() - r.wall_start));
  field("exit_status", exit_status);
  field("stop_message", quoted(message));
  field("lame", quoted(r.lame));
  field("tests", quoted(r.tests));
  field("boundary", quoted(r.boundary));
  field("solver", quoted(r.solver));
  field("frequency_method", quoted(r.frequency_method));
  field("full_factorisations", std::to_string(r.full_factorisations));
  std::string made = "[";
  for (std::size_t i = 0; i < r.factorisation_frequencies.size(); ++i)
    made += (i ? ", " : "") + number(r.factorisation_frequencies[i]);
  field("factorisation_frequencies_hz", made + "]");
  field("grid", "{\"nx\": " + std::to_string(r.nx) + ", \"ny\": " + std::to_string(r.ny) + ", \"h\": " + number(r.h) + "}");
  field("cells_per_feature", number(r.cells_per_feature));
  field("solver_statistics", "{\"unknowns\": " + std::to_string(r.unknowns) + ", \"factor_entries\": " +
                                 std::to_string(r.factor_entries) + ", \"flops\": " + number(r.flops) +
                                 ", \"memory_bytes\": " + number(r.memory_bytes) + ", \"analyse_seconds\": " +
                                 number(r.analyse_seconds) + ", \"factorise_seconds\": " +
                                 number(r.factorise_seconds) + "}");
  s += "  \"tensor\": [";
  for (std::size_t i = 0; i < r.rows.size(); ++i) s += (i ? ",\n" : "\n") + row_json(r.rows[i]);
  s += r.rows.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return s;
}

}  // namespace tensor
