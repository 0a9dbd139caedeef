// SHA-256 message digest (FIPS 180-4), for recording which input a run read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // The digest of everything given so far, as 64 lower-case hex digits.
  // Ends the computation: call it once.
  std::string hex_digest();

 private:
  void compress(const unsigned char* block);
  std::array<uint32_t, 8> h_;
  unsigned char block_[64];
  std::size_t used_ = 0;  // bytes waiting in block_
  uint64_t length_ = 0;   // message length in bytes
};

std::string sha256_hex(std::string_view bytes);

// The digest of a file's bytes from its start, through an open descriptor,
// without moving its read position; nothing when the descriptor is not a
// regular file or cannot be read.
std::optional<std::string> sha256_of_descriptor(int fd);
// The digest of a named file; nothing when it cannot be read.
std::optional<std::string> sha256_of_file(const std::string& path);

}  // namespace core
