// Numbers, value lists and the rewriting of deck records.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "core/log_scale.hpp"
#include "core/text_in.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

std::optional<Program> program_from_name(const std::string& name) {
  if (name == "pwave_upscale") return Program::pwave_upscale;
  if (name == "swave_spectrum") return Program::swave_spectrum;
  if (name == "swave_saturation") return Program::swave_saturation;
  if (name == "tensor_upscale") return Program::tensor_upscale;
  return std::nullopt;
}

std::string program_name(Program p) {
  switch (p) {
    case Program::pwave_upscale: return "pwave_upscale";
    case Program::swave_spectrum: return "swave_spectrum";
    case Program::swave_saturation: return "swave_saturation";
    case Program::tensor_upscale: return "tensor_upscale";
  }
  return "?";
}

bool is_shear(Program p) { return p == Program::swave_spectrum || p == Program::swave_saturation; }

std::vector<std::string> program_arguments(Program p) {
  if (is_tensor(p)) return {"input.deck", "-o", ".", "--quiet"};
  return {};
}

std::string visible(const std::string& s) {
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (u < 0x20 || u == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    } else out += c;
  }
  return out;
}

void require_plain_path(const std::string& what, const std::string& path) {
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      throw UsageError(what + " '" + visible(path) +
                       "' holds a control character (a line end, a tab...); it cannot go into a command line or "
                       "a script as it is: rename it");
}

std::string shortest(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

static std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::optional<double> parse_number(std::string_view text) {
  std::string s(trim(text));
  if (s.empty()) return std::nullopt;
  if (s.find_first_not_of('*') == std::string::npos) return std::nan("");
  for (char& c : s)
    if (c == 'd' || c == 'D') c = 'E';
  const char* b = s.c_str();
  char* end = nullptr;
  double v = std::strtod(b, &end);
  if (end == b) return std::nullopt;
  if (*end == '\0') return v;
  // A G or E edit with a three-digit exponent drops the letter: 0.12345+100.
  if ((*end == '+' || *end == '-') && end != b && std::isdigit(static_cast<unsigned char>(end[-1]))) {
    char* e2 = nullptr;
    long ex = std::strtol(end, &e2, 10);
    if (*e2 == '\0' && e2 != end + 1) return v * std::pow(10.0, static_cast<double>(ex));
  }
  return std::nullopt;
}

static double number_or_throw(const std::string& t, const std::string& what) {
  auto v = parse_number(t);
  if (!v || !std::isfinite(*v)) throw UsageError("not a number in " + what + ": '" + t + "'");
  return *v;
}

std::vector<double> parse_values(const std::string& spec, bool logarithmic) {
  std::vector<double> out;
  if (spec.empty()) throw UsageError("empty list of values");
  if (spec.find(':') != std::string::npos) {
    std::vector<std::string> parts;
    std::stringstream ss(spec);
    for (std::string p; std::getline(ss, p, ':');) parts.push_back(p);
    if (parts.size() != 3) throw UsageError("a range is FIRST:LAST:COUNT, got '" + spec + "'");
    double a = number_or_throw(parts[0], "range '" + spec + "'");
    double b = number_or_throw(parts[1], "range '" + spec + "'");
    char* end = nullptr;
    long n = std::strtol(parts[2].c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > 100000)
      throw UsageError("the count of range '" + spec + "' must be a whole number from 1 to 100000");
    if (logarithmic && (a <= 0 || b <= 0))
      throw UsageError("a logarithmic range needs positive ends: '" + spec + "'");
    if (n == 1) return {a};
    if (logarithmic) return core::log_scale(a, b, n);
    for (long i = 0; i < n; ++i) {
      double t = static_cast<double>(i) / static_cast<double>(n - 1);
      double v = a + t * (b - a);
      if (i == 0) v = a;
      if (i == n - 1) v = b;
      out.push_back(v);
    }
    return out;
  }
  std::stringstream ss(spec);
  for (std::string p; std::getline(ss, p, ',');) out.push_back(number_or_throw(p, "list '" + spec + "'"));
  if (out.empty()) throw UsageError("empty list of values");
  return out;
}

std::vector<double> log_scale(double freq, double freq_max, int nfreq) {
  if (nfreq < 1) throw UsageError("the deck's nfreq must be at least 1, it is " + std::to_string(nfreq));
  // Checked before any list is built: a sweep has at most a million points.
  if (nfreq > 1000000)
    throw UsageError("the deck's nfreq is " + std::to_string(nfreq) + ": more than a million points");
  if (nfreq == 1) return {freq};
  if (!(freq > 0) || !(freq_max > 0))
    throw UsageError("the deck's frequency scale needs positive freq and freq_max");
  return core::log_scale(freq, freq_max, nfreq);
}

// ---------------------------------------------------------------- deck text

DeckText load_deck(const fs::path& path) {
  std::error_code ec;
  const auto kind = fs::status(path, ec);
  if (fs::is_directory(kind)) throw UsageError("the deck " + path.string() + " is not a regular file (a folder)");
  if (!ec && fs::exists(kind) && !fs::is_regular_file(kind))
    throw UsageError("the deck " + path.string() + " is not a regular file (a FIFO, socket or device)");
  const std::optional<std::string> text = slurp(path);
  if (!text) throw UsageError("cannot read deck " + path.string() + ": it " + unreadable(path));
  std::istringstream in(*text);
  DeckText d;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      d.crlf = true;
    }
    if (line.find('\0') != std::string::npos) throw UsageError(path.string() + " is not a text deck");
    d.records.push_back(line);
    if (++n > 1000000) throw UsageError(path.string() + " is too long for a deck");
  }
  return d;
}

