// The deck reader in process: values, derived cell side, echo, and that
// comments and line ends do not change what is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/text_out.hpp"
#include "deck_files.hpp"
#include "drivers/readata.hpp"

using deck_files::join;
using deck_files::lines_of;

namespace {

// Reads `text` as a deck; returns the echo printed on standard output.
std::string read_deck(const std::string& text, core::Deck& deck) {
  std::FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  core::RecordSource in(f, "test deck");
  testing::internal::CaptureStdout();
  drivers::readata(in, deck);
  core::TextOut::report().flush_checked();
  std::fclose(f);
  return testing::internal::GetCapturedStdout();
}

// Every value of the parameter set, in a fixed order.
std::vector<double> values(const core::Deck& d) {
  std::vector<double> v{d.freq, d.freq_max, double(d.nfreq), d.domain_size, double(d.nx), double(d.ny),
                        double(d.key_model), double(d.model), double(d.nlayers), d.h};
  for (int i = 1; i <= core::kMaxLayers; ++i) {
    for (double x : {double(d.nl(i)), d.akf(i), d.ro2(i), d.eta(i), d.ro1(i), d.ro3(i), d.phi_a(i), d.phi_layer1(i),
                     d.capa_1_0(i), d.capa_3_0(i), d.s3(i), d.rs1(i), d.rs3(i), d.coef_b13(i), d.ak_air(i),
                     d.xmu_air(i), d.ak_s1(i), d.xmu_s1(i), d.ak_s3(i), d.xmu_s3(i)})
      v.push_back(x);
  }
  return v;
}

// The deck without comments: the first item of a list record, columns 1-5
// of an (i5) record, columns 1-20 of a (g20.10) record.
std::vector<std::string> bare(const std::vector<std::string>& lines, int nlayers) {
  std::vector<std::string> out;
  auto first_item = [](const std::string& s) { return s.substr(0, s.find(' ')); };
  for (int r = 1; r <= static_cast<int>(lines.size()); ++r) {
    const std::string& s = lines[static_cast<std::size_t>(r - 1)];
    const bool i5 = r == 7 || r == 8;
    const bool list = r <= 9 ? !i5 : (r - 10) % 20 == 0;
    if (r > 9 + 20 * nlayers) break;
    out.push_back(i5 ? s.substr(0, 5) : list ? first_item(s) : s.substr(0, 20));
  }
  return out;
}

}  // namespace

TEST(Readata, ReadsTheIceExample) {
  core::Deck d;
  const std::string echo = read_deck(join(lines_of("ice_small.deck")), d);
  EXPECT_EQ(d.freq, 10.0);
  EXPECT_EQ(d.freq_max, 100.0);
  EXPECT_EQ(d.nfreq, 10);
  EXPECT_EQ(d.nx, 10);
  EXPECT_EQ(d.ny, 10);
  EXPECT_EQ(d.key_model, 0);
  EXPECT_EQ(d.model, 0);
  EXPECT_EQ(d.nlayers, 2);
  EXPECT_EQ(d.nl(1), 5);
  EXPECT_EQ(d.nl(2), 5);
  EXPECT_EQ(d.akf(1), 2.25e9);
  EXPECT_EQ(d.eta(2), 1.798e-3);
  EXPECT_EQ(d.phi_layer1(1), 0.1);
  EXPECT_EQ(d.phi_layer1(2), 0.3);
  EXPECT_EQ(d.xmu_s3(2), 3.32e9);
  EXPECT_EQ(d.h, 0.2 / 10);

  // Echo: the nine bare values, one block per layer, the model and h.
  EXPECT_TRUE(echo.starts_with(" 10\n 100\n 10\n 0.2\n 10\n 10\n 0\n 0\n 2\n **********************************\n"))
      << echo;
  EXPECT_NE(echo.find(" **********************************\n  layer i=   2\n\n **********************************\n"
                      "  nl(i) = cell in layer i       =  5\n  akf (GPA) (fluid bulk mod.    =  2.25e+09\n"),
            std::string::npos)
      << echo;
  EXPECT_NE(echo.find("  eta (poise) (fluid viscosity) =  0.001798\n\n  ro1(kgr/m^3)"), std::string::npos);
  EXPECT_NE(echo.find("  rs1 (m^2)   (shale)          =  5e-05\n  rs3 (m^2) (shale)            =  1e-06\n"),
            std::string::npos);
  const std::string tail = "  model (=0,layered,=1,fractal  =  0\n\n  mesh size h  0.02\n";
  ASSERT_GE(echo.size(), tail.size());
  EXPECT_EQ(echo.substr(echo.size() - tail.size()), tail);
}

TEST(Readata, AllExamplesAndTheirCellSide) {
  for (const char* name : {"ice.deck", "ice_small.deck", "shale.deck", "shale_small.deck"}) {
    core::Deck d;
    read_deck(join(lines_of(name)), d);
    EXPECT_EQ(d.h, d.domain_size / d.ny) << name;
    EXPECT_EQ(d.nlayers, 2) << name;
    EXPECT_EQ(d.key_model, std::string(name).starts_with("shale") ? 1 : 0) << name;
    EXPECT_GT(d.ro1(2), 1000.0) << name;  // the decks carry decimal points: no implied decimals
  }
}

TEST(Readata, CommentsAndLineEndsDoNotChangeTheValues) {
  for (const char* name : {"ice_small.deck", "shale_small.deck"}) {
    const std::vector<std::string> lines = lines_of(name);
    core::Deck commented, plain, crlf;
    const std::string echo = read_deck(join(lines), commented);
    EXPECT_EQ(read_deck(join(bare(lines, 2)), plain), echo);
    EXPECT_EQ(read_deck(join(lines, "\r\n"), crlf), echo);
    EXPECT_EQ(values(plain), values(commented)) << name;
    EXPECT_EQ(values(crlf), values(commented)) << name;
  }
}

TEST(Readata, ImpliedDecimalsAndPointedIntegers) {
  std::vector<std::string> lines = lines_of("ice_small.deck");
  core::Deck d;
  read_deck(join(deck_files::with_record(lines, 14, "2500.")), d);  // ro1(1)
  EXPECT_EQ(d.ro1(1), 2500.0);
  testing::internal::CaptureStderr();
  read_deck(join(deck_files::with_record(lines, 14, "2500                ro1(1)")), d);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.ro1(1), 2.5e-7);
  EXPECT_NE(err.find("warning: test deck, record 14 (ro1(1)): \"2500"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(Readata, NoLayers) {
  std::vector<std::string> lines = deck_files::first_records(lines_of("shale_small.deck"), 9);
  core::Deck d;
  const std::string echo = read_deck(join(deck_files::with_record(lines, 9, "0")), d);
  EXPECT_EQ(d.nlayers, 0);
  EXPECT_EQ(d.h, 0.02);
  EXPECT_EQ(echo.find("layer i="), std::string::npos);
  EXPECT_EQ(d.ro1(1), 0.0);
}
