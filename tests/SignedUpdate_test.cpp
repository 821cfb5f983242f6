// Signed updates, as whole runs against the local HTTP server: what one of the
// PublicKey keys signed is installed; anything else (a changed byte, another
// key, an older or expired file, another product's, a file that differs from
// its signed hash or size) is refused with one status line, and the refusal
// leaves every file as it was, runs nothing and remembers nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "CabinetImage.h"
#include "InstallationRun.h"
#include "Minisign.h"
#include "Sha256.h"
#include "SzddCompress.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

#ifdef _WIN32
const std::string kMarkCommand = "cmd.exe /c \"echo ran> ran.txt\"";
#else
const std::string kMarkCommand = "/bin/sh -c \"echo ran > ran.txt\"";
#endif

class SignedUpdateTest : public TInstallationRun {
 protected:
  // A file of the site and its entry, with the hash and size it is signed with.
  TSection Entry(const std::string& name, const std::string& content) {
    WriteFile(www.File(name), content);
    return {"url=" + server.Url(name), "targetdir=" + app.Path(),
            "sha256=" + trust::Sha256Hex(content), "size=" + std::to_string(content.size())};
  }
  void PublishSigned(const std::vector<TSection>& files, const std::string& extra = "",
                     int sequence = 1) {
    Publish(files, "sequence=" + std::to_string(sequence) + "\r\n" + extra);
    Sign(key);
  }
  void Sign(const trust::TSecretKey& by, bool legacy = false) {
    WriteFile(www.File("update.ini.minisig"),
              trust::Sign(ReadFile(www.File("update.ini")).value(), by,
                          "timestamp:0\tfile:update.ini", legacy));
  }
  static std::string KeyOf(const trust::TSecretKey& k) {
    return trust::PublicKeyBase64(k.Public());
  }
  TProgramResult RunSigned(std::vector<std::string> properties = {}, const std::string& keys = "",
                           const std::string& answers = "") {
    properties.push_back("PublicKey=" + (keys.empty() ? KeyOf(key) : keys));
    return Run(properties, answers);
  }
  static bool Has(const TProgramResult& r, const std::string& text) {
    return r.Out.find(text) != std::string::npos;
  }
  // Every value a run has remembered in the registry.
  std::vector<std::string> Remembered() const {
    std::vector<std::string> values;
    for (const std::string& f : FilesBelow(hives.Path()))
      for (const std::string& line : FileLines(hives.File(f)))
        if (line.find('=') != std::string::npos) values.push_back(line);
    return values;
  }

  const trust::TSecretKey key = trust::GenerateSecretKey();
  const trust::TSecretKey other = trust::GenerateSecretKey();
  const std::vector<std::string> memory = {"LastURLEntry.Save=True",
                                           "LastURLEntry.Key=Software\\Kavrel Tests",
                                           "LastURLEntry.Section=Signed"};
};

TEST_F(SignedUpdateTest, WhatAKeySignedIsInstalledInEitherSignatureKind) {
  for (const bool legacy : {false, true}) {
    WriteFile(app.File("app.dat"), "old data");
    Publish({Entry("app.dat", legacy ? "legacy data" : "new data")}, "sequence=1\r\n");
    Sign(key, legacy);
    // Any key of the list may sign: the publisher ships the next key first.
    const TProgramResult r = RunSigned({}, KeyOf(other) + "  " + KeyOf(key));
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(app.File("app.dat")), legacy ? "legacy data" : "new data") << r.Out;
    EXPECT_TRUE(Has(r, "[948]")) << r.Out;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
}

