// A deck tensor_upscale refuses: the run throws the stop with its code and
// sentence (the process goes on: only main ends it), and the run record
// holds the code's exit status and the same sentence.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "tensor/options.hpp"
#include "tensor/run.hpp"
#include "tests/tensor/support.hpp"

namespace tensor_test {
namespace {

TEST(Refusals, ADeckOutOfRangeIsThrownAndRecordedWithItsCode) {
  const Folder f;
  ASSERT_TRUE(f.made);
  // The example deck with a negative number of columns (record 5).
  std::ifstream example_deck(example("ice_small.deck"));
  std::ofstream bad(f.dir + "/bad.deck");
  int record = 0;
  for (std::string line; std::getline(example_deck, line);) bad << (++record == 5 ? "-3   nx" : line) << "\n";
  bad.close();
  const std::string deck = f.dir + "/bad.deck", out = f.dir + "/out";
  int code = 0;
  std::string sentence;
  try {
    run_program(deck, {"--freq", "10"}, out);
  } catch (const core::StopError& e) {
    code = e.code(), sentence = e.what();
  }
  EXPECT_EQ(code, core::kStopDeckRefused);
  EXPECT_NE(sentence.find("record 5: nx = -3"), std::string::npos) << sentence;
  const std::string record_text = text_of(out + "/run.json");
  EXPECT_NE(record_text.find("\"exit_status\": 13,"), std::string::npos) << record_text;
  EXPECT_NE(record_text.find("record 5: nx = -3"), std::string::npos) << record_text;
}

}  // namespace
}  // namespace tensor_test
