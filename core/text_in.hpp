// Text input under Fortran's reading rules.
//
//   list     first item of a record; items separated by blanks or a comma;
//            the rest of the record is ignored; an integer item must be an
//            integer, a real item may lack decimal point and exponent.
//   (i5)     integer in columns 1-5, blanks ignored, columns 6 on ignored.
//   (g20.10) real in columns 1-20: blanks ignored, exponent e/E/d/D, a field
//            without decimal point has 10 implied decimals, all blank reads 0,
//            columns 21 on ignored.
//   (e12.4)  real in columns 1-12 with 4 implied decimals.
//
// Each reader returns the value or a message saying what was wrong with the
// text; the caller names the record. Text that reads under the rule but
// most likely meant another number (a blank integer field, implied
// decimals, a number running past the field, a decimal comma) comes with a
// warning for the caller to print.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/sha256.hpp"

namespace core {

template <class T>
struct Field {
  T value{};
  std::string error;             // empty when the field was read
  std::string warning;           // empty unless the text probably meant another value
  bool implied_decimals = false; // a real read without a decimal point
  bool ok() const { return error.empty(); }
};

Field<int32_t> read_list_int(std::string_view record);
Field<double> read_list_real(std::string_view record);
Field<int32_t> read_i5(std::string_view record);
Field<double> read_g20_10(std::string_view record);
Field<double> read_e12_4(std::string_view record);

// `text` in double quotes for a message: control and non-ASCII bytes as
// \xNN, quotes and backslashes escaped, cut after `max_chars` characters.
std::string quoted(std::string_view text, std::size_t max_chars = 60);

// Records (lines) of a text stream, numbered from 1. A trailing carriage
// return is dropped. Returns nothing at end of input. Any bytes are accepted;
// a record that reaches kMaxRecordChars + 1 characters without a line end is
// returned cut to kMaxRecordChars and reports truncated(): reading stops
// there, so an endless line cannot hold the reader, and the caller refuses
// the record.
class RecordSource {
 public:
  static constexpr std::size_t kMaxRecordChars = std::size_t{1} << 20;

  RecordSource(std::FILE* f, std::string name) : f_(f), name_(std::move(name)) {}
  std::optional<std::string> next();
  int number() const { return number_; }  // number of the record last returned
  const std::string& name() const { return name_; }
  bool truncated() const { return truncated_; }  // the record last returned was cut
  // SHA-256 of every byte read so far (the records as they came, line ends
  // included); ends the digest: call it once, after the last record.
  std::string digest_of_bytes_read() { return digest_.hex_digest(); }

 private:
  std::FILE* f_;
  std::string name_;
  int number_ = 0;
  bool truncated_ = false;
  Sha256 digest_;
};

}  // namespace core
