// Fuzz target: the record reader and the four field readers of the input
// texts, on arbitrary bytes.
//
// Every record of the input goes through RecordSource and then through
// each reading rule (list integer, list real, (i5), (g20.10), (e12.4)).
// Each result is compared with a second, deliberately plain reading of the
// same text: the grammar written out character by character and the value
// taken by strtod. The readers must agree with it on whether the field
// reads and on the value, bit for bit, and on when a field that reads
// draws a warning (a blank (i5) field, implied decimals, a number running
// past column 20, a decimal comma in a list record).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_in.hpp"
#include "fuzz/stop_throws.hpp"

using fuzz::check;

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// The plain reading of a real: [sign] digits [. digits] [exponent] with at
// least one digit, exponent = (e|d|q) [sign] digits or sign digits; or Inf,
// Infinity, NaN. `implied` decimals apply when there is no point. Returns
// nothing when the text is not a number or its value overflows.
struct PlainReal {
  bool ok = false;
  double value = 0;
  bool no_point = false;
};

PlainReal plain_real(std::string_view t, int implied) {
  PlainReal r;
  std::size_t i = 0;
  std::string sign;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) sign = t[i++] == '-' ? "-" : "";
  const std::string word = lower(t.substr(i));
  if (word == "inf" || word == "infinity") return {true, sign == "-" ? -HUGE_VAL : HUGE_VAL, false};
  if (word == "nan") return {true, NAN, false};
  std::string whole, frac;
  while (i < t.size() && digit(t[i])) whole += t[i++];
  bool point = false;
  if (i < t.size() && t[i] == '.') {
    point = true;
    ++i;
    while (i < t.size() && digit(t[i])) frac += t[i++];
  }
  if (whole.empty() && frac.empty()) return r;
  long long exponent = 0;
  if (i < t.size()) {
    const char c = lower(t.substr(i, 1))[0];
    if (c == 'e' || c == 'd' || c == 'q') ++i;
    else if (c != '+' && c != '-') return r;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size()) return r;
    for (; i < t.size(); ++i) {
      if (!digit(t[i])) return r;
      if (exponent < 1000000) exponent = exponent * 10 + (t[i] - '0');
    }
    if (neg) exponent = -exponent;
  }
  if (!point && implied > 0) exponent -= implied;
  const std::string text = sign + (whole.empty() ? "0" : whole) + "." + frac + "e" + std::to_string(exponent);
  const double v = std::strtod(text.c_str(), nullptr);
  if (std::isinf(v)) return r;
  return {true, v, !point};
}

// The plain reading of an integer: [sign] digits within 32 bits.
std::optional<int32_t> plain_int(std::string_view t) {
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i == t.size()) return std::nullopt;
  for (std::size_t k = i; k < t.size(); ++k)
    if (!digit(t[k])) return std::nullopt;
  while (i + 1 < t.size() && t[i] == '0') ++i;  // leading zeros
  if (t.size() - i > 10) return std::nullopt;
  const long long v = std::stoll(std::string(t.substr(i))) * (neg ? -1 : 1);
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

// Columns 1..w with the blanks removed.
std::string columns(std::string_view r, std::size_t w) {
  std::string s;
  for (char c : r.substr(0, std::min(w, r.size())))
    if (c != ' ') s += c;
  return s;
}

// The first list item of a record; nothing when the record has none.
std::optional<std::string_view> list_item(std::string_view r) {
  std::size_t i = 0;
  while (i < r.size() && (r[i] == ' ' || r[i] == '\t')) ++i;
  if (i == r.size() || r[i] == ',' || r[i] == '/') return std::nullopt;
  std::size_t j = i;
  while (j < r.size() && r[j] != ' ' && r[j] != '\t' && r[j] != ',' && r[j] != '/') ++j;
  return r.substr(i, j - i);
}

template <class T>
void check_message(const core::Field<T>& f, const char* rule, const std::string& record) {
  // A message or warning stays short, whatever the record, and shows only
  // printable text; a field that is refused carries no warning.
  check(f.ok() || f.warning.empty(), std::string(rule) + ": a refused field with a warning");
  for (const std::string* m : {&f.error, &f.warning}) {
    check(m->size() < 400, std::string(rule) + ": message of " + std::to_string(m->size()) + " characters");
    for (char c : *m)
      check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f,
            std::string(rule) + ": unprintable byte in the message for " + core::quoted(record));
  }
}

// A list item read up to a comma followed by a digit: most likely a
// decimal comma, to be warned about.
bool decimal_comma(std::string_view r, std::string_view item) {
  const std::size_t end = static_cast<std::size_t>(item.data() - r.data()) + item.size();
  return end + 1 < r.size() && r[end] == ',' && digit(r[end + 1]);
}

// Columns 20 and 21 both inside one blank-delimited token that reads as a
// number: the field cut a number short.
bool runs_past_20(std::string_view r) {
  auto blank = [&](std::size_t i) { return r[i] == ' ' || r[i] == '\t'; };
  if (r.size() <= 20 || blank(19) || blank(20)) return false;
  std::size_t from = 19, to = 20;
  while (from > 0 && !blank(from - 1)) --from;
  while (to < r.size() && !blank(to)) ++to;
  return plain_real(r.substr(from, to - from), -1).ok;
}

