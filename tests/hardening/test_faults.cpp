// Fault injection: result files that cannot be created, a report that
// cannot be written, a working directory that is gone, a closed standard
// descriptor, too little memory. Each is reported with a message and a
// non-zero status, and none may look like a normal end (40) or corrupt a
// result file. And a run repeated gives the same bytes.
#include "run_program.hpp"

using namespace support;

namespace {

const std::string kProgram = "pwave_upscale";

void expect_output_error(const Outcome& r, const std::string& what, const std::string& names) {
  EXPECT_TRUE(r.signal == 0 && r.status == 74 && contains(r.err, names) && !contains(r.err, "STOP 40"))
      << what << ": the message should name " << names << ": " << r.describe();
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
                      "cannot create the lock file \".upscale_run.lock\"");
}

// (A report on a full device at a normal end: the run-record test.) When
// the run ends early, the input error is still reported.
TEST(Faults, ReportOnAFullDeviceAfterAnEarlyEnd) {
  const Outcome early = run(kProgram, "10.0\n", stdout_to("/dev/full"));
  EXPECT_TRUE(early.status != 40 && early.status != 0 && contains(early.err, "record 2 (freq_max)")) << early.describe();
}

TEST(Faults, ClosedStandardDescriptorOrTooLittleMemory) {
  // A result file must not take the number of a closed standard descriptor:
  // the report or the STOP notice would land in a table.
  const std::string deck = join(deck_lines("ice_small.deck"));
  const Outcome normal = run(kProgram, deck);
  for (int fd : {0, 1, 2}) {
    Options closed;
    closed.closed_fd = fd;
    const Outcome r = run(kProgram, deck, closed);
    EXPECT_EQ(r.status, fd == 0 ? 2 : 40) << fd << ": " << r.describe();  // no deck: end of input
    for (const std::string& f : r.files())
      EXPECT_TRUE(fd == 0 || f == "run.json" || r.file(f) == normal.file(f)) << fd << " closed: " << f;
  }
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer itself needs more address space
  // The largest grid in 100 MB of address space: a stop with its own code.
  Options small;
  small.address_space_mb = 100;
  const Outcome r = run(kProgram, join(deck_lines("ice.deck")), small);
  EXPECT_TRUE(r.signal == 0 && r.status == 12 && contains(r.err, "out of memory") && r.err.ends_with("STOP 12\n")) << r.describe();
#endif
}

// A run is a function of its deck: the same deck run twice, once with CR-LF
// line ends, gives the same report (apart from the running time), the same
// standard error and the same files, byte for byte.
void expect_same_run(const Outcome& a, const Outcome& b, const std::string& what) {
  ASSERT_TRUE(a.status == 40 && b.status == 40) << what << ": " << a.describe() << "; " << b.describe();
  auto without_time = [](const std::string& s) { return s.substr(0, s.rfind("\n running time=")); };
  EXPECT_TRUE(contains(a.out, "\n running time=")) << what;  // the last line
  EXPECT_EQ(without_time(a.out), without_time(b.out)) << what;
  EXPECT_EQ(a.err, b.err) << what;
  ASSERT_EQ(a.files(), b.files()) << what;
  for (const std::string& f : a.files())  // run.json holds the start time and the CPU time
    EXPECT_TRUE(f == "run.json" || a.file(f) == b.file(f)) << what << ": " << f << " differs";
}

TEST(Determinism, SameDeckSameReportAndFilesWhateverItsLineEnds) {
  const std::string deck = join(deck_lines("ice_small.deck"));
  for (const char* program : {"pwave_upscale", "swave_spectrum", "swave_saturation"})
    expect_same_run(run(program, deck), run(program, join(deck_lines("ice_small.deck"), "\r\n")), program);
}

}  // namespace
