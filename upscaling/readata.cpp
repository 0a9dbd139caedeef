#include "upscaling/readata.hpp"

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/capacities.hpp"
#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "core/text_out.hpp"
#include "upscaling/deck_checks.hpp"

namespace upscaling {

namespace {

// Reads the deck's records one at a time; each read consumes one record.
// Every failure names the source, the record number and the quantity.
class DeckReader {
 public:
  explicit DeckReader(core::RecordSource& in, const core::Deck& deck) : in_(in), deck_(deck) {}

  int32_t list_int(const std::string& name) { return value(name, core::read_list_int(next(name))); }
  int32_t i5(const std::string& name) { return value(name, core::read_i5(next(name))); }

  // nfreq and nl(i): an integer within its range.
  int32_t counted(const std::string& name, std::string_view quantity) {
    const int32_t v = list_int(name);
    const std::string why = integer_out_of_range(quantity, v);
    if (!why.empty()) refuse(name, v, why);
    return v;
  }

  // A real under the list or (g20.10) rule, within the physical range of
  // `quantity` for the deck as read so far.
  double real(const std::string& name, std::string_view quantity, bool list) {
    const std::string& record = next(name);
    const double v = value(name, list ? core::read_list_real(record) : core::read_g20_10(record));
    const std::string why = real_out_of_range(quantity, v, deck_);
    if (!why.empty()) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.10g", v);
      refuse(name, buf, why);
    }
    return v;
  }

  // Refuses a deck beyond what the system holds, with an unknown key or a
  // value outside its physical range.
  [[noreturn]] void refuse(const std::string& name, const std::string& v, const std::string& why) {
    core::raise_fail(core::kStopDeckRefused, "input deck refused: " + where() + ": " + name + " = " + v + " " + why);
  }
  [[noreturn]] void refuse(const std::string& name, int32_t v, const std::string& why) {
    refuse(name, std::to_string(v), why);
  }

 private:
  std::string where() const { return in_.name() + ", record " + std::to_string(in_.number()); }

  const std::string& next(const std::string& name) {
    std::optional<std::string> r = in_.next();
    if (!r) {
      core::raise_fail(core::kStopInputError, "error reading the input deck: " + in_.name() + ", record " +
                                            std::to_string(in_.number() + 1) + " (" + name +
                                            "): end of input, the deck ends before this record");
    }
    if (in_.truncated()) {
      core::raise_fail(core::kStopInputError, "error reading the input deck: " + where() + " (" + name +
                                            "): the record is longer than " +
                                            std::to_string(core::RecordSource::kMaxRecordChars) + " characters");
    }
    record_ = std::move(*r);
    return record_;
  }

  template <class T>
  T value(const std::string& name, const core::Field<T>& f) {
    if (!f.ok())
      core::raise_fail(core::kStopInputError, "error reading the input deck: " + where() + " (" + name + "): " + f.error);
    if (!f.warning.empty())
      std::fprintf(stderr, "warning: %s (%s): %s\n", where().c_str(), name.c_str(), f.warning.c_str());
    return f.value;
  }

  core::RecordSource& in_;
  const core::Deck& deck_;
  std::string record_;
};

std::string indexed(const char* name, int i) { return std::string(name) + "(" + std::to_string(i) + ")"; }

// The nineteen reals of a layer material, in record order after nl(i).
struct LayerReal {
  const char* name;
  core::ByMaterial<double> core::Deck::*field;
  const char* label;  // echo label
};

constexpr LayerReal kLayerReals[] = {
    {"akf", &core::Deck::akf, " akf (GPA) (fluid bulk mod.    = "},
    {"ro2", &core::Deck::ro2, " ro2 (gr/cm^3) (fluid density) = "},
    {"eta", &core::Deck::eta, " eta (poise) (fluid viscosity) = "},
    {"ro1", &core::Deck::ro1, " ro1(kgr/m^3)                  = "},
    {"ro3", &core::Deck::ro3, " ro3(kgr/m^3)                  = "},
    {"phi_a", &core::Deck::phi_a, " phi_a (absolute porosity,ice) = "},
    {"phi_layer1", &core::Deck::phi_layer1, " phi_layer1 (water proportion) = "},
    {"capa_1_0", &core::Deck::capa_1_0, " capa_1_0 (cm^2) (ice)         = "},
    {"capa_3_0", &core::Deck::capa_3_0, " capa_3_0 (cm^2) (ice)         = "},
    {"s3", &core::Deck::s3, " s3 (shale proportion)(shales) = "},
    {"rs1", &core::Deck::rs1, " rs1 (m^2)   (shale)          = "},
    {"rs3", &core::Deck::rs3, " rs3 (m^2) (shale)            = "},
    {"coef_b13", &core::Deck::coef_b13, " coef_b13                      = "},
    {"ak_air", &core::Deck::ak_air, " ak_air(PA )                   = "},
    {"xmu_air", &core::Deck::xmu_air, " xmu_air (PA)                  = "},
    {"ak_s1", &core::Deck::ak_s1, " ak_s1  (PA)                   = "},
    {"xmu_s1", &core::Deck::xmu_s1, " xmu_s1 (PA)                  = "},
    {"ak_s3", &core::Deck::ak_s3, " ak_s3  (PA)                   = "},
    {"xmu_s3", &core::Deck::xmu_s3, " xmu_s3 (PA)                  = "},
};
static_assert(std::size(kLayerReals) == core::kRecordsPerLayer - 1);
constexpr int kPhiLayer1 = core::kPhiLayer1InLayer - 2;  // position of phi_layer1 in kLayerReals

void check_key(DeckReader& r, const char* name, int32_t v, const char* meaning) {
  if (v != 0 && v != 1) r.refuse(name, v, std::string("is not 0 or 1 (") + meaning + ")");
}

// Ice model: the water proportion must stay below the absolute porosity.
void porosity_check(const core::Deck& deck, int i) {
  if (deck.key_model == 0 && deck.phi_layer1(i) >= deck.phi_a(i)) {
    core::TextOut& out = core::TextOut::report();
    out.list(" Ice model, phi_a_m is smaller than phi_layer_m(i) ");
    out.list(" ERROR, the code stops ");
    out.list(" phi_a_m(i) = ", deck.phi_a(i), " phi_layer_m(i) = ", deck.phi_layer1(i));
    char why[200];
    std::snprintf(why, sizeof why,
                  "ice model, layer %d: the water proportion phi_layer1(%d) = %.10g is not below the absolute "
                  "porosity phi_a(%d) = %.10g, which leaves no room for ice (expected phi_layer1 < phi_a)",
                  i, i, deck.phi_layer1(i), i, deck.phi_a(i));
    core::raise_stop(core::kStopPorosityCheck, {}, why);
  }
}

void echo_layer(const core::Deck& deck, int i) {
  core::TextOut& out = core::TextOut::report();
  out.list("**********************************");
  out.list(" layer i=  ", static_cast<int32_t>(i));
  out.blank();
  out.list("**********************************");
  out.list(" nl(i) = cell in layer i       = ", deck.nl(i));
  for (int r = 0; r < static_cast<int>(std::size(kLayerReals)); ++r) {
    const LayerReal& lr = kLayerReals[r];
    out.list(lr.label, (deck.*lr.field)(i));
    if (r == 2) out.blank();  // after eta
  }
}

}  // namespace