void check_real(const core::Field<double>& f, const PlainReal& p, const char* rule, const std::string& record) {
  check_message(f, rule, record);
  check(f.ok() == p.ok, std::string(rule) + (p.ok ? " refused " : " accepted ") + core::quoted(record) + " " + f.error);
  if (!p.ok) return;
  char buf[128];
  std::snprintf(buf, sizeof buf, " read as %.17g, expected %.17g", f.value, p.value);
  check(same(f.value, p.value), std::string(rule) + ": " + core::quoted(record) + buf);
}

void check_formatted(const core::Field<double>& f, std::string_view record, std::size_t w, int implied,
                     const char* rule) {
  const std::string field = columns(record, w);
  if (field.empty()) {
    check(f.ok() && f.value == 0 && !std::signbit(f.value), std::string(rule) + ": a blank field must read as 0");
    return;
  }
  const PlainReal p = plain_real(field, implied);
  check_real(f, p, rule, std::string(record.substr(0, w)));
  if (p.ok && std::isfinite(p.value))
    check(f.implied_decimals == p.no_point, std::string(rule) + ": implied-decimals flag wrong for " + core::quoted(field));
}

void check_record(const std::string& r) {
  // list integer
  {
    const core::Field<int32_t> f = core::read_list_int(r);
    check_message(f, "list integer", r);
    const auto item = list_item(r);
    if (item && item->find('*') == std::string_view::npos) {
      const auto v = plain_int(*item);
      check(f.ok() == v.has_value(), "list integer: " + core::quoted(r) + " " + f.error);
      if (v) check(f.value == *v, "list integer: wrong value for " + core::quoted(r));
      if (v) check(f.warning.empty() != decimal_comma(r, *item), "list integer: decimal-comma warning wrong for " + core::quoted(r));
    } else if (!item) {
      check(!f.ok(), "list integer: a record without an item was read: " + core::quoted(r));
    }
  }
  // list real
  {
    const core::Field<double> f = core::read_list_real(r);
    const auto item = list_item(r);
    if (item && item->find('*') == std::string_view::npos) {
      check_real(f, plain_real(*item, -1), "list real", r);
      if (f.ok()) check(f.warning.empty() != decimal_comma(r, *item), "list real: decimal-comma warning wrong for " + core::quoted(r));
    } else if (!item) check(!f.ok(), "list real: a record without an item was read: " + core::quoted(r));
    else check_message(f, "list real", r);
  }
  // (i5)
  {
    const core::Field<int32_t> f = core::read_i5(r);
    check_message(f, "(i5)", r);
    const std::string field = columns(r, 5);
    const auto v = field.empty() ? std::optional<int32_t>(0) : plain_int(field);
    check(f.ok() == v.has_value(), "(i5): " + core::quoted(r.substr(0, 5)) + " " + f.error);
    if (v) check(f.value == *v, "(i5): wrong value for " + core::quoted(r.substr(0, 5)));
    check(f.warning.empty() != field.empty(), "(i5): a blank field, and only one, is warned about");
  }
  const core::Field<double> g = core::read_g20_10(r), e = core::read_e12_4(r);
  check_formatted(g, r, 20, 10, "(g20.10)");
  check_formatted(e, r, 12, 4, "(e12.4)");
  // A warning for text that reads: implied decimals in a nonzero value, or
  // (g20.10) a number past column 20; nothing else.
  const bool implied_g = g.ok() && g.implied_decimals && g.value != 0, implied_e = e.ok() && e.implied_decimals && e.value != 0;
  check(g.warning.empty() == !(g.ok() && (implied_g || runs_past_20(r))), "(g20.10): warning wrong for " + core::quoted(r));
  check(e.warning.empty() == !implied_e, "(e12.4): warning wrong for " + core::quoted(r));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The records as the plain split at line feeds gives them.
  std::vector<std::string> expected;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    if (nl - at > core::RecordSource::kMaxRecordChars) {  // cut, the reading stops past the limit
      expected.push_back(text.substr(at, core::RecordSource::kMaxRecordChars));
      at += core::RecordSource::kMaxRecordChars + 1;
      continue;
    }
    std::string r = text.substr(at, nl - at);
    if (!r.empty() && r.back() == '\r') r.pop_back();
    expected.push_back(r);
    at = nl + 1;
  }

  std::FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "r") : nullptr;
  core::RecordSource in(f, "fuzz input");
  std::size_t n = 0;
  while (std::optional<std::string> r = in.next()) {
    check(n < expected.size(), "more records than lines");
    check(*r == expected[n], "record " + std::to_string(n + 1) + " differs: " + core::quoted(*r));
    check(in.number() == static_cast<int>(n + 1), "record number wrong");
    ++n;
    check_record(*r);
  }
  check(n == expected.size(), "records lost: " + std::to_string(n) + " of " + std::to_string(expected.size()));
  check(!in.next(), "a record after the end of input");
  if (f) std::fclose(f);

  // quoted() shows any bytes as printable text.
  const std::string q = core::quoted(text, 40);
  check(q.size() <= 4 * 40 + 5, "quoted text too long");
  for (char c : q) check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f, "quoted: unprintable byte");
  return 0;
}
