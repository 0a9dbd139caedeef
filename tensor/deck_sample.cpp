#include "tensor/deck_sample.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "core/sha256.hpp"
#include "core/text_in.hpp"
#include "core/text_out.hpp"
#include "upscaling/readata.hpp"
#include "model/porosity.hpp"
#include "tensor/file_access.hpp"
#include "tensor/frequency_scale.hpp"

namespace tensor {

namespace {

// Standard output sent to /dev/null while it lives: the deck reader echoes
// every record there.
class QuietOutput {
 public:
  QuietOutput() : saved_(dup(1)) {
    std::fflush(stdout);
    if (const int null = open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) dup2(null, 1), close(null);
  }
  ~QuietOutput() {
    core::TextOut::report().flush_checked();
    std::fflush(stdout);
    if (saved_ >= 0) dup2(saved_, 1), close(saved_);
  }
  QuietOutput(const QuietOutput&) = delete;
  QuietOutput& operator=(const QuietOutput&) = delete;

 private:
  int saved_;
};

Material layer(const core::Deck& d, int i) {
  Material m;
  m.name = "layer " + std::to_string(i);
  m.label = i;
  m.akf = d.akf(i), m.ro2 = d.ro2(i), m.eta = d.eta(i), m.ro1 = d.ro1(i), m.ro3 = d.ro3(i);
  m.phi_a = d.phi_a(i), m.phi_layer1 = d.phi_layer1(i), m.capa_1_0 = d.capa_1_0(i), m.capa_3_0 = d.capa_3_0(i);
  m.s3 = d.s3(i), m.rs1 = d.rs1(i), m.rs3 = d.rs3(i), m.coef_b13 = d.coef_b13(i);
  m.ak_air = d.ak_air(i), m.xmu_air = d.xmu_air(i), m.ak_s1 = d.ak_s1(i), m.xmu_s1 = d.xmu_s1(i);
  m.ak_s3 = d.ak_s3(i), m.xmu_s3 = d.xmu_s3(i);
  return m;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void layering(const core::Deck& d, const std::string& path, Sample& s) {
  const int64_t period = int64_t{d.nl(1)} + d.nl(2);
  if (period < 1 || d.ny % period != 0 || d.nlayers < (d.nl(2) > 0 ? 2 : 1))
    throw std::invalid_argument(path + ": the layering nl(1) = " + std::to_string(d.nl(1)) + ", nl(2) = " +
                                std::to_string(d.nl(2)) + " with nlayers = " + std::to_string(d.nlayers) +
                                " does not fill ny = " + std::to_string(d.ny) +
                                " rows with whole periods of the deck's layer materials");
  for (int64_t k = 1; k <= s.ny; ++k) {
    const int32_t material = (k - 1) % period < d.nl(1) ? 1 : 2;
    for (int64_t j = 1; j <= s.nx; ++j) s.material_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * s.nx)] = material;
  }
}

}  // namespace

Sample read_deck_sample(const std::string& path) {
  std::FILE* f = open_regular_file(path, "deck");
  core::Deck d;
  {
    QuietOutput quiet;
    core::RecordSource source(f, path);
    upscaling::readata(source, d, kMaxDeckSide);
  }
  std::fclose(f);
  if (d.nfreq > kMaxFrequencies)  // the sweep's limit and sentence
    throw std::invalid_argument(path + ": the deck's nfreq is " + std::to_string(d.nfreq) + ": more than a million points");
  Sample s;
  s.key_model = d.key_model;
  s.nx = d.nx, s.ny = d.ny, s.h = d.h;
  for (int i = 1; i <= d.nlayers; ++i) s.materials.push_back(layer(d, i));
  if (s.materials.empty()) throw std::invalid_argument(path + ": the deck gives no layer material (nlayers = 0)");
  s.material_of_cell.assign(static_cast<std::size_t>(s.nx * s.ny), 1);
  s.input_digests.emplace_back(path, core::sha256_of_file(path).value_or(""));
  layering(d, path, s);
  if (d.model == 1) {
    const std::string frac = folder_of(path) + "/" + model::PorosityFile::kName;
    model::PorosityFile file(frac.c_str());
    s.water_of_cell.resize(s.material_of_cell.size());
    for (int64_t k = 1; k <= s.ny; ++k)
      for (int64_t j = 1; j <= s.nx; ++j)
        s.water_of_cell[static_cast<std::size_t>((j - 1) + (k - 1) * s.nx)] =
            file.next(static_cast<int>(j), static_cast<int>(k));
    s.input_digests.emplace_back(frac, core::sha256_of_file(frac).value_or(""));
  }
  s.frequencies = d.nfreq > 1 ? log_scale(d.freq, d.freq_max, d.nfreq) : std::vector<double>{d.freq};
  return s;
}

}  // namespace tensor
