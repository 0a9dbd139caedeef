// The ranks of an MPI job agree on their arguments and inputs before the
// analysis. The digest they compare: equal for equal arguments and files,
// different for any change of either. And, where MPI and the MUMPS backend
// are there, a real two-program job whose ranks read different samples or
// frequencies: one sentence, status 2 on every rank, no hang, no tensor.
#include "scratch.hpp"
#include "tensor/rank_agreement.hpp"

namespace {

using namespace outputs_test;
using RankAgreement = Scratch;

}  // namespace

TEST_F(RankAgreement, TheDigestChangesWithEveryArgumentAndEveryByteOfTheInputs) {
  write_text(at("s.toml"), "model = \"ice\"\n");
  write_text(at("t.toml"), "model = \"ice\"\n");
  const std::vector<std::string> args{at("s.toml"), "--freq", "10"};
  const std::string base = tensor::job_digest(args, {at("s.toml")});
  EXPECT_EQ(base.size(), 64u);
  EXPECT_EQ(tensor::job_digest(args, {at("s.toml")}), base);
  EXPECT_NE(tensor::job_digest({at("s.toml"), "--freq", "1"}, {at("s.toml")}), base);
  EXPECT_NE(tensor::job_digest({at("s.toml"), "--fre", "q10"}, {at("s.toml")}), base);  // the boundaries count
  EXPECT_NE(tensor::job_digest(args, {at("t.toml")}), base);                              // same bytes, another file
  write_text(at("s.toml"), "model = \"ice\" \n");
  EXPECT_NE(tensor::job_digest(args, {at("s.toml")}), base);
  fs::remove(at("s.toml"));
  EXPECT_NE(tensor::job_digest(args, {at("s.toml")}), base);
  EXPECT_EQ(tensor::ranks_agree(base), 0);  // outside a job
}

TEST_F(RankAgreement, ATwoProgramJobWithDifferentInputsStopsOnEveryRank) {
#if defined(OUTPUTS_MPIRUN) && defined(OUTPUTS_TENSOR_EXE) && defined(UPSCALE_HAVE_MUMPS)
  const std::string sample = examples() + "/patchy_ice";
  ASSERT_EQ(sh(dir, "cp '" + sample + "/sample.toml' '" + sample + "/labels.png' . && sed \"s/^phi_layer1 = 0.3 /phi_layer1 = 0.2 /\" sample.toml > s_b.toml"), 0);
  const std::string t = "'" OUTPUTS_TENSOR_EXE "'";
  // MPI's own allocations at start-up are never freed: no leak check of the ranks.
  const std::string mpirun = "ASAN_OPTIONS=detect_leaks=0 " + std::string(OUTPUTS_MPIRUN) + " --allow-run-as-root --oversubscribe ";
  for (const char* second : {"s_b.toml --freq 10", "sample.toml --freq 11"}) {
    SCOPED_TRACE(second);
    const int status = sh(dir, mpirun + "-np 1 " + t + " sample.toml --freq 10 --solver mumps --quiet -o o : -np 1 " + t +
                                   " " + second + " --solver mumps --quiet -o o");
    EXPECT_EQ(status, 2);  // a hang is killed by sh's time limit (-1 or 137)
    EXPECT_TRUE(has(read_all(root + "/err.txt"), "rank 1 of this MPI job was not given the arguments")) << read_all(root + "/err.txt");
    EXPECT_FALSE(fs::exists(at("o/tensor.csv")));
  }
#else
  GTEST_SKIP() << "no mpirun or no MUMPS backend in this build";
#endif
}
