// tensor_upscale given what a careless or hostile user gives: a deck that
// is a FIFO or a folder, an absurd number of frequencies, a plan sent to a
// full disk, an angle twice. Each is one sentence naming the file or
// option, the value and what was expected, and a non-zero status; nothing
// hangs.
#include <cmath>
#include <sstream>

#include "programs.hpp"

#ifdef OUTPUTS_TENSOR_EXE

namespace {

using namespace outputs_test;
using TensorInputs = Scratch;

std::string tensor(const std::string& args) { return "exec '" OUTPUTS_TENSOR_EXE "' " + args; }

}  // namespace

TEST_F(TensorInputs, AFifoOrAFolderAsTheDeckIsRefusedWithoutWaiting) {
  ASSERT_EQ(sh(dir, "mkfifo f.deck && mkdir d.deck"), 0);
  EXPECT_EQ(sh(dir, tensor("f.deck --quiet -o o")), 1);  // a hang would be killed by the time limit: -1
  EXPECT_TRUE(has(read_all(root + "/err.txt"), "deck \"f.deck\" is not a regular file (a FIFO)")) << read_all(root + "/err.txt");
  EXPECT_EQ(sh(dir, tensor("d.deck --quiet -o o")), 1);
  EXPECT_TRUE(has(read_all(root + "/err.txt"), "deck \"d.deck\" is not a regular file (a folder)")) << read_all(root + "/err.txt");
}

TEST_F(TensorInputs, TheDecksNumberOfFrequenciesHasTheSweepsLimit) {
  const std::string deck = examples() + "/ice_small.deck";
  for (const char* nfreq : {"1000001", "2000000000"}) {
    ASSERT_EQ(sh(dir, std::string("sed \"3s/.*/") + nfreq + "   nfreq/\" '" + deck + "' > big.deck"), 0);
    EXPECT_EQ(sh(dir, tensor("big.deck --quiet -o o")), 1) << nfreq;
    EXPECT_TRUE(has(read_all(root + "/err.txt"), std::string("the deck's nfreq is ") + nfreq + ": more than a million points"))
        << read_all(root + "/err.txt");
  }
  // The limit itself is a deck's nfreq as any other (the run is not started: --plan of a build without
  // MUMPS stops after reading it, or with it after the plan).
  ASSERT_EQ(sh(dir, "sed \"3s/.*/1000000   nfreq/\" '" + deck + "' > limit.deck"), 0);
  sh(dir, tensor("limit.deck --quiet --plan -o o > plan.txt"));
  EXPECT_FALSE(has(read_all(root + "/err.txt"), "nfreq")) << read_all(root + "/err.txt");
}

TEST_F(TensorInputs, APlanSentToAFullDiskIsAFailure) {
  EXPECT_NE(sh(dir, tensor("'" + examples() + "/patchy_ice/sample.toml' --plan --quiet -o o > /dev/full")), 0);
  EXPECT_TRUE(has(read_all(root + "/err.txt"), "the plan could not be written to standard output"))
      << read_all(root + "/err.txt");
}

TEST_F(TensorInputs, AnAngleGivenTwiceIsRefused) {
  for (const char* angles : {"45,30,45", "45,45.0", "0,90,0"}) {
    EXPECT_EQ(sh(dir, tensor("'" + examples() + "/patchy_ice/sample.toml' --freq 1 --angles " + angles + " -o o")), 2);
    EXPECT_TRUE(has(read_all(root + "/err.txt"), "is given twice")) << angles << ": " << read_all(root + "/err.txt");
  }
  EXPECT_FALSE(fs::exists(at("o")));
}

#endif

#ifdef OUTPUTS_TENSOR_EXE

namespace {

// Column `name` of the first row of a tensor.csv.
double csv_value(const std::string& csv, const std::string& name) {
  std::stringstream in(csv);
  std::string header, units, row;
  std::getline(in, header), std::getline(in, units), std::getline(in, row);
  std::stringstream h(header), r(row);
  for (std::string n, v; std::getline(h, n, ',') && std::getline(r, v, ',');)
    if (n == name) return std::stod(v);
  ADD_FAILURE() << "no column " << name;
  return std::nan("");
}

}  // namespace

// Many threads under an address-space limit (ulimit -v in a subshell, as a
// batch system sets it): the run neither hangs in OpenBLAS's allocation nor
// aborts on a thread that cannot start; it ends normally with the tensor
// of a one-thread run, within the two runs' own forward error bounds.
TEST_F(TensorInputs, ManyThreadsUnderAMemoryLimitNeitherHangNorAbort) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit leaves no room for the sanitiser's shadow memory";
#else
  const std::string sample = "'" + examples() + "/patchy_ice/sample.toml' --freq 1 --quiet";
  ASSERT_EQ(sh(dir, tensor(sample + " --threads 1 -o one")), 0) << read_all(root + "/err.txt");
  const std::string one = read_all(at("one/tensor.csv"));
  for (const char* threads : {"32", "400"}) {
    SCOPED_TRACE(threads);
    const std::string out = std::string("t") + threads;
    EXPECT_EQ(sh(dir, "ulimit -v 4000000; " + tensor(sample + " --threads " + threads + " -o " + out)), 0)
        << read_all(root + "/err.txt");
    const std::string many = read_all(at(out + "/tensor.csv"));
    ASSERT_FALSE(many.empty());
    const double bound = csv_value(one, "forward_error_bound") + csv_value(many, "forward_error_bound");
    for (const char* c : {"c11_re", "c33_re", "c55_re", "c13_re"})
      EXPECT_LE(std::fabs(csv_value(many, c) - csv_value(one, c)), bound * std::fabs(csv_value(one, c))) << c;
  }
#endif
}

#endif

#ifdef OUTPUTS_TENSOR_EXE

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
  std::string same;
  for (int k = 0; k < 10; ++k) same += "1 1 1 1 1 2 2 2 2 2\n";
  write_text(at("same.txt"), same);
  ASSERT_EQ(sh(dir, tensor("'" + examples() + "/ice_small.deck' --labels same.txt --freq 10 --quiet -o p")), 0);
  EXPECT_FALSE(has(read_all(root + "/err.txt"), "note: the label image"));
}

#endif
