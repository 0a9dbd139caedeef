// Fault injection: result files that cannot be created, a report that
// cannot be written, a working directory that is gone, inputs that are not
// files. Each is reported with a message and a non-zero status; none may
// look like a normal end (40).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "run_program.hpp"

namespace hardening {
namespace {

// Files every program writes whatever the deck; the rest follow once the
// whole computation runs.
const std::vector<std::string> kOpenedFirst = {
    "vp_anal.phiw",     "vp_eq.phiw",       "1000_over_q_eq.phiw", "1000_over_q_anal.phiw",
    "mod_pressure_p33_ice", "mod_grad_pressure_p33_ice", "real_strain1_map", "imag_strain1_map",
    "real_strain3_map", "imag_strain3_map", "real_stress_map", "imag_stress_map"};
const std::vector<std::string> kWrittenLater = {"matnum_p33", "matnum_p33_gnu", "xmu1_gnu", "xmu3_gnu", "xmu13_gnu",
                                                "xlambda1_gnu", "xlambda3_gnu", "b1_gnu", "b2_gnu", "xm_gnu", "d3_gnu",
                                                "fort.54", "fort.18"};

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!program_built(kProgram)) GTEST_SKIP() << kProgram << " is not built";
  }
  static void expect_output_error(const Outcome& r, const std::string& what, const std::string& names) {
    EXPECT_EQ(r.signal, 0) << what << ": " << r.describe();
    EXPECT_EQ(r.status, 74) << what << ": " << r.describe();
    EXPECT_TRUE(contains(r.err, names)) << what << ": the message does not name " << names << ": " << r.describe();
    EXPECT_FALSE(contains(r.err, "STOP 40")) << what;
  }
  static constexpr const char* kProgram = "pwave_upscale";
  const std::string deck = join(deck_lines("ice_small.deck"));
};

TEST_F(Faults, ResultFileThatCannotBeCreated) {
  std::vector<std::string> names = kOpenedFirst;
  if (runs_end_to_end(kProgram)) names.insert(names.end(), kWrittenLater.begin(), kWrittenLater.end());
  for (const std::string& f : names) {
    const Outcome r = run(kProgram, deck, prepared("mkdir '" + f + "'"));
    expect_output_error(r, "a directory in place of " + f, "\"" + f + "\"");
  }
}

TEST_F(Faults, ResultFilesInAReadOnlyDirectory) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  const Outcome r = run(kProgram, deck, prepared("chmod a-w ."));
  expect_output_error(r, "read-only working directory", "\"vp_anal.phiw\"");
  ASSERT_EQ(std::system(("chmod u+w '" + r.dir + "'").c_str()), 0);
}

TEST_F(Faults, ReportOnAFullDevice) {
  const Outcome r = run(kProgram, deck, stdout_to("/dev/full"));
  expect_output_error(r, "standard output on /dev/full", "standard output");
  // The same when the run ends early: the input error is still reported.
  const Outcome early = run(kProgram, "10.0\n", stdout_to("/dev/full"));
  EXPECT_NE(early.status, 40) << early.describe();
  EXPECT_NE(early.status, 0) << early.describe();
  EXPECT_TRUE(contains(early.err, "record 2 (freq_max)")) << early.describe();
}

TEST_F(Faults, WorkingDirectoryThatIsGone) {
  const Outcome r = run(kProgram, deck, workdir_removed());
  expect_output_error(r, "removed working directory", "cannot create result file \"vp_anal.phiw\"");
}

TEST_F(Faults, DeckThatIsNotAFile) {
  // Standard input is a directory: nothing can be read from it.
  const Outcome r = run(kProgram, "", stdin_from("/"));
  EXPECT_EQ(r.signal, 0) << r.describe();
  EXPECT_EQ(r.status, 2) << r.describe();
  EXPECT_TRUE(contains(r.err, "record 1 (freq)")) << r.describe();
}

}  // namespace
}  // namespace hardening
