// tensor_upscale given what a careless or hostile user gives: a deck that
// is a FIFO or a folder, an absurd number of frequencies, a plan sent to a
// full disk, an angle twice. Each is one sentence naming the file or
// option, the value and what was expected, and a non-zero status; nothing
// hangs.
#include "scratch.hpp"

namespace {

using namespace outputs_test;
using TensorInputs = Scratch;

std::string tensor(const std::string& args) { return "exec '" OUTPUTS_TENSOR_EXE "' " + args; }

}  // namespace

// Each refused run: its shell command (in the scratch folder, where the
// deck f.deck is a FIFO and d.deck a folder), the status (0: any non-zero)
// and what its message says. A hang would be killed by the time limit: -1.
TEST_F(TensorInputs, CarelessInputsAreOneSentenceAndAStatus) {
  const std::string deck = examples() + "/ice_small.deck", sample = "'" + examples() + "/patchy_ice/sample.toml'";
  const auto nfreq = [&](const char* n) { return std::string("sed \"3s/.*/") + n + "   nfreq/\" '" + deck + "' > big.deck && "; };
  ASSERT_EQ(sh(dir, "mkfifo f.deck && mkdir d.deck"), 0);
  const struct {
    std::string command;
    int status;
    std::string says;
  } cases[] = {
      {tensor("f.deck --quiet -o o"), 1, "deck \"f.deck\" is not a regular file (a FIFO)"},
      {tensor("d.deck --quiet -o o"), 1, "deck \"d.deck\" is not a regular file (a folder)"},
      // The deck's number of frequencies has the sweep's limit.
      {nfreq("1000001") + tensor("big.deck --quiet -o o"), 1, "the deck's nfreq is 1000001: more than a million points"},
      {tensor(sample + " --plan --quiet -o o > /dev/full"), 0, "the plan could not be written to standard output"},
      {tensor(sample + " --freq 1 --angles 45,30,45.0 -o a"), 2, "is given twice"},
  };
  for (const auto& c : cases) {
    const int status = sh(dir, c.command);
    EXPECT_TRUE(c.status == 0 ? status > 0 : status == c.status) << status << ": " << c.command;
    EXPECT_TRUE(has(read_all(root + "/err.txt"), c.says)) << c.command << ": " << read_all(root + "/err.txt");
  }
  EXPECT_FALSE(fs::exists(at("o/tensor.csv")) || fs::exists(at("a")));
  // The limit itself is a deck's nfreq as any other (the run is not started: --plan of a build without
  // MUMPS stops after reading it, or with it after the plan).
  sh(dir, nfreq("1000000") + tensor("big.deck --quiet --plan -o o > plan.txt"));
  EXPECT_FALSE(has(read_all(root + "/err.txt"), "nfreq")) << read_all(root + "/err.txt");
}

// Many threads under an address-space limit (ulimit -v in a subshell, as a
// batch system sets it): the run neither hangs in OpenBLAS's allocation nor
// aborts on a thread that cannot start; it ends normally with its table.
// (That the number of threads leaves the numbers as they are: the engine's
// tests.)
TEST_F(TensorInputs, ManyThreadsUnderAMemoryLimitNeitherHangNorAbort) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit leaves no room for the sanitiser's shadow memory";
#else
  const std::string sample = "'" + examples() + "/patchy_ice/sample.toml' --freq 1 --quiet";
  EXPECT_EQ(sh(dir, "ulimit -v 4000000; " + tensor(sample + " --threads 400 -o t")), 0) << read_all(root + "/err.txt");
  EXPECT_TRUE(has(read_all(at("t/tensor.csv")), "\n1,")) << read_all(at("t/tensor.csv"));  // the row of 1 Hz
#endif
}

// A label image of another size than the deck's grid makes the sample the
// image's: said plainly on standard error, and recorded as the grid run.
TEST_F(TensorInputs, ALabelImageOfAnotherSizeIsSaidPlainly) {
  write_text(at("lab.txt"), "1 2 1 2\n1 1 2 2\n");
  ASSERT_EQ(sh(dir, tensor("'" + examples() + "/ice_small.deck' --labels lab.txt --freq 10 --quiet -o o")), 0)
      << read_all(root + "/err.txt");
  const std::string err = read_all(root + "/err.txt");
  EXPECT_TRUE(has(err, "the label image \"lab.txt\" has 4 x 2 cells and the input's grid 10 x 10: the sample is the "
                       "image's, 4 x 2 cells of 0.02 m (0.08 m x 0.04 m)")) << err;
  EXPECT_TRUE(has(read_all(at("o/run.json")), "\"grid\": {\"nx\": 4, \"ny\": 2, \"h\": 0.02}"));
}
