// The deck reader in process: values, derived cell side, echo, and that
// comments after the fields do not change what is read.
#include <cstdio>

#include "core/text_out.hpp"
#include "upscaling/readata.hpp"
#include "run_program.hpp"

using support::deck_lines;
using support::join;

namespace {

// Reads `text` as a deck; returns the echo printed on standard output.
std::string read_deck(const std::string& text, core::Deck& deck) {
  std::FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  core::RecordSource in(f, "test deck");
  testing::internal::CaptureStdout();
  upscaling::readata(in, deck);
  core::TextOut::report().flush_checked();
  std::fclose(f);
  return testing::internal::GetCapturedStdout();
}

// The deck without comments: the first item of a list record, columns 1-5
// of an (i5) record, columns 1-20 of a (g20.10) record.
std::vector<std::string> bare(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (int r = 1; r <= static_cast<int>(lines.size()); ++r) {
    const std::string& s = lines[static_cast<std::size_t>(r - 1)];
    const bool i5 = r == 7 || r == 8, list = r <= 9 ? !i5 : (r - 10) % 20 == 0;
    out.push_back(i5 ? s.substr(0, 5) : list ? s.substr(0, s.find(' ')) : s.substr(0, 20));
  }
  return out;
}

}  // namespace

TEST(Readata, ExamplesWithAndWithoutComments) {
  for (const char* name : {"ice_small.deck", "ice.deck", "shale.deck", "shale_small.deck"}) {
    SCOPED_TRACE(name);
    const std::vector<std::string> lines = deck_lines(name);
    core::Deck d, plain;
    const std::string echo = read_deck(join(lines), d);
    EXPECT_EQ(d.key_model, std::string(name).starts_with("shale") ? 1 : 0);
    // The echo holds every value, exactly, and comments change none.
    EXPECT_EQ(read_deck(join(bare(lines)), plain), echo);
    if (name != std::string("ice_small.deck")) continue;
    // Each record lands in its own quantity, down to the last one; h = domain_size / ny.
    EXPECT_TRUE(d.nl(2) == 5 && d.akf(1) == 2.25e9 && d.eta(2) == 1.798e-3 && d.xmu_s3(2) == 3.32e9 && d.h == 0.2 / 10);
    // Echo: the nine bare values, one block per layer, the model and h.
    EXPECT_TRUE(echo.starts_with(" 10\n 100\n 10\n 0.2\n 10\n 10\n 0\n 0\n 2\n **********************************\n"));
    EXPECT_TRUE(echo.ends_with("  model (=0,layered,=1,fractal  =  0\n\n  mesh size h  0.02\n")) << echo;
  }
}
