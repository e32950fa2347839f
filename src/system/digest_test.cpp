#include "system/digest.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(Sha256HexTest, MatchesStandardVectors) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string("\0\xff", 2),  // binary bytes, including a NUL
       "06eb7d6a69ee19e5fbdf749018d3d2abfa04bcbd1365db312eb86dc7169389b8"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sha256Hex(c.input), c.digest) << "input of " << c.input.size() << " bytes";
  }
}

// A file read in chunks: the pieces' borders must not matter.
TEST(Sha256StreamTest, PiecesGiveTheDigestOfTheWhole) {
  const std::string whole = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, whole.size()}) {
    Sha256Stream stream;
    for (std::size_t at = 0; at < whole.size(); at += piece) stream.Add(std::string_view(whole).substr(at, piece));
    EXPECT_EQ(stream.FinishHex(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1")
        << "pieces of " << piece;
  }
}

}  // namespace
}  // namespace ostrane
