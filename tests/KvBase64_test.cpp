#include "KvBase64.h"

#include <gtest/gtest.h>

#include <string>

namespace kavrel {
namespace {

TEST(Base64Encode, PadsTheLastGroup) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode("user:password"), "dXNlcjpwYXNzd29yZA==");
}

TEST(Base64Encode, LongCredentialsStayOnOneLine) {
  const std::string user(200, 'u');
  const std::string password(301, 'p');
  const std::string encoded = Base64Encode(user + ":" + password);
  EXPECT_EQ(encoded.size(), 4u * ((user.size() + 1 + password.size() + 2) / 3));
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(encoded.substr(0, 8), "dXV1dXV1");
}

TEST(Base64Encode, LatinOneCharactersGiveTheirOwnByte) {
  // U+00E9 is one byte 0xE9, not its two UTF-8 bytes.
  EXPECT_EQ(Base64Encode("\xC3\xA9"), "6Q==");
  // U+00FB U+00EF U+00BE and U+00FF U+00FF U+00FF reach both special letters.
  EXPECT_EQ(Base64Encode("\xC3\xBB\xC3\xAF\xC2\xBE"), "++++");
  EXPECT_EQ(Base64Encode("\xC3\xBF\xC3\xBF\xC3\xBF"), "////");
  EXPECT_EQ(Base64Encode(std::string("\0\0", 2)), "AAA=");
}

TEST(Base64Encode, HigherCharactersKeepOnlyTheirLowByte) {
  EXPECT_EQ(Base64Encode("\xC5\x81"), Base64Encode("A"));  // U+0141
  EXPECT_EQ(Base64Encode("\xE2\x82\xAC"), "rA==");         // U+20AC gives 0xAC
  // U+1F600 is the surrogate pair D83D DE00: bytes 0x3D 0x00.
  EXPECT_EQ(Base64Encode("\xF0\x9F\x98\x80"), "PQA=");
  EXPECT_EQ(Base64Encode("u:\xC5\x81\xF0\x9F\x98\x80"), Base64Encode(std::string("u:A=\0", 5)));
}

TEST(Base64Encode, MalformedUtf8BytesCountAsOneUnitEach) {
  EXPECT_EQ(Base64Encode("\xFF"), "/w==");  // never part of UTF-8
  EXPECT_EQ(Base64Encode("\xC3"), "ww==");  // sequence cut short
  EXPECT_EQ(Base64Encode("\xC3"
                         "A"),
            "w0E=");                                        // lead byte without continuation
  EXPECT_EQ(Base64Encode("\xC0\x80"), "wIA=");              // overlong form of U+0000
  EXPECT_EQ(Base64Encode("\xED\xA0\x80"), "7aCA");          // an encoded surrogate
  EXPECT_EQ(Base64Encode("\xF4\x90\x80\x80"), "9JCAgA==");  // above U+10FFFF
  EXPECT_EQ(Base64Encode("\x80\xC3\xA9"), "gOk=");          // stray continuation, then U+00E9
}

}  // namespace
}  // namespace kavrel