TEST_F(SignedUpdateTest, RefusedControlFilesChangeRunAndRememberNothing) {
  struct TCase {
    const char* what;
    std::function<void()> spoil;
    std::string expected;
    std::string keys = "";
    std::vector<std::string> properties = {};
  };
  const std::string updateSection = "[action]\r\nmsg=Hello\r\nrunafter=" + kMarkCommand +
                                    "\r\nupdateURL=" + server.Url("elsewhere.ini") + "\r\n";
  auto republish = [&](const std::string& extra, bool withSequence = true) {
    return [&, extra, withSequence] {
      Publish({Entry("app.dat", "new data")},
              (withSequence ? "sequence=1\r\n" : "") + extra + updateSection);
      Sign(key);
    };
  };
  const std::vector<TCase> cases = {
      {"a changed byte",
       [&] { WriteFile(www.File("update.ini"), *ReadFile(www.File("update.ini")) + " "); },
       "[977] Update control file signature not accepted : signature does not match the file"},
      {"a changed trusted comment",
       [&] {
         std::string text = *ReadFile(www.File("update.ini.minisig"));
         text.replace(text.find("timestamp:0"), 11, "timestamp:1");
         WriteFile(www.File("update.ini.minisig"), text);
       },
       "[977] Update control file signature not accepted : trusted comment was changed"},
      {"another key", [&] { Sign(other); },
       "[977] Update control file signature not accepted : signed by a key that is not trusted"},
      {"no trusted key", [] {}, "signed by a key that is not trusted", KeyOf(other)},
      {"no signature", [&] { std::remove(www.File("update.ini.minisig").c_str()); },
       "[977] Update control file signature not accepted : no signature at " +
           server.Url("update.ini.minisig")},
      {"an empty signature", [&] { WriteFile(www.File("update.ini.minisig"), ""); },
       "no signature at"},
      {"a garbled signature", [&] { WriteFile(www.File("update.ini.minisig"), "garbage\n"); },
       "not a signature file"},
      {"an expired file", republish("expires=2020-01-01T00:00:00Z\r\n"),
       "[978] Update control file not accepted : expired at 2020-01-01T00:00:00Z"},
      {"an unreadable expiry", republish("expires=tomorrow\r\n"), "\"expires\" is not a UTC time"},
      {"another product",
       republish("product=Other\r\n"),
       "[978] Update control file not accepted : made for another product than Demo",
       "",
       {"ProductID=Demo"}},
      {"no sequence", republish("", false), "no \"sequence\" in [update]"},
      {"a negative sequence", republish("sequence=-1\r\n", false), "\"sequence\" is not"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(app.File("app.dat"), "old data");
    republish("")();
    c.spoil();
    server.ClearRequests();
    std::vector<std::string> properties = memory;
    properties.insert(properties.end(), c.properties.begin(), c.properties.end());
    const TProgramResult r = RunSigned(properties, c.keys, "ok,ok,ok");
    ASSERT_EQ(r.ExitCode, 1) << "refused: a failure: " << r.Err;
    EXPECT_TRUE(Has(r, c.expected)) << r.Out;
    EXPECT_TRUE(Has(r, "(Status:2)")) << "a launcher says the update could not be had";
    for (const char* never : {"[926]", "[934]", "[941]", "[945]", "[948]"})
      EXPECT_FALSE(Has(r, never)) << never << "\n" << r.Out;
    EXPECT_EQ(ReadFile(app.File("app.dat")), "old data");
    EXPECT_FALSE(ReadFile(app.File("ran.txt"))) << "nothing runs";
    EXPECT_EQ(Remembered(), std::vector<std::string>{}) << "nothing remembered";
    for (const std::string& path : FetchedPaths())
      EXPECT_EQ(path, "/update.ini.minisig") << "nothing fetched but the signature";
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
}

TEST_F(SignedUpdateTest, AnOlderSequenceIsRefusedWhereverItIsRemembered) {
  for (const bool withMemory : {false, true}) {
    SCOPED_TRACE(withMemory);
    const std::vector<std::string> properties = withMemory ? memory : std::vector<std::string>{};
    const auto runWith = [&](int sequence, const std::string& content) {
      PublishSigned({Entry("app.dat", content)}, "", sequence);
      return RunSigned(properties);
    };
    EXPECT_TRUE(Has(runWith(5, "five"), "[948]"));
    const TProgramResult replay = runWith(4, "four");
    EXPECT_TRUE(Has(replay,
                    "[978] Update control file not accepted : sequence 4 is older than 5, "
                    "already accepted"))
        << replay.Out;
    EXPECT_EQ(ReadFile(app.File("app.dat")), "five");
    EXPECT_TRUE(Has(runWith(5, "five again"), "[948]")) << "the same sequence is no replay";
    EXPECT_EQ(ReadFile(app.File("app.dat")), "five again");
    EXPECT_TRUE(Has(runWith(6, "six"), "[948]"));
    // Another product's sequence is its own.
    PublishSigned({Entry("app.dat", "other product")}, "product=Other\r\n", 1);
    std::vector<std::string> otherProduct = properties;
    otherProduct.push_back("ProductID=Other");
    EXPECT_TRUE(Has(RunSigned(otherProduct), "[948]"));
    std::filesystem::remove_all(hives.Path());
    std::filesystem::create_directories(hives.Path());
  }
}

TEST_F(SignedUpdateTest, FilesThatDifferFromWhatWasSignedAreNeverInstalled) {
  struct TCase {
    const char* what;
    std::function<TSection()> entry;
    std::string expected;
    std::vector<std::string> properties = {};
  };
  const std::string signedContent = "new data!";
  auto withLine = [](TSection s, std::size_t i, const std::string& line) {
    if (line.empty())
      s.erase(s.begin() + static_cast<std::ptrdiff_t>(i));
    else
      s[i] = line;
    return s;
  };
  const std::vector<TCase> cases = {
      {"another file of the same size",
       [&] {
         TSection s = Entry("app.dat", signedContent);
         WriteFile(www.File("app.dat"), "NEW DATA!");
         return s;
       },
       "app.dat: its SHA-256 is not the signed one"},
      {"a shorter file",
       [&] {
         TSection s = Entry("app.dat", signedContent);
         WriteFile(www.File("app.dat"), "new");
         return s;
       },
       "app.dat: not the 9 signed bytes arrived"},
      {"a file that grows past its size while it arrives",
       [&] {
         TSection s = Entry("app.dat", signedContent);
         WriteFile(www.File("app.dat"), std::string(3'000'000, 'x'));
         return s;
       },
       "app.dat: more than the 9 signed bytes arrived"},
      {"an entry without a hash", [&] { return withLine(Entry("app.dat", signedContent), 2, ""); },
       "no SHA-256 in the entry of " + server.Url("app.dat")},
      {"an entry with a short hash",
       [&] { return withLine(Entry("app.dat", signedContent), 2, "sha256=abc"); },
       "is not 64 hexadecimal digits"},
      {"an entry without a size", [&] { return withLine(Entry("app.dat", signedContent), 3, ""); },
       "no size in the entry of"},
      {"an LZ file, before it is expanded",
       [&] {
         TSection s = Entry("app.da_", *SzddCompress(signedContent, 't'));
         WriteFile(www.File("app.da_"), *SzddCompress("tampered", 't'));
         s.push_back("compressed=1");
         return s;
       },
       "app.da_: ",
       {"ExtractCAB=True"}},
      {"a component, before it is left for the stub",
       [&] {
         TSection s = Entry("app.dat_NEW", signedContent);
         WriteFile(www.File("app.dat_NEW"), "tampered!");
         return s;
       },
       "app.dat_NEW: its SHA-256 is not the signed one"},
  };
  const std::string application =
      "[application]\r\nappupdate=1\r\nappname=app.dat\r\nappcomps=app.dat_NEW\r\n"
      "silentrestart=1\r\n";
  for (const TCase& c : cases) {
    for (const char* throughTemp : {"True", "False"}) {
      SCOPED_TRACE(std::string(c.what) + ", UseWinTempDir=" + throughTemp);
      WriteFile(app.File("app.dat"), "old data");
      PublishSigned({c.entry()}, application);
      std::vector<std::string> properties = c.properties;
      properties.push_back(std::string("UseWinTempDir=") + throughTemp);
      const TProgramResult r = RunSigned(properties);
      ASSERT_EQ(r.ExitCode, 1) << r.Err;
      EXPECT_TRUE(Has(r, "[979] File does not match the signed update : ")) << r.Out;
      EXPECT_TRUE(Has(r, c.expected)) << r.Out;
      EXPECT_TRUE(Has(r, "[946] Cannot download update file")) << r.Out;
      EXPECT_FALSE(Has(r, "[958]")) << "no stub for an update that failed";
      EXPECT_EQ(ReadFile(app.File("app.dat")), "old data");
      EXPECT_EQ(FilesBelow(app.Path()), std::vector<std::string>{"app.dat"}) << r.Out;
      EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
  }
}

TEST_F(SignedUpdateTest, TextsAreShownOnlyWithTheirSignedHash) {
  WriteFile(www.File("news.txt"), "What is new");
  const std::string good = trust::Sha256Hex("What is new");
  for (const std::string& hash : {good, trust::Sha256Hex("Something else"), std::string()}) {
    SCOPED_TRACE(hash);
    PublishSigned({Entry("app.dat", "new data")},
                  "[whatsnew]\r\nfile=" + server.Url("news.txt") + "\r\nsha256=" + hash + "\r\n");
    const TProgramResult r = RunSigned({}, "", "ok");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err.find("What is new") != std::string::npos, hash == good) << r.Err;
    EXPECT_EQ(Has(r, "[979]"), hash != good) << r.Out;
  }
}

TEST_F(SignedUpdateTest, ARedirectionIsFollowedOnlyToAnotherSignedFile) {
  PublishSigned({Entry("app.dat", "new data")},
                "[action]\r\nupdateURL=" + server.Url("next.ini") + "\r\n");
  EXPECT_TRUE(Has(RunSigned(memory), "[948]"));
  WriteFile(www.File("next.ini"), "[update]\r\nsequence=2\r\nunconditional=1\r\n");
  const TProgramResult unsigned_ = RunSigned(memory);
  EXPECT_TRUE(Has(unsigned_, "no signature at " + server.Url("next.ini.minisig"))) << unsigned_.Out;
  WriteFile(www.File("next.ini.minisig"),
            trust::Sign(*ReadFile(www.File("next.ini")), key, "next", false));
  const TProgramResult signed_ = RunSigned(memory);
  EXPECT_TRUE(Has(signed_, "[926]")) << signed_.Out;
}

}  // namespace
}  // namespace kavrel::test
