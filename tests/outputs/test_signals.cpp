// tensor_upscale guards its output folder as the three programs do theirs
// (tests/hardening): one run at a time, and the record of a stop by a
// signal. (How each signal is taken or left, nohup's among them: the output
// module's own test.)
#include "scratch.hpp"

namespace {

using namespace outputs_test;
using Signals = Scratch;

}  // namespace

// A second run in the folder stops with 75 and the lock's sentence and
// touches nothing; SIGINT leaves a record of the signal in place of a
// running one (never the record of an earlier success), and the lock file
// goes. Its run.json names the build's sources as --version does.
TEST_F(Signals, TensorUpscaleLocksItsFolderAndRecordsAStopBySignal) {
  const std::string exe = "'" OUTPUTS_TENSOR_EXE "' ", sample = "'" + examples() + "/patchy_ice/sample.toml'";
  ASSERT_EQ(sh(dir, exe + sample + " --freq 1 --quiet -o o && " + exe + "--version > version.txt"), 0) << read_all(root + "/err.txt");
  const std::string version = read_all(at("version.txt")), record = read_all(at("o/run.json"));
  const std::size_t at_sources = version.find("sources ");
  ASSERT_NE(at_sources, std::string::npos) << version;
  EXPECT_TRUE(has(record, "\"sources_sha256\": \"" + version.substr(at_sources + 8, 16)) && has(record, "\"exit_status\": 0,"))
      << version << record;
  EXPECT_NE(sh(dir, exe + "--version > /dev/full"), 0);
  // Long enough to be caught running: many frequencies.
  Started first(dir, "exec " + exe + sample + " --freq 1:1000:2000 --quiet -o o > /dev/null 2> first.txt");
  ASSERT_TRUE(wait_for_text(at("o/run.json"), "\"exit_status\": null")) << read_all(at("first.txt"));
  const std::string running = read_all(at("o/run.json"));
  EXPECT_EQ(sh(dir, exe + sample + " --freq 1 --quiet -o o"), 75);
  const std::string err = read_all(root + "/err.txt");
  EXPECT_TRUE(has(err, "the folder \"o\" is in use by tensor_upscale (process " + std::to_string(first.pid) + ")")) << err;
  EXPECT_EQ(read_all(at("o/run.json")), running);
  ::kill(first.pid, SIGINT);
  EXPECT_EQ(first.wait(), 128 + SIGINT);
  const std::string stopped = read_all(at("o/run.json"));
  EXPECT_TRUE(has(stopped, "\"exit_status\": " + std::to_string(128 + SIGINT) + ",") && has(stopped, "stopped by signal SIGINT"))
      << stopped;
  EXPECT_FALSE(fs::exists(at("o/.upscale_run.lock")) || fs::exists(at("o/run.json.part")));
}
