// upscale_sweep over tensor_upscale: the merged tensor.csv is the table of
// one tensor_upscale run over the same frequencies, byte for byte, whether
// the points ran under the sweep or from its task list; a failed point is
// rerun alone; a point whose deck changed after its run is not merged.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path kExamples = SWEEP_EXAMPLES_DIR;

std::string q(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string slurp(const fs::path& f) {
  std::ifstream in(f, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The row of a point's table: the line after the names and the units.
std::string row_of(const fs::path& table) {
  std::istringstream in(slurp(table));
  std::string line;
  for (int i = 0; i < 3; ++i) std::getline(in, line);
  return line;
}

int shell(const std::string& cmd) {
  const int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

struct Scratch {
  fs::path dir;
  Scratch() {
    std::string t = (fs::temp_directory_path() / "sweep_tensor.XXXXXX").string();
    if (::mkdtemp(t.data())) dir = t;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

const std::string kFreq = "1:1000:3";

std::string sweep(const fs::path& out, const std::string& more = "", const std::string& mode = "") {
  return q(SWEEP_EXE) + mode + " tensor_upscale " + q((kExamples / "ice_small.deck").string()) + " --freq " + kFreq +
         " -o " + q(out.string()) + " --exe " + q(TENSOR_EXE) + " --no-plot -q " + more + " 2> " +
         q(out.string() + ".err");
}

TEST(SweepTensor, TheMergedTableIsOneRunsTableAndResumes) {
  Scratch s;
  ASSERT_FALSE(s.dir.empty());
  const fs::path one = s.dir / "one", sw = s.dir / "sw";
  ASSERT_EQ(shell(q(TENSOR_EXE) + " " + q((kExamples / "ice_small.deck").string()) + " --freq " + kFreq + " -o " +
                  q(one.string()) + " --quiet 2> /dev/null"),
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
  ASSERT_EQ(shell(q(SWEEP_EXE) + " --merge " + q(sw.string()) + " --no-plot 2> /dev/null"), 1);
  ASSERT_FALSE(row_of(p2 / "tensor.csv").empty());
  EXPECT_EQ(slurp(sw / "tensor.csv").find(row_of(p2 / "tensor.csv")), std::string::npos);
  const auto untouched = fs::last_write_time(sw / "points" / "p0001" / "tensor.csv");
  ASSERT_EQ(shell(sweep(sw, "--retry-failed")), 0) << slurp(sw.string() + ".err");
  EXPECT_EQ(fs::last_write_time(sw / "points" / "p0001" / "tensor.csv"), untouched);
  EXPECT_EQ(slurp(sw / "tensor.csv"), expected);

  // A deck changed after its run: that point's row is no result of it.
  std::ofstream(sw / "points" / "p0003" / "input.deck", std::ios::app) << "\n";
  EXPECT_EQ(shell(q(SWEEP_EXE) + " --merge " + q(sw.string()) + " --no-plot 2> " + q(sw.string() + ".err")), 1);
  EXPECT_NE(slurp(sw.string() + ".err").find("another deck"), std::string::npos) << slurp(sw.string() + ".err");
}

TEST(SweepTensor, TheTaskListRunsThePointsAsTheSweepDoes) {
  Scratch s;
  ASSERT_FALSE(s.dir.empty());
  const fs::path one = s.dir / "one", sw = s.dir / "sw";
  ASSERT_EQ(shell(q(TENSOR_EXE) + " " + q((kExamples / "ice_small.deck").string()) + " --freq " + kFreq + " -o " +
                  q(one.string()) + " --quiet 2> /dev/null"),
            0);
  ASSERT_EQ(shell(sweep(sw, "> /dev/null", " --plan")), 0)
      << slurp(sw.string() + ".err");
  EXPECT_FALSE(fs::exists(sw / "tensor.csv"));
  ASSERT_EQ(shell("sh " + q((sw / "tasks.txt").string())), 0);
  ASSERT_EQ(shell(q(SWEEP_EXE) + " --merge " + q(sw.string()) + " --no-plot 2> /dev/null"), 0);
  EXPECT_EQ(slurp(sw / "tensor.csv"), slurp(one / "tensor.csv"));
  // Only frequencies vary.
  EXPECT_EQ(shell(sweep(s.dir / "bad", "--phiw 0.1,0.2")), 2);
  EXPECT_NE(slurp((s.dir / "bad").string() + ".err").find("only --freq"), std::string::npos);
  std::ofstream(s.dir / "sample.toml") << "model = \"ice\"\n";
  EXPECT_EQ(shell(q(SWEEP_EXE) + " tensor_upscale " + q((s.dir / "sample.toml").string()) + " -o " +
                  q((s.dir / "bad2").string()) + " --exe " + q(TENSOR_EXE) + " 2> " + q((s.dir / "bad2.err").string())),
            2);
  EXPECT_NE(slurp(s.dir / "bad2.err").find("takes a deck"), std::string::npos) << slurp(s.dir / "bad2.err");
}

}  // namespace
