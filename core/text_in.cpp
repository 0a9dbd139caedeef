#include "core/text_in.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace core {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

template <class T>
Field<T> bad(std::string what, std::string_view text) {
  Field<T> f;
  f.error = std::move(what) + ": " + quoted(text);
  return f;
}

// [sign] digits, as a 32-bit integer.
Field<int32_t> parse_integer(std::string_view t, std::string_view shown) {
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i == t.size()) return bad<int32_t>("not an integer", shown);
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (!is_digit(t[i])) return bad<int32_t>("not an integer", shown);
    v = v * 10 + (t[i] - '0');
    if (v > static_cast<long long>(INT32_MAX) + 1) return bad<int32_t>("integer out of range", shown);
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return bad<int32_t>("integer out of range", shown);
  Field<int32_t> f;
  f.value = static_cast<int32_t>(v);
  return f;
}

// The exponent of a real, from position i of t to its end: letter (e, d or
// q, any case) [sign] digits, or a sign and digits; 0 when t ends at i.
// Beyond 100000 the digits no longer change a double.
Field<long long> parse_exponent(std::string_view t, std::size_t i, std::string_view shown) {
  Field<long long> f;
  if (i == t.size()) return f;
  const char c = lower(t[i]);
  if (c == 'e' || c == 'd' || c == 'q') ++i;
  else if (c != '+' && c != '-') return bad<long long>("not a number", shown);
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i == t.size()) return bad<long long>("exponent without digits", shown);
  for (; i < t.size(); ++i) {
    if (!is_digit(t[i])) return bad<long long>("not a number", shown);
    if (f.value < 100000) f.value = f.value * 10 + (t[i] - '0');
  }
  if (neg) f.value = -f.value;
  return f;
}