void readata(core::RecordSource& in, core::Deck& deck, int32_t max_cells_per_side) {
  DeckReader r(in, deck);
  core::TextOut& out = core::TextOut::report();

  deck.freq = r.real("freq", "freq", true);
  deck.freq_max = r.real("freq_max", "freq_max", true);
  deck.nfreq = r.counted("nfreq", "nfreq");
  deck.domain_size = r.real("domain_size", "domain_size", true);

  const std::string side = std::to_string(max_cells_per_side);
  const std::string beyond = "is outside 1.." + side + " (the grid holds at most " + side + " x " + side + " cells)";
  const int32_t nx = r.list_int("nx");
  if (nx < 1 || nx > max_cells_per_side) r.refuse("nx", nx, beyond);
  deck.nx = nx;
  const int32_t ny = r.list_int("ny");
  if (ny < 1 || ny > max_cells_per_side) r.refuse("ny", ny, beyond);
  // The deck grid's system holds kMaxUnknowns; a larger grid numbers its
  // unknowns with 32-bit integers.
  const int64_t most = max_cells_per_side <= core::kMaxCellsPerSide ? core::kMaxUnknowns : INT32_MAX;
  if (int64_t{ny} * (6 * int64_t{nx} + 5) + 5 * int64_t{nx} + 4 > most)
    r.refuse("ny", ny, "gives more than " + std::to_string(most) + " unknowns with nx = " + std::to_string(nx));
  deck.ny = ny;

  const int32_t key_model = r.i5("key_model");
  check_key(r, "key_model", key_model, "0 ice model, 1 shaley-sand model");
  deck.key_model = key_model;
  const int32_t model = r.i5("model");
  check_key(r, "model", model, "0 layered sample, 1 cell map from \"porosity.frac\"");
  deck.model = model;
  const int32_t nlayers = r.list_int("nlayers");
  if (nlayers < 0 || nlayers > core::kMaxLayers) r.refuse("nlayers", nlayers, "is outside 0..2 (at most two layer materials)");
  deck.nlayers = nlayers;

  out.list(deck.freq);
  out.list(deck.freq_max);
  out.list(deck.nfreq);
  out.list(deck.domain_size);
  out.list(deck.nx);
  out.list(deck.ny);
  out.list(deck.key_model);
  out.list(deck.model);
  out.list(deck.nlayers);

  for (int i = 1; i <= deck.nlayers; ++i) {
    deck.nl(i) = r.counted(indexed("nl", i), "nl");
    for (int k = 0; k < static_cast<int>(std::size(kLayerReals)); ++k) {
      const LayerReal& lr = kLayerReals[k];
      (deck.*lr.field)(i) = r.real(indexed(lr.name, i), lr.name, false);
      if (k == kPhiLayer1) porosity_check(deck, i);
    }
  }

  for (int i = 1; i <= deck.nlayers; ++i) echo_layer(deck, i);

  out.list(" model (=0,layered,=1,fractal  = ", deck.model);
  out.blank();
  deck.h = deck.domain_size / static_cast<double>(deck.ny);
  out.list(" mesh size h ", deck.h);
}

std::string readata(core::Deck& deck) {
  core::RecordSource in(stdin, "standard input");
  readata(in, deck);
  // A deck that came through a pipe could not be digested from its start:
  // its digest is that of the records read.
  return in.digest_of_bytes_read();
}

}  // namespace upscaling
