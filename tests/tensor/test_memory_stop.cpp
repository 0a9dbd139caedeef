// A run short of memory ends with the out-of-memory stop and a sentence
// naming the bytes, never with std::bad_alloc: under a real address-space
// limit (ulimit -v in a subshell) on a 160 x 160 label image, and for each
// way the memory can run short inside the program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <stdexcept>
#include <string>

#include "core/memory_room.hpp"
#include "core/stop_codes.hpp"
#include "engine/sparse_solver.hpp"
#include "tensor/failure_status.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

TEST(MemoryStop, EveryShortageIsTheOutOfMemoryStop) {
  EXPECT_EQ(tensor::failure_status(std::bad_alloc()), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(engine::OutOfMemory(10, 5, "the factorisation needs 10")), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(core::MemoryShort(10, 5, "the assembly needs 10")), core::kStopOutOfMemory);
  EXPECT_EQ(tensor::failure_status(std::runtime_error("deck: bad")), 1);
  EXPECT_EQ(tensor::failure_message(engine::OutOfMemory(10, 5, "the factorisation needs 10")),
            "the factorisation needs 10");
  const std::string bare = tensor::failure_message(std::bad_alloc());
  EXPECT_EQ(bare.find("out of memory: an allocation of the run failed"), 0U) << bare;
  EXPECT_NE(bare.find("ulimit -v"), std::string::npos) << bare;
}

TEST(MemoryStop, AnAddressSpaceLimitEndsTheRunWithASentence) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer itself needs more address space";
#endif
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("memory_stop_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    std::mt19937 gen(3);
    std::ofstream labels(dir / "labels.txt");
    for (int k = 0; k < 160; ++k) {
      for (int j = 0; j < 160; ++j) labels << (gen() % 2 ? " 1" : " 2");
      labels << '\n';
    }
  }
  // 300 MB: room for the program, its libraries and the assembly of the
  // grid (155,204 unknowns), not for the analysis (about 290 MB) nor the
  // factorisation (about 650 MB).
  const std::string cmd = "cd '" + dir.string() + "' && (ulimit -v 300000 && OPENBLAS_NUM_THREADS=1 exec '" +
                          TENSOR_UPSCALE_PROGRAM + "' '" + example("ice_small.deck") +
                          "' --labels labels.txt --freq 100 --tests p --threads 1 --quiet -o out) 2> err.txt";
  const int status = std::system(cmd.c_str());
  const std::string err = text_of((dir / "err.txt").string());
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), core::kStopOutOfMemory) << err;
  EXPECT_EQ(err.find("bad_alloc"), std::string::npos) << err;
  EXPECT_NE(err.find(" needs "), std::string::npos) << err;
  EXPECT_NE(err.find(" bytes ("), std::string::npos) << err;
  EXPECT_NE(err.find("are available (the address-space limit (ulimit -v)"), std::string::npos) << err;
  const std::string record = text_of((dir / "out" / "run.json").string());
  EXPECT_NE(record.find("\"exit_status\": 12"), std::string::npos) << record;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace tensor_test
