// Fault injection: result files that cannot be created, a report that
// cannot be written, a working directory that is gone, a deck that is not a
// file, a closed standard descriptor, too little memory. Each is reported
// with a message and a non-zero status, and none may look like a normal end
// (40) or corrupt a result file.
#include <gtest/gtest.h>

#include <string>

#include "run_program.hpp"

using namespace support;

namespace {

const std::string kProgram = "pwave_upscale";

void expect_output_error(const Outcome& r, const std::string& what, const std::string& names) {
  EXPECT_EQ(r.signal, 0) << what << ": " << r.describe();
  EXPECT_EQ(r.status, 74) << what << ": " << r.describe();
  EXPECT_TRUE(contains(r.err, names)) << what << ": the message does not name " << names << ": " << r.describe();
  EXPECT_FALSE(contains(r.err, "STOP 40")) << what;
}

TEST(Faults, ResultFileThatCannotBeCreated) {
  // Every file of a run, those opened at the start and those written later.
  const std::string deck = join(deck_lines("ice_small.deck"));
  const Outcome normal = run(kProgram, deck);
  ASSERT_EQ(normal.files().size(), 27u) << normal.describe();
  for (const std::string& f : normal.files())
    expect_output_error(run(kProgram, deck, prepared("mkdir '" + f + "'")), "a directory in place of " + f, "\"" + f + "\"");
  Options gone;
  gone.remove_workdir = true;
  expect_output_error(run(kProgram, deck, gone), "removed working directory",
                      "cannot create result file \"vp_anal.phiw\"");
}

TEST(Faults, ReportOnAFullDeviceOrDeckThatIsNotAFile) {
  expect_output_error(run(kProgram, join(deck_lines("ice_small.deck")), stdout_to("/dev/full")),
                      "standard output on /dev/full", "standard output");
  // The same when the run ends early: the input error is still reported.
  const Outcome early = run(kProgram, "10.0\n", stdout_to("/dev/full"));
  EXPECT_NE(early.status, 40) << early.describe();
  EXPECT_NE(early.status, 0) << early.describe();
  EXPECT_TRUE(contains(early.err, "record 2 (freq_max)")) << early.describe();
  // Standard input is a directory: nothing can be read from it.
  const Outcome r = run(kProgram, "", stdin_from("/"));
  EXPECT_EQ(r.status, 2) << r.describe();
  EXPECT_TRUE(contains(r.err, "record 1 (freq)")) << r.describe();
}

TEST(Faults, ClosedStandardDescriptorsTakeNoResultFile) {
  // A result file must not take the number of a closed standard descriptor:
  // the report or the STOP notice would land in a table.
  const std::string deck = join(deck_lines("ice_small.deck"));
  const Outcome normal = run(kProgram, deck);
  for (int fd : {1, 2}) {
    Options closed;
    closed.closed_fd = fd;
    const Outcome r = run(kProgram, deck, closed);
    EXPECT_EQ(r.status, 40) << fd << ": " << r.describe();
    ASSERT_EQ(r.files(), normal.files()) << fd;
    for (const char* table : {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw"})
      EXPECT_EQ(r.file(table), normal.file(table)) << "descriptor " << fd << " closed: " << table;
  }
  Options no_input;
  no_input.closed_fd = 0;
  const Outcome r = run(kProgram, deck, no_input);
  EXPECT_EQ(r.status, 2) << r.describe();
  EXPECT_TRUE(contains(r.err, "record 1 (freq): end of input")) << r.describe();
}

TEST(Faults, OutOfMemoryIsAStopWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
  // The largest grid cannot fit in 100 MB of address space.
  Options small;
  small.address_space_mb = 100;
  const Deck big = with_record(with_record(with_record(with_record(deck_lines("ice_small.deck"), 5, "60"), 6, "60"), 10, "30"), 30, "30");
  const Outcome r = run(kProgram, join(big), small);
  EXPECT_EQ(r.signal, 0) << r.describe();
  EXPECT_EQ(r.status, 12) << r.describe();
  EXPECT_TRUE(contains(r.err, "out of memory") && r.err.ends_with("STOP 12\n")) << r.describe();
}

}  // namespace