std::string deck_string(const DeckText& d) {
  std::string s;
  for (const auto& r : d.records) {
    s += r;
    s += d.crlf ? "\r\n" : "\n";
  }
  return s;
}

static const std::string& record(const DeckText& d, int n, const char* name) {
  if (n > static_cast<int>(d.records.size()))
    throw UsageError("the deck ends before record " + std::to_string(n) + " (" + name + ")");
  return d.records[n - 1];
}

template <class T>
static T field(const core::Field<T>& f, int n, const char* name) {
  if (!f.ok())
    throw UsageError("deck record " + std::to_string(n) + " (" + name + "): " + f.error);
  return f.value;
}

DeckInfo inspect_deck(const DeckText& d) {
  DeckInfo i;
  auto list_real = [&](int n, const char* name) { return field(core::read_list_real(record(d, n, name)), n, name); };
  auto list_int = [&](int n, const char* name) { return field(core::read_list_int(record(d, n, name)), n, name); };
  auto i5 = [&](int n, const char* name) { return field(core::read_i5(record(d, n, name)), n, name); };
  i.freq = list_real(core::kFreqRecord, "freq");
  i.freq_max = list_real(core::kFreqMaxRecord, "freq_max");
  i.nfreq = list_int(core::kNfreqRecord, "nfreq");
  i.key_model = i5(core::kKeyModelRecord, "key_model");
  i.model = i5(core::kModelRecord, "model");
  i.nlayers = list_int(core::kNlayersRecord, "nlayers");
  if (i.nlayers < 1 || i.nlayers > 2)
    throw UsageError("the deck gives " + std::to_string(i.nlayers) + " layer materials; 1 or 2 expected");
  record(d, core::deck_records(i.nlayers), "last record of the last layer material");
  return i;
}

DeckPoint deck_point(const DeckText& d) {
  const DeckInfo info = inspect_deck(d);
  DeckPoint p;
  p.freq = info.freq;
  p.model = info.model;
  for (int layer = 1; layer <= info.nlayers; ++layer) {
    const int n = phi_layer1_record(layer);
    p.phi_layer1.push_back(field(core::read_g20_10(record(d, n, "phi_layer1")), n, "phi_layer1"));
  }
  return p;
}

double axis_value(const DeckPoint& d, const std::string& axis) {
  if (axis == "freq") return d.freq;
  if (axis == "phiw1" || axis == "phiw") return d.phi_layer1.at(0);
  if (axis == "phiw2" && d.phi_layer1.size() > 1) return d.phi_layer1[1];
  throw UsageError("the deck has no value for " + axis);
}

std::string replace_list_item(const std::string& rec, const std::string& text) {
  size_t b = rec.find_first_not_of(" \t");
  if (b == std::string::npos) return text;
  size_t e = rec.find_first_of(" \t,/", b);
  if (e == std::string::npos) e = rec.size();
  return rec.substr(0, b) + text + rec.substr(e);
}

std::string replace_g20_field(const std::string& rec, const std::string& text) {
  std::string field = text;
  if (field.size() > 20) throw UsageError("value '" + text + "' does not fit a 20-column field");
  field.resize(20, ' ');
  if (rec.size() > 20) field += rec.substr(20);
  return field;
}

std::string g20_text(double v) {
  std::string s = shortest(v);
  if (s.find('.') == std::string::npos) {
    size_t e = s.find('e');
    if (e == std::string::npos) s += ".0";
    else s.insert(e, ".0");
  }
  if (s.size() > 20) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12E", v);
    s = buf;
  }
  return s;
}

DeckText point_deck(const DeckText& base, const std::vector<std::string>& axes,
                    const std::vector<double>& values) {
  DeckText d = base;
  auto set_phi = [&](int layer, double v) {
    int n = phi_layer1_record(layer);
    const std::string& old = record(d, n, "phi_layer1");
    d.records[n - 1] = replace_g20_field(old, g20_text(v));
    auto back = core::read_g20_10(d.records[n - 1]);
    if (!back.ok() || back.value != v)
      throw UsageError("cannot write water proportion " + shortest(v) + " into record " + std::to_string(n));
  };
  for (size_t a = 0; a < axes.size(); ++a) {
    double v = values.at(a);
    if (axes[a] == "freq") {
      const std::string& old = record(d, kFreqRecord, "freq");
      d.records[kFreqRecord - 1] = replace_list_item(old, shortest(v));
      auto back = core::read_list_real(d.records[kFreqRecord - 1]);
      if (!back.ok() || back.value != v)
        throw UsageError("cannot write frequency " + shortest(v) + " into record 1");
    } else if (axes[a] == "phiw1") {
      set_phi(1, v);
    } else if (axes[a] == "phiw2") {
      set_phi(2, v);
    } else if (axes[a] == "phiw") {
      set_phi(1, v);
      set_phi(2, v);
    } else {
      throw UsageError("unknown quantity to vary: " + axes[a]);
    }
  }
  return d;
}

}  // namespace sweep
