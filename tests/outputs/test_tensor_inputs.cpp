// tensor_upscale given what a careless or hostile user gives: a deck that
// is a FIFO or a folder, an absurd number of frequencies, a plan sent to a
// full disk, an angle twice. Each is one sentence naming the file or
// option, the value and what was expected, and a non-zero status; nothing
// hangs.
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
