// Fuzz target: the input deck reader (readata) on arbitrary bytes.
//
// The reader runs as in the programs; where it would end the run, the
// stop is caught (stop_throws.cpp) and checked: only the input error (2),
// the refused deck (13) and the porosity check (11) may end a reading, each
// naming the record. A deck that reads must be one the system can hold.
// The same bytes with CR-LF line ends must read the same way.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/capacities.hpp"
#include "core/deck.hpp"
#include "core/stop.hpp"
#include "drivers/readata.hpp"
#include "fuzz/stop_throws.hpp"

using fuzz::check;

namespace {

// What a reading gave: the stop or the values, bit for bit.
std::string outcome(const std::string& bytes, core::Deck& deck, int& records) {
  std::FILE* f = bytes.empty() ? nullptr : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
  core::RecordSource in(f, "fuzz deck");
  std::string result;
  try {
    drivers::readata(in, deck);
    result = "read";
    char buf[40];
    auto put = [&](double v) {
      std::uint64_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      std::snprintf(buf, sizeof buf, " %016llx", static_cast<unsigned long long>(bits));
      result += buf;
    };
    for (int32_t v : {deck.nfreq, deck.nx, deck.ny, deck.key_model, deck.model, deck.nlayers, deck.nl(1), deck.nl(2)})
      result += " " + std::to_string(v);
    for (double v : {deck.freq, deck.freq_max, deck.domain_size, deck.h}) put(v);
    for (int i = 1; i <= 2; ++i)
      for (double v : {deck.akf(i), deck.ro2(i), deck.eta(i), deck.ro1(i), deck.ro3(i), deck.phi_a(i),
                       deck.phi_layer1(i), deck.capa_1_0(i), deck.capa_3_0(i), deck.s3(i), deck.rs1(i), deck.rs3(i),
                       deck.coef_b13(i), deck.ak_air(i), deck.xmu_air(i), deck.ak_s1(i), deck.xmu_s1(i),
                       deck.ak_s3(i), deck.xmu_s3(i)})
        put(v);
  } catch (const fuzz::Stopped& s) {
    result = "stop " + std::to_string(s.code) + ": " + s.message;
  }
  records = in.number();
  if (f) std::fclose(f);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The echo is not looked at.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  core::Deck deck;
  int records = 0;
  const std::string got = outcome(bytes, deck, records);

  if (got.starts_with("stop ")) {
    const bool input = got.starts_with("stop 2: error reading the input deck: fuzz deck, record ");
    const bool refused = got.starts_with("stop 13: input deck refused: fuzz deck, record ");
    const bool porosity = got == "stop 11: ";
    check(input || refused || porosity, "unexpected end of the reading: " + got.substr(0, 300));
    if (porosity) check(deck.key_model == 0, "porosity check outside the ice model");
    check(got.size() < 400, "message too long: " + std::to_string(got.size()) + " characters");
  } else {
    check(deck.nx >= 1 && deck.nx <= core::kMaxCellsPerSide, "nx beyond the grid: " + std::to_string(deck.nx));
    check(deck.ny >= 1 && deck.ny <= core::kMaxCellsPerSide, "ny beyond the grid: " + std::to_string(deck.ny));
    check(core::unknowns_of(deck.nx, deck.ny) <= core::kMaxUnknowns, "too many unknowns");
    check(deck.key_model == 0 || deck.key_model == 1, "key_model " + std::to_string(deck.key_model));
    check(deck.model == 0 || deck.model == 1, "model " + std::to_string(deck.model));
    check(deck.nlayers >= 0 && deck.nlayers <= core::kMaxLayers, "nlayers " + std::to_string(deck.nlayers));
    check(records == 9 + 20 * deck.nlayers, "records read: " + std::to_string(records));
    if (deck.key_model == 0)
      for (int i = 1; i <= deck.nlayers; ++i)
        check(!(deck.phi_layer1(i) >= deck.phi_a(i)), "ice model deck passed with phi_layer1 >= phi_a");
    for (int i = deck.nlayers + 1; i <= core::kMaxLayers; ++i)
      check(deck.nl(i) == 0 && deck.phi_layer1(i) == 0 && deck.akf(i) == 0, "a layer not in the deck holds values");
    const double h = deck.domain_size / static_cast<double>(deck.ny);
    check(std::memcmp(&h, &deck.h, sizeof h) == 0, "h is not domain_size / ny");
  }

  // CR-LF line ends read as the same deck.
  if (bytes.find('\r') == std::string::npos) {
    std::string crlf;
    for (char c : bytes) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    core::Deck again;
    int records_again = 0;
    const std::string got_again = outcome(crlf, again, records_again);
    check(got_again == got, "CR-LF line ends read differently:\n  " + got.substr(0, 200) + "\n  " + got_again.substr(0, 200));
  }
  return 0;
}
