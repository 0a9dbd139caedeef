// Fuzz target: the input deck reader (readata) on arbitrary bytes.
//
// The reader runs as in the programs; where it would end the run, the
// stop is caught (stop_throws.cpp) and checked: only the input error (2),
// the refused deck (13) and the porosity check (11) may end a reading, each
// naming the record. A deck that reads must be one the system can hold,
// with every value a finite number within the physical range of what the
// chosen model uses. The same bytes with CR-LF line ends must read the
// same way.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/capacities.hpp"
#include "core/deck.hpp"
#include "core/stop.hpp"
#include "upscaling/deck_checks.hpp"
#include "upscaling/readata.hpp"
#include "fuzz/stop_throws.hpp"

using fuzz::check;

namespace {

// What a reading gave: the stop or the values, bit for bit.
std::string outcome(const std::string& bytes, core::Deck& deck, int& records) {
  std::FILE* f = bytes.empty() ? nullptr : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
  core::RecordSource in(f, "fuzz deck");
  std::string result;
  try {
    fuzz::stopping([&] { upscaling::readata(in, deck); });
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

// What a deck that reads may hold, written out independently of the reader's
// table: finite values, positive frequencies, sizes, densities and moduli,
// volume fractions strictly inside (0, 1) where the model uses them.
void check_ranges(const core::Deck& d) {
  auto in = [](double v, double lo, double hi) { return v > lo && v <= hi; };
  check(in(d.freq, 0, 1e12) && in(d.freq_max, 0, 1e12) && d.nfreq >= 1, "frequency scale out of range");
  check(d.domain_size >= 1e-9 && d.domain_size <= 1e6 && std::isfinite(6.283185307179586 * d.freq) && d.h > 0, "sample size");
  const bool ice = d.key_model == 0;
  for (int i = 1; i <= d.nlayers; ++i) {
    const std::string layer = "layer " + std::to_string(i) + ": ";
    for (double v : {d.akf(i), d.ro2(i), d.eta(i), d.ro1(i), d.ro3(i), d.phi_a(i), d.phi_layer1(i), d.capa_1_0(i),
                     d.capa_3_0(i), d.s3(i), d.rs1(i), d.rs3(i), d.coef_b13(i), d.ak_air(i), d.xmu_air(i), d.ak_s1(i),
                     d.xmu_s1(i), d.ak_s3(i), d.xmu_s3(i)})
      check(std::isfinite(v), layer + "a value that is not finite");
    check(d.nl(i) >= 0, layer + "negative thickness");
    for (double m : {d.akf(i), d.ak_s1(i), d.xmu_s1(i), d.ak_s3(i), d.xmu_s3(i)}) check(in(m, 0, 1e12), layer + "modulus");
    for (double r : {d.ro1(i), d.ro2(i), d.ro3(i)}) check(in(r, 0, 1e5), layer + "density");
    // A negative coef_b13 reads: the friction control, then the later range check, refuse it.
    check(d.eta(i) >= 0 && (d.coef_b13(i) >= 0 || !upscaling::friction_range_after_control(d).empty()),
          layer + "negative viscosity or friction");
    if (d.model == 0) check(in(d.phi_layer1(i), 0, 1) && d.phi_layer1(i) < 1, layer + "water proportion");
    if (ice) {
      check(in(d.phi_a(i), 0, 1) && d.phi_a(i) < 1 && d.phi_layer1(i) < d.phi_a(i), layer + "porosity");
      check(in(d.capa_1_0(i), 0, 1) && in(d.capa_3_0(i), 0, 1), layer + "permeability");
      check(d.ak_air(i) >= 0 && d.xmu_air(i) >= 0, layer + "pore moduli");
    } else {
      check(in(d.s3(i), 0, 1) && d.s3(i) < 1 && in(d.rs1(i), 0, 1) && in(d.rs3(i), 0, 1), layer + "shale or grain size");
    }
  }
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
    check(records == core::deck_records(deck.nlayers), "records read: " + std::to_string(records));
    if (deck.key_model == 0)
      for (int i = 1; i <= deck.nlayers; ++i)
        check(!(deck.phi_layer1(i) >= deck.phi_a(i)), "ice model deck passed with phi_layer1 >= phi_a");
    for (int i = deck.nlayers + 1; i <= core::kMaxLayers; ++i)
      check(deck.nl(i) == 0 && deck.phi_layer1(i) == 0 && deck.akf(i) == 0, "a layer not in the deck holds values");
    const double h = deck.domain_size / static_cast<double>(deck.ny);
    check(std::memcmp(&h, &deck.h, sizeof h) == 0, "h is not domain_size / ny");
    check_ranges(deck);
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