// A real number in the forms of Fortran input:
//   [sign] digits [. [digits]] [exponent]     or   [sign] . digits [exponent]
// with exponent = letter (e, d or q, any case) [sign] digits, or a sign
// followed by digits without a letter; also Inf, Infinity and NaN.
// `implied` >= 0 is the number of implied decimals of a field that has no
// decimal point; a negative `implied` means none (list-directed input).
Field<double> parse_real(std::string_view t, int implied, std::string_view shown) {
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  const std::string_view rest = t.substr(i);
  if (iequals(rest, "inf") || iequals(rest, "infinity")) {
    Field<double> f;
    f.value = neg ? -HUGE_VAL : HUGE_VAL;
    return f;
  }
  if (iequals(rest, "nan")) {
    Field<double> f;
    f.value = std::nan("");
    return f;
  }

  // Significant digits (leading zeros dropped) and the power of ten that
  // scales them. Beyond 800 significant digits only whether any further
  // digit is nonzero can change the double (a value just above a halfway
  // point must round up): such digits are kept as one sticky digit 1.
  constexpr std::size_t kKeptDigits = 800;
  std::string digits;
  long long scale = 0;
  int mantissa_digits = 0;
  bool point = false;
  bool sticky = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (is_digit(c)) {
      ++mantissa_digits;
      if (c == '0' && digits.empty()) {  // a leading zero
        if (point) --scale;
        continue;
      }
      if (digits.size() < kKeptDigits) {
        digits += c;
        if (point) --scale;
      } else {
        if (!point) ++scale;
        if (c != '0') sticky = true;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) return bad<double>("not a number", shown);

  const Field<long long> exponent = parse_exponent(t, i, shown);
  if (!exponent.ok()) {
    Field<double> f;
    f.error = exponent.error;
    return f;
  }

  Field<double> f;
  if (!point && implied > 0) {
    scale -= implied;
    f.implied_decimals = true;
  }
  if (digits.empty()) {
    f.value = neg ? -0.0 : 0.0;
    return f;
  }
  if (sticky) {
    digits += '1';
    --scale;
  }
  const std::string text = (neg ? "-" : "") + digits + "e" + std::to_string(scale + exponent.value);
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (std::isinf(v)) return bad<double>("number out of range", shown);
  f.value = v;
  return f;
}

// The first item of a list-directed record: leading blanks skipped, ended by
// a blank, a tab, a comma, a slash or the end of the record. A repeat count
// "r*value" gives the value. Returns false (with the error set) when the
// record holds no value.
template <class T>
bool first_item(std::string_view record, std::string_view& item, Field<T>& f) {
  std::size_t i = 0;
  while (i < record.size() && (record[i] == ' ' || record[i] == '\t')) ++i;
  if (i == record.size()) {
    f.error = "no value found in " + quoted(record);
    return false;
  }
  if (record[i] == ',' || record[i] == '/') {
    f.error = "no value before " + std::string(record[i] == ',' ? "the comma" : "the slash") + " in " + quoted(record);
    return false;
  }
  std::size_t j = i;
  while (j < record.size() && record[j] != ' ' && record[j] != '\t' && record[j] != ',' && record[j] != '/') ++j;
  item = record.substr(i, j - i);
  const std::size_t star = item.find('*');
  if (star != std::string_view::npos) {
    const std::string_view count = item.substr(0, star);
    bool count_ok = !count.empty();
    for (char c : count) count_ok = count_ok && is_digit(c);
    if (!count_ok) {
      f.error = "bad repeat count: " + quoted(item);
      return false;
    }
    item = item.substr(star + 1);
    if (item.empty()) {
      f.error = "no value after the repeat count in " + quoted(record);
      return false;
    }
  }
  return true;
}

// The value as a message shows it.
std::string shown_value(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// "12,5": a comma right before a digit ends the item, so the decimal part
// is lost; most likely a decimal comma.
template <class T>
void warn_decimal_comma(std::string_view record, std::string_view item, Field<T>& f) {
  const std::size_t end = static_cast<std::size_t>(item.data() - record.data()) + item.size();
  if (end + 1 < record.size() && record[end] == ',' && is_digit(record[end + 1])) {
    std::size_t stop = end + 1;
    while (stop < record.size() && is_digit(record[stop])) ++stop;
    f.warning = quoted(record.substr(0, stop)) + ": the comma ends the item, so it is read as " +
                quoted(item) + " (a decimal point is written '.')";
  }
}

// A number that runs from column w into column w + 1 without a blank: only
// its first w columns were read, most likely not the number meant.
void warn_past_field(std::string_view record, std::size_t w, Field<double>& f) {
  auto blank = [&](std::size_t i) { return record[i] == ' ' || record[i] == '\t'; };
  if (record.size() <= w || blank(w - 1) || blank(w)) return;
  std::size_t from = w - 1, to = w;
  while (from > 0 && !blank(from - 1)) --from;
  while (to < record.size() && !blank(to)) ++to;
  const std::string_view token = record.substr(from, to - from);
  if (!parse_real(token, -1, token).ok()) return;
  f.warning = quoted(token) + " runs past column " + std::to_string(w) + ": only " +
              quoted(record.substr(0, w)) + " is read, giving " + shown_value(f.value) +
              " (write the value within the field, or a blank after it)";
}

Field<double> implied_warning(Field<double> f, std::string_view shown, int implied) {
  if (f.ok() && f.implied_decimals && f.value != 0)
    f.warning = quoted(shown) + " has no decimal point and is read as " + shown_value(f.value) + " (" +
                std::to_string(implied) + " implied decimals)";
  return f;
}

// Columns 1..w of a record (shorter records are padded with blanks), with
// the blanks removed. Tabs and other characters stay and make the field bad.
std::string formatted_field(std::string_view record, std::size_t w) {
  std::string s;
  const std::string_view f = record.substr(0, w < record.size() ? w : record.size());
  for (char c : f)
    if (c != ' ') s += c;
  return s;
}

Field<double> read_real_field(std::string_view record, std::size_t w, int implied) {
  const std::string_view shown = record.substr(0, w < record.size() ? w : record.size());
  const std::string field = formatted_field(record, w);
  if (field.empty()) return {};  // an all-blank field reads as zero
  return implied_warning(parse_real(field, implied, shown), shown, implied);
}

}  // namespace

std::string quoted(std::string_view text, std::size_t max_chars) {
  static const char kHex[] = "0123456789abcdef";
  std::string s = "\"";
  std::size_t n = 0;
  for (char ch : text) {
    if (n == max_chars) {
      s += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      s += '\\';
      s += ch;
    } else if (c >= 0x20 && c < 0x7f) {
      s += ch;
    } else {
      s += "\\x";
      s += kHex[c >> 4];
      s += kHex[c & 15];
    }
    ++n;
  }
  return s + "\"";
}

Field<int32_t> read_list_int(std::string_view record) {
  Field<int32_t> f;
  std::string_view item;
  if (!first_item(record, item, f)) return f;
  f = parse_integer(item, item);
  if (f.ok()) warn_decimal_comma(record, item, f);
  return f;
}

Field<double> read_list_real(std::string_view record) {
  Field<double> f;
  std::string_view item;
  if (!first_item(record, item, f)) return f;
  f = parse_real(item, -1, item);
  if (f.ok()) warn_decimal_comma(record, item, f);
  return f;
}

Field<int32_t> read_i5(std::string_view record) {
  const std::string_view shown = record.substr(0, record.size() < 5 ? record.size() : 5);
  const std::string field = formatted_field(record, 5);
  if (field.empty()) {  // an all-blank field reads as zero
    Field<int32_t> f;
    f.warning = "the field (columns 1-5) is blank and reads as 0";
    return f;
  }
  return parse_integer(field, shown);
}

Field<double> read_g20_10(std::string_view record) {
  Field<double> f = read_real_field(record, 20, 10);
  if (f.ok()) warn_past_field(record, 20, f);
  return f;
}

Field<double> read_e12_4(std::string_view record) { return read_real_field(record, 12, 4); }

std::optional<std::string> RecordSource::next() {
  truncated_ = false;
  if (!f_) return std::nullopt;
  std::string s;
  int c;
  bool any = false;
  while ((c = std::getc(f_)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (s.size() == kMaxRecordChars) {  // one character too many: stop here
      truncated_ = true;
      break;
    }
    s += static_cast<char>(c);
  }
  if (!any) return std::nullopt;
  digest_.update(s);
  if (c != EOF) {  // the line end, or the byte a cut record stopped at
    const char end = static_cast<char>(c);
    digest_.update(std::string_view(&end, 1));
  }
  if (!s.empty() && s.back() == '\r' && !truncated_) s.pop_back();
  ++number_;
  return s;
}

}  // namespace core
