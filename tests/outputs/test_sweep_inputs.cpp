// The sweep given files beyond what it reads (64 MiB): a deck of 1 GiB and
// a point's run.json of 70 MiB (sparse files: no disk is filled). The
// message names the file, its size and the limit, not a vague failure.
#include "programs.hpp"

namespace {

using namespace outputs_test;
using SweepInputs = Scratch;

}  // namespace

TEST_F(SweepInputs, OversizedDeckAndRunRecordAreNamedWithTheirSize) {
  ASSERT_EQ(sh(dir, "truncate -s 1G big.deck"), 0);
  EXPECT_EQ(sh(dir, sweep_command("pwave_upscale big.deck --freq 1,10 --no-plot -o sw1")), 2);
  EXPECT_TRUE(has(read_all(root + "/err.txt"),
                  "cannot read deck big.deck: it holds 1073741824 bytes, more than the 67108864 a sweep reads"))
      << read_all(root + "/err.txt");
  fs::create_directory(at("big_folder.deck"));
  EXPECT_EQ(sh(dir, sweep_command("pwave_upscale big_folder.deck --freq 1,10 --no-plot -o sw1")), 2);
  EXPECT_TRUE(has(read_all(root + "/err.txt"), "the deck big_folder.deck is not a regular file (a folder)"))
      << read_all(root + "/err.txt");

  ASSERT_EQ(sh(dir, sweep_command("pwave_upscale " + examples() + "/ice_small.deck --freq 1,10 --no-plot -o sw")), 0)
      << read_all(root + "/err.txt");
  ASSERT_EQ(sh(dir, "truncate -s 70M sw/points/p0002/run.json"), 0);
  EXPECT_EQ(sh(dir, sweep_command("--merge sw --no-plot")), 2);
  EXPECT_TRUE(has(read_all(root + "/err.txt"),
                  "points/p0002 by a build not known: its run.json holds 73400320 bytes, more than the 67108864"))
      << read_all(root + "/err.txt");
}
