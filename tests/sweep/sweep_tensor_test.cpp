// upscale_sweep over tensor_upscale: the merged tensor.csv is the table of
// one tensor_upscale run over the same frequencies, byte for byte, whether
// the points ran under the sweep or from its task list; a failed point is
// rerun alone; a point whose deck changed after its run is not merged; only
// frequencies vary, over decks.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "run_program.hpp"

namespace fs = std::filesystem;
using namespace support;

namespace {

const fs::path kExamples = SWEEP_EXAMPLES_DIR;
const std::string kFreq = "1:1000:3";

// The row of a point's table: the line after the names and the units.
std::string row_of(const fs::path& table) {
  std::istringstream in(slurp(table));
  std::string line;
  for (int i = 0; i < 3; ++i) std::getline(in, line);
  return line;
}

std::string sweep(const fs::path& out, const std::string& more = "", const std::string& mode = "") {
  return quoted(SWEEP_EXE) + mode + " tensor_upscale " + quoted((kExamples / "ice_small.deck").string()) +
         " --freq " + kFreq + " -o " + quoted(out.string()) + " --exe " + quoted(TENSOR_EXE) + " --no-plot -q " + more +
         " 2> " + quoted(out.string() + ".err");
}

TEST(SweepTensor, TheMergedTableIsOneRunsTableResumesAndRunsFromTheTaskList) {
  const support::ScratchDir s("sweep_tensor");
  const fs::path one = s / "one", sw = s / "sw", planned = s / "planned";
  ASSERT_EQ(shell(quoted(TENSOR_EXE) + " " + quoted((kExamples / "ice_small.deck").string()) + " --freq " + kFreq +
                  " -o " + quoted(one.string()) + " --quiet 2> /dev/null"),
            0);
  const std::string expected = slurp(one / "tensor.csv");
  ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 5);  // names, units, three rows
  ASSERT_EQ(shell(sweep(sw, "-j 2")), 0) << slurp(sw.string() + ".err");
  EXPECT_EQ(slurp(sw / "tensor.csv"), expected);
  EXPECT_TRUE(fs::exists(sw / "tensor.gp"));

  // A point that failed is run again alone by --retry-failed, and the table is whole again.
  const fs::path p2 = sw / "points" / "p0002";
  const std::string deck_line = slurp(p2 / "status").substr(slurp(p2 / "status").find('\n') + 1);
  std::ofstream(p2 / "status") << "1\n" << deck_line;
  fs::remove(p2 / "run.json");
  ASSERT_EQ(shell(quoted(SWEEP_EXE) + " --merge " + quoted(sw.string()) + " --no-plot 2> /dev/null"), 1);
  ASSERT_FALSE(row_of(p2 / "tensor.csv").empty());
  EXPECT_EQ(slurp(sw / "tensor.csv").find(row_of(p2 / "tensor.csv")), std::string::npos);
  const auto untouched = fs::last_write_time(sw / "points" / "p0001" / "tensor.csv");
  ASSERT_EQ(shell(sweep(sw, "--retry-failed")), 0) << slurp(sw.string() + ".err");
  EXPECT_EQ(fs::last_write_time(sw / "points" / "p0001" / "tensor.csv"), untouched);
  EXPECT_EQ(slurp(sw / "tensor.csv"), expected);

  // A deck changed after its run: that point's row is no result of it.
  std::ofstream(sw / "points" / "p0003" / "input.deck", std::ios::app) << "\n";
  EXPECT_EQ(shell(quoted(SWEEP_EXE) + " --merge " + quoted(sw.string()) + " --no-plot 2> " + quoted(sw.string() + ".err")), 1);
  EXPECT_NE(slurp(sw.string() + ".err").find("another deck"), std::string::npos) << slurp(sw.string() + ".err");

  // The points run from the task list, merged: the same table.
  ASSERT_EQ(shell(sweep(planned, "> /dev/null", " --plan")), 0) << slurp(planned.string() + ".err");
  EXPECT_FALSE(fs::exists(planned / "tensor.csv"));
  ASSERT_EQ(shell("sh " + quoted((planned / "tasks.txt").string())), 0);
  ASSERT_EQ(shell(quoted(SWEEP_EXE) + " --merge " + quoted(planned.string()) + " --no-plot 2> /dev/null"), 0);
  EXPECT_EQ(slurp(planned / "tensor.csv"), expected);
  // Only frequencies vary.
  EXPECT_EQ(shell(sweep(s / "bad", "--phiw 0.1,0.2")), 2);
  EXPECT_NE(slurp(s / "bad" + ".err").find("only --freq"), std::string::npos);
  std::ofstream(s / "sample.toml") << "model = \"ice\"\n";
  EXPECT_EQ(shell(quoted(SWEEP_EXE) + " tensor_upscale " + quoted(s / "sample.toml") + " -o " +
                  quoted(s / "bad2") + " --exe " + quoted(TENSOR_EXE) + " 2> " + quoted(s / "bad2.err")),
            2);
  EXPECT_NE(slurp(s / "bad2.err").find("takes a deck"), std::string::npos) << slurp(s / "bad2.err");
}

}  // namespace
