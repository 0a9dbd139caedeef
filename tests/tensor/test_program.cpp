// tensor_upscale as a whole, in process and as a program: a refused deck
// thrown and recorded with its code; the factors on disk removed, a folder
// for them that is not there refused, and a plan of both modes; a
// shortage of memory ending with the out-of-memory stop and a sentence
// naming the bytes, never std::bad_alloc; the one summary warning of an
// unresolved grid and the estimates in the table.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>

#include "core/memory_room.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "tensor/failure_status.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

// The program's standard error; it must end normally.
std::string run_quietly(const std::string& input, const std::vector<std::string>& more, const std::string& dir) {
  testing::internal::CaptureStderr();
  const int status = run_program(input, more, dir);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 0) << err;
  return err;
}

// tensor_upscale itself through /bin/sh: its exit status. Where MUMPS is
// built a plan starts MPI, whose own start-up allocations are never freed
// (no leak check of that process).
int run_shell(const std::string& command) {
  const int status = std::system(("ASAN_OPTIONS=detect_leaks=0 " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, ADeckOutOfRangeIsThrownAndRecordedWithItsCode) {
  const Folder f;
  ASSERT_TRUE(f.made);
  // The example deck with a negative number of columns (record 5).
  std::ifstream example_deck(example("ice_small.deck"));
  std::ofstream bad(f.dir + "/bad.deck");
  int record = 0;
  for (std::string line; std::getline(example_deck, line);) bad << (++record == 5 ? "-3   nx" : line) << "\n";
  bad.close();
  try {
    run_program(f.dir + "/bad.deck", {"--freq", "10"}, f.dir + "/out");
    ADD_FAILURE() << "a deck out of range accepted";
  } catch (const core::StopError& e) {
    EXPECT_EQ(e.code(), core::kStopDeckRefused);
  }
  const std::string record_text = text_of(f.dir + "/out/run.json");
  EXPECT_NE(record_text.find("\"exit_status\": 13,"), std::string::npos) << record_text;
  EXPECT_NE(record_text.find("record 5: nx = -3"), std::string::npos) << record_text;
}

// (The factors out of core give the tensor in core to the last bit:
// test_routes.cpp.)
TEST(Program, FactorsOnDiskAreRemovedAndThePlanGivesBothModes) {
  const Folder out, factors;
  ASSERT_TRUE(out.made && factors.made);
  const std::vector<std::string> args = {"--freq", "3:300:2", "--threads", "2"};
  auto with = [&](std::vector<std::string> more) { return more.insert(more.begin(), args.begin(), args.end()), more; };
  ASSERT_EQ(run_program(example("ice_small.deck"), with({"--out-of-core", factors.dir}), out.dir), 0);
  EXPECT_FALSE(text_of(out.dir + "/tensor.csv").empty());
  EXPECT_TRUE(std::filesystem::is_empty(factors.dir));
  // A folder that is not there is refused with its name, and recorded.
  const std::string absent = factors.dir + "/absent";
  testing::internal::CaptureStderr();
  EXPECT_THROW(run_program(example("ice_small.deck"), with({"--out-of-core", absent}), out.dir), std::exception);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(text_of(out.dir + "/run.json").find(absent), std::string::npos);
  // The plan, from the program itself (a plan may start MPI): both modes and the disk, no table.
  EXPECT_EQ(run_shell("'" TENSOR_UPSCALE_PROGRAM "' '" + example("ice_small.deck") + "' --freq 3 --quiet --plan -o '" +
                      factors.dir + "' > '" + factors.dir + "/plan.txt'"), 0);
  const std::string text = text_of(factors.dir + "/plan.txt");
  for (const char* line : {"own engine plan on 1 rank", "factor entries", "memory out of core", "disk out of core"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  EXPECT_FALSE(std::filesystem::exists(factors.dir + "/tensor.csv"));
}

TEST(Program, EveryShortageIsTheOutOfMemoryStop) {
  EXPECT_EQ(tensor::failure_status(std::bad_alloc()), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(engine::OutOfMemory(10, 5, "the factorisation needs 10")), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(core::MemoryShort(10, 5, "the assembly needs 10")), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(std::runtime_error("deck: bad")), 1);
  EXPECT_EQ(tensor::failure_message(std::bad_alloc()).find("out of memory: an allocation of the run failed"), 0U);
}

// Under a real address-space limit (ulimit -v in a subshell) on a 160 x 160
// label image.
TEST(Program, AnAddressSpaceLimitEndsTheRunWithASentence) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer itself needs more address space";
#endif
  const Folder f;
  ASSERT_TRUE(f.made);
  std::mt19937 gen(3);
  std::ofstream labels(f.dir + "/labels.txt");
  for (int c = 1; c <= 160 * 160; ++c) labels << (gen() % 2 ? " 1" : " 2") << (c % 160 ? "" : "\n");
  labels.close();
  // 300 MB: room for the program, its libraries and the assembly of the
  // grid (155,204 unknowns), not for the analysis (about 290 MB) nor the
  // factorisation (about 650 MB).
  const int status = run_shell("cd '" + f.dir + "' && (ulimit -v 300000 && OPENBLAS_NUM_THREADS=1 exec '" +
                               TENSOR_UPSCALE_PROGRAM + "' '" + example("ice_small.deck") +
                               "' --labels labels.txt --freq 100 --tests p --threads 1 --quiet -o out) 2> err.txt");
  const std::string err = text_of(f.dir + "/err.txt");
  EXPECT_EQ(status, core::kStopOutOfMemory) << err;
  EXPECT_EQ(err.find("bad_alloc"), std::string::npos) << err;
  for (const char* part : {" needs ", " bytes (", "are available (the address-space limit (ulimit -v)"})
    EXPECT_NE(err.find(part), std::string::npos) << err;
  const std::string record = text_of(f.dir + "/out/run.json");
  EXPECT_NE(record.find("\"exit_status\": 12"), std::string::npos) << record;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// One summary warning over the unresolved frequencies of the layered
// example, naming the grid and 1000/Q; none at 1 Hz, where the grid
// resolves the diffusion length (nor on one material at any frequency: the
// geometry's resolution in test_error_estimates.cpp expects no error there).
TEST(Program, OneSummaryWarningAndTheEstimatesInTheTable) {
  const Folder scratch;
  ASSERT_TRUE(scratch.made);
  EXPECT_EQ(run_quietly(example("ice_small.deck"), {"--freq", "1"}, scratch.dir).find("warning"), std::string::npos);
  const std::string err = run_quietly(example("ice_small.deck"), {"--freq", "1e3:1e5:3", "--estimate-error"}, scratch.dir);
  EXPECT_EQ(count(err, "warning"), 1u) << err;
  EXPECT_NE(err.find("from 1000 to 100000 Hz (3 of 3 frequencies)"), std::string::npos) << err;
  EXPECT_TRUE(err.find("cells per diffusion length") != std::string::npos && err.find("1000/Q") != std::string::npos) << err;
  std::ifstream in(scratch.dir + "/tensor.csv");
  std::string header;
  std::getline(in, header);
  EXPECT_NE(header.find("c53_im,condition_estimate,forward_error_bound,cells_per_diffusion_length"), std::string::npos);
  for (const char* name : {"expected_error_q1000", "err_c55", "err_q1000_s0", "order_q1000_s0", "err_fallbacks"})
    EXPECT_NE((header + ",").find(std::string(",") + name + ","), std::string::npos) << name << " in " << header;
  // The plot: open symbols for the unresolved points, error bars of the estimates.
  const std::string script = text_of(scratch.dir + "/tensor.gp"), record = text_of(scratch.dir + "/run.json");
  EXPECT_TRUE(script.find("pt 6") != std::string::npos && script.find("with yerrorbars") != std::string::npos);
  EXPECT_NE(record.find("\"cells_per_feature\": 10"), std::string::npos) << record;
}

}  // namespace
}  // namespace tensor_test
