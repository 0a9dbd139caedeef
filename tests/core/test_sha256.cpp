// The digest against the published SHA-256 examples: one block, and the
// 56-byte message whose padding needs a second block; given whole and in
// pieces that straddle the block boundary.
#include <gtest/gtest.h>

#include <string>

#include "core/sha256.hpp"

namespace {

TEST(Sha256, PublishedExamplesWholeAndInPieces) {
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  ASSERT_EQ(two_blocks.size(), 56u);
  EXPECT_EQ(core::sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string expected = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
  EXPECT_EQ(core::sha256_hex(two_blocks), expected);
  core::Sha256 pieces;
  pieces.update(two_blocks.substr(0, 30));
  pieces.update(two_blocks.substr(30));
  EXPECT_EQ(pieces.hex_digest(), expected);
}

}  // namespace
