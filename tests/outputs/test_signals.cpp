// tensor_upscale guards its output folder as the three programs do theirs
// (tests/hardening): one run at a time, the record of a stop by a signal,
// and a signal ignored when it starts (nohup) stays ignored. (How each
// signal is taken or left: the output module's own test.)
#include "scratch.hpp"

namespace {

using namespace outputs_test;
using Signals = Scratch;

const std::string kRunning = "\"exit_status\": null";

// A run of tensor_upscale long enough to be caught running: many frequencies.
std::string long_run(const std::string& prefix, const std::string& folder) {
  return prefix + "'" OUTPUTS_TENSOR_EXE "' '" + examples() + "/patchy_ice/sample.toml' --freq 1:1000:2000 --quiet -o " +
         folder + " > /dev/null 2> err_" + folder + ".txt";
}

}  // namespace

// A second run in the folder stops with 75 and the lock's sentence and
// touches nothing; SIGTERM, SIGINT, SIGHUP leave a record of the signal in
// place of a running one (never the record of an earlier success), and the
// lock file goes; under nohup SIGHUP is ignored. Its run.json names the
// build's sources as --version does.
TEST_F(Signals, TensorUpscaleLocksItsFolderAndRecordsAStopBySignal) {
  const std::string sample = examples() + "/patchy_ice/sample.toml";
  ASSERT_EQ(sh(dir, "'" OUTPUTS_TENSOR_EXE "' '" + sample + "' --freq 1 --quiet -o o"), 0) << read_all(root + "/err.txt");
  ASSERT_TRUE(has(read_all(at("o/run.json")), "\"exit_status\": 0,"));
  // The build's identity, sources digest included, in --version and run.json.
  ASSERT_EQ(sh(dir, "'" OUTPUTS_TENSOR_EXE "' --version > version.txt"), 0);
  const std::string version = read_all(at("version.txt"));
  const std::size_t at_sources = version.find("sources ");
  ASSERT_NE(at_sources, std::string::npos) << version;
  EXPECT_TRUE(has(read_all(at("o/run.json")), "\"sources_sha256\": \"" + version.substr(at_sources + 8, 16))) << version;
  EXPECT_NE(sh(dir, "'" OUTPUTS_TENSOR_EXE "' --version > /dev/full"), 0);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    Started first(dir, "exec " + long_run("", "o"));
    ASSERT_TRUE(wait_for_text(at("o/run.json"), kRunning)) << read_all(at("err_o.txt"));
    const std::string running = read_all(at("o/run.json"));
    if (sig == SIGTERM) {
      EXPECT_EQ(sh(dir, "'" OUTPUTS_TENSOR_EXE "' '" + sample + "' --freq 1 --quiet -o o"), 75);
      const std::string err = read_all(root + "/err.txt");
      EXPECT_TRUE(has(err, "the folder \"o\" is in use by tensor_upscale (process " + std::to_string(first.pid) + ")"))
          << err;
      EXPECT_EQ(read_all(at("o/run.json")), running);
    }
    ::kill(first.pid, sig);
    EXPECT_EQ(first.wait(), 128 + sig);
    const std::string record = read_all(at("o/run.json"));
    EXPECT_TRUE(has(record, "\"exit_status\": " + std::to_string(128 + sig) + ",") && has(record, "stopped by signal SIG"))
        << record;
    EXPECT_FALSE(fs::exists(at("o/.upscale_run.lock")) || fs::exists(at("o/run.json.part")));
  }
  Started kept(dir, long_run("exec nohup ", "o"));
  ASSERT_TRUE(wait_for_text(at("o/run.json"), kRunning));
  ::kill(kept.pid, SIGHUP);
  ::kill(kept.pid, SIGTERM);  // not ignored: ends it, after the HUP was delivered and ignored
  EXPECT_EQ(kept.wait(), 128 + SIGTERM);
  EXPECT_TRUE(has(read_all(at("o/run.json")), "stopped by signal SIGTERM"));
}
