// minisign's formats both ways: what Debian's minisign writes verifies here,
// and minisign verifies what this program writes; any changed part fails.
#include "Minisign.h"

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

using trust::TVerifyResult;

TEST(MinisignFormat, AnyChangedPartFailsAndOnlyThat) {
  const trust::TSecretKey key = trust::GenerateSecretKey();
  const std::vector<trust::TPublicKey> keys = {key.Public()};
  const std::string message = "[update]\r\nsequence=1\r\n";
  for (const bool legacy : {false, true}) {
    const std::string good = trust::Sign(message, key, "comment", legacy);
    auto changed = [&](const std::string& from, const std::string& to) {
      std::string text = good;
      text.replace(text.find(from), from.size(), to);
      return text;
    };
    struct TCase {
      std::string what, message, signature;
      TVerifyResult expected;
    };
    const std::vector<TCase> cases = {
        {"as signed", message, good, TVerifyResult::Valid},
        {"CR LF line ends", message, changed("\n", "\r\n"), TVerifyResult::Valid},
        {"a changed byte", message + " ", good, TVerifyResult::BadSignature},
        {"an empty message", "", good, TVerifyResult::BadSignature},
        {"a changed comment", message,
         changed("trusted comment: comment", "trusted comment: c0mment"),
         TVerifyResult::BadTrustedComment},
        {"no signature", message, "", TVerifyResult::Malformed},
        {"lines missing", message, good.substr(0, good.find("trusted")), TVerifyResult::Malformed},
    };
    for (const TCase& c : cases)
      EXPECT_EQ(trust::Verify(c.message, c.signature, keys), c.expected)
          << c.what << (legacy ? ", legacy" : "");
    const trust::TSecretKey other = trust::GenerateSecretKey();
    EXPECT_EQ(trust::Verify(message, good, {other.Public()}), TVerifyResult::UnknownKey);
    EXPECT_EQ(trust::Verify(message, trust::Sign(message, other, "comment", legacy), keys),
              TVerifyResult::UnknownKey);
  }
}

TEST(MinisignFormat, KeyListsAreBlankSeparatedKeysAndNothingElse) {
  const std::string a = trust::PublicKeyBase64(trust::GenerateSecretKey().Public());
  const std::string b = trust::PublicKeyBase64(trust::GenerateSecretKey().Public());
  std::string error;
  EXPECT_EQ(trust::ParsePublicKeyList(" " + a + "\t\r\n" + b + " ", error)->size(), 2u);
  EXPECT_EQ(trust::ParsePublicKeyList("", error)->size(), 0u);
  EXPECT_FALSE(trust::ParsePublicKeyList(a + " RWQnotakey", error));
  EXPECT_EQ(error, "not a public key: RWQnotakey");
  EXPECT_FALSE(trust::ParsePublicKeyList(a.substr(0, 40), error));
  const auto parsed = trust::ParsePublicKeyFile("untrusted comment: x\r\n" + a + "\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(trust::PublicKeyBase64(*parsed), a);
}

#ifndef _WIN32
// Debian's minisign, a Linux program.
class MinisignToolTest : public ::testing::Test {
 protected:
  TProgramResult Shell(const std::string& command) {
    return RunProgram({"/bin/sh", "-c", command}, dir.Path());
  }
  TTempDir dir;
};

TEST_F(MinisignToolTest, SignaturesOfEitherToolVerifyWithTheOther) {
  ASSERT_EQ(Shell("minisign -G -W -p m.pub -s m.key").ExitCode, 0);
  WriteFile(dir.File("file"), std::string(100000, 'z') + "end");
  const std::string message = *ReadFile(dir.File("file"));
  const auto key = trust::ParsePublicKeyFile(*ReadFile(dir.File("m.pub")));
  ASSERT_TRUE(key);
  for (const char* kind : {"", "-l"}) {
    SCOPED_TRACE(kind);
    ASSERT_EQ(
        Shell(std::string("minisign -S ") + kind + " -s m.key -m file -t 'from minisign'").ExitCode,
        0);
    std::string comment;
    EXPECT_EQ(trust::Verify(message, *ReadFile(dir.File("file.minisig")), {*key}, &comment),
              TVerifyResult::Valid);
    EXPECT_EQ(comment, "from minisign");
  }
  std::string error;
  const auto secret = trust::ReadSecretKeyFile(*ReadFile(dir.File("m.key")), nullptr, error);
  ASSERT_TRUE(secret) << error;
  for (const bool legacy : {false, true}) {
    WriteFile(dir.File("file.minisig"), trust::Sign(message, *secret, "from kavrel", legacy));
    const TProgramResult r = Shell("minisign -V -p m.pub -m file");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("Trusted comment: from kavrel"), std::string::npos) << r.Out;
  }
}

TEST_F(MinisignToolTest, PasswordProtectedKeysOfEitherToolWork) {
  ASSERT_EQ(Shell("printf 'pw one\\npw one\\n' | minisign -G -p m.pub -s m.key").ExitCode, 0);
  std::string error;
  const std::string minisignKey = *ReadFile(dir.File("m.key"));
  EXPECT_TRUE(trust::SecretKeyFileIsEncrypted(minisignKey));
  EXPECT_FALSE(trust::ReadSecretKeyFile(
      minisignKey, [] { return "pw two"; }, error));
  EXPECT_EQ(error, "wrong password for the secret key");
  const auto secret = trust::ReadSecretKeyFile(
      minisignKey, [] { return "pw one"; }, error);
  ASSERT_TRUE(secret) << error;
  // The key itself; the comment line is free text (minisign writes the id
  // without leading zeros).
  EXPECT_EQ(trust::PublicKeyBase64(secret->Public()), FileLines(dir.File("m.pub")).back());

  WriteFile(dir.File("k.key"), trust::SecretKeyFileText(*secret, "pw three"));
  WriteFile(dir.File("file"), "signed");
  const TProgramResult r = Shell(
      "printf 'pw three\\n' | minisign -S -s k.key -m file && "
      "minisign -V -p m.pub -m file");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
}
#endif

}  // namespace
}  // namespace kavrel::test
