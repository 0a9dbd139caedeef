// The gnuplot script that draws the cell maps of one run: in metres, on a
// perceptually uniform palette, with the material and water-proportion maps
// that show how the sample was built.
#include <cmath>
#include <sstream>

#include "core/text_in.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

namespace {

// viridis, sampled at nine points.
const char* kPalette =
    "set palette defined (0 '#440154', 1 '#472d7b', 2 '#3b528b', 3 '#2c728e', 4 '#21918c', 5 '#28ae80', "
    "6 '#5ec962', 7 '#addc30', 8 '#fde725')\n";

struct MapFile {
  std::string file, title;
  int shift;  // index offset: the gradient map names cell (j, k) by j-1, k-1
};

const std::vector<MapFile>& map_files() {
  static const std::vector<MapFile> maps = {
      {"matnum_p33_gnu", "layer material", 0},
      {"mod_pressure_p33_ice", "|fluid pressure| (Pa)", 0},
      {"mod_grad_pressure_p33_ice", "|grad fluid pressure| (Pa/m), interior cells", 1},
      {"mod_pressure_p55_ice", "|fluid pressure| (Pa)", 0},
      {"mod_grad_pressure_p55_ice", "|grad fluid pressure| (Pa/m), interior cells", 1},
      {"real_strain1_map", "Re strain, solid 1", 0},
      {"imag_strain1_map", "Im strain, solid 1", 0},
      {"real_strain3_map", "Re strain, solid 3", 0},
      {"imag_strain3_map", "Im strain, solid 3", 0},
  };
  return maps;
}

// The water proportion of every cell as the program built it, "j k value"
// lines; empty when the run's deck is not there.
std::string water_map(const fs::path& run_dir, const DeckText& deck, const DeckInfo& info) {
  const DeckPoint p = deck_point(deck);
  const int nx = core::read_list_int(deck.records.at(4)).value, ny = core::read_list_int(deck.records.at(5)).value;
  if (nx < 1 || ny < 1 || nx > 4096 || ny > 4096) return "";
  const bool shear = fs::exists(run_dir / "vs_eq.freq") || fs::exists(run_dir / "vs_eq.phiw");
  const double imposed = fs::exists(run_dir / "vs_eq.phiw") ? 0.28 : 0.2;
  std::vector<double> v(static_cast<size_t>(nx) * ny, std::nan(""));
  if (info.model == 1) {
    std::istringstream in(slurp(run_dir / "porosity.frac").value_or(""));
    std::string line;
    for (size_t i = 0; i < v.size() && std::getline(in, line); ++i) {
      auto f = core::read_e12_4(line);
      if (f.ok()) v[i] = f.value;
    }
  } else if (shear) {
    for (auto& x : v) x = imposed;
  } else {
    std::istringstream in(slurp(run_dir / "matnum_p33_gnu").value_or(""));
    for (int j, k, m; in >> j >> k >> m;)
      if (j >= 1 && j <= nx && k >= 1 && k <= ny && m >= 1 && m <= static_cast<int>(p.phi_layer1.size()))
        v[static_cast<size_t>(k - 1) * nx + (j - 1)] = p.phi_layer1[static_cast<size_t>(m - 1)];
  }
  std::ostringstream s;
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) {
      const double x = v[static_cast<size_t>(k - 1) * nx + (j - 1)];
      s << j << " " << k << " " << (std::isnan(x) ? std::string("NaN") : shortest(x)) << "\n";
    }
  return s.str();
}

}  // namespace

std::vector<std::string> write_maps_script(const fs::path& run_dir) {
  // The cell side and the frequency, from the run's deck when it is there.
  double h = 0;
  std::string freq, water;
  if (fs::is_regular_file(run_dir / "input.deck")) {
    try {
      const DeckText deck = load_deck(run_dir / "input.deck");
      const DeckInfo info = inspect_deck(deck);
      const double size = core::read_list_real(deck.records.at(3)).value;
      const int ny = core::read_list_int(deck.records.at(5)).value;
      if (ny > 0 && size > 0) h = size / ny;
      char text[64];
      std::snprintf(text, sizeof text, "  (%.4g Hz)", info.freq);
      freq = text;
      water = water_map(run_dir, deck, info);
    } catch (const std::exception&) {
      // A deck that does not read: maps in cell numbers, no water map.
    }
  }
  std::ostringstream s;
  std::vector<std::string> images;
  s << "# Cell maps of one run: one image per map file (columns j, k, value).\n"
       "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
       "  set terminal pngcairo size 900,700\n"
       "} else {\n"
       "  set terminal png size 900,700\n"
       "}\n"
       "set size ratio -1\nset autoscale xfix\nset autoscale yfix\nset tics out\n"
       "set rmargin 16\nset colorbox user origin graph 1.04, graph 0 size graph 0.04, graph 1\n"
       "set format cb '%.3g'\nunset key\n"
    << kPalette;
  const std::string h_text = h > 0 ? shortest(h) : "";
  if (h > 0) s << "set xlabel 'x (m)'\nset ylabel 'y (m)'\n";
  else s << "set xlabel 'j (cell along x)'\nset ylabel 'k (cell along y)'\n";
  auto coordinate = [&](int column, int shift) {
    std::string c = "($" + std::to_string(column) + (shift ? "+1" : "") + ")";
    return h > 0 ? "((" + c + "-0.5)*" + h_text + ")" : c;
  };
  auto draw = [&](const std::string& png, const std::string& title, const std::string& data, int shift) {
    images.push_back(png);
    s << "set output " << gp_quote(png) << "\nset title " << gp_quote(title + freq) << " noenhanced\n"
      << "plot " << data << " using " << coordinate(1, shift) << ":" << coordinate(2, shift) << ":3 with image\n";
  };
  for (const auto& m : map_files()) {
    std::error_code ec;
    if (!fs::is_regular_file(run_dir / m.file, ec) || fs::file_size(run_dir / m.file, ec) == 0) continue;
    draw(m.file + ".png", m.title + " - " + m.file, gp_quote(m.file), m.shift);
  }
  if (images.empty()) throw UsageError(run_dir.string() + " holds no pressure or strain map of a run");
  if (!water.empty()) {
    s << "$water << EOD\n" << water << "EOD\n";
    draw("water_proportion.png", "water proportion (fraction of the bulk volume)", "$water", 0);
  }
  s << "set output\n";
  write_file_atomically(run_dir / "maps.gp", s.str());
  return images;
}

}  // namespace sweep
