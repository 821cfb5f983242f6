#include "IniDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace kavrel {
namespace {

std::string Value(const TIniDocument& doc, std::string_view section, std::string_view key) {
  return doc.ReadString(section, key, "<absent>");
}

TEST(IniDocument, NamesMatchWithoutCase) {
  const auto doc = TIniDocument::Parse("[Update]\nNewVersion=1.2\n");
  EXPECT_TRUE(doc.SectionExists("UPDATE"));
  EXPECT_TRUE(doc.SectionExists("update"));
  EXPECT_EQ(Value(doc, "uPdAtE", "NEWVERSION"), "1.2");
  EXPECT_EQ(Value(doc, "update", "newversion"), "1.2");
  EXPECT_FALSE(doc.SectionExists("updat"));
  EXPECT_EQ(Value(doc, "update", "newversio"), "<absent>");
}

TEST(IniDocument, BlanksAroundNamesAndValuesAreDropped) {
  const auto doc =
      TIniDocument::Parse("  [ files ]  \n  count \t=   3  \t\n descr =  two  inner  blanks \n");
  EXPECT_EQ(Value(doc, "files", "count"), "3");
  EXPECT_EQ(Value(doc, "files", "descr"), "two  inner  blanks");
  EXPECT_EQ(doc.ReadInteger("files", "count", 0), 3);
}

TEST(IniDocument, OnePairOfMatchingQuotesIsDropped) {
  const auto doc = TIniDocument::Parse(
      "[s]\n"
      "double=\"text\"\n"
      "single='text'\n"
      "mixed=\"text'\n"
      "opening=\"text\n"
      "closing=text\"\n"
      "lone=\"\n"
      "empty=\"\"\n"
      "twice=\"\"text\"\"\n"
      "inner=\"a\"b\"\n"
      "padded=  \"  blanks kept inside  \"  \n"
      "middle=a\"b\"c\n");
  EXPECT_EQ(Value(doc, "s", "double"), "text");
  EXPECT_EQ(Value(doc, "s", "single"), "text");
  EXPECT_EQ(Value(doc, "s", "mixed"), "\"text'");
  EXPECT_EQ(Value(doc, "s", "opening"), "\"text");
  EXPECT_EQ(Value(doc, "s", "closing"), "text\"");
  EXPECT_EQ(Value(doc, "s", "lone"), "\"");
  EXPECT_EQ(Value(doc, "s", "empty"), "");
  EXPECT_EQ(Value(doc, "s", "twice"), "\"text\"");
  EXPECT_EQ(Value(doc, "s", "inner"), "a\"b");
  EXPECT_EQ(Value(doc, "s", "padded"), "  blanks kept inside  ");
  EXPECT_EQ(Value(doc, "s", "middle"), "a\"b\"c");
}

TEST(IniDocument, ValuesAreCappedAt2047CodePoints) {
  const std::string ascii(3000, 'a');
  std::string accented;
  for (int i = 0; i < 2100; ++i) accented += "\xC3\xA9";  // U+00E9, two bytes each
  // The euro sign (three bytes) is the 2047th code point and must stay whole.
  const std::string straddling = std::string(2046, 'b') + "\xE2\x82\xAC" + "tail";
  const std::string quoted = "\"" + std::string(2047, 'q') + "\"";
  const auto doc = TIniDocument::Parse("[s]\nascii=" + ascii + "\naccented=" + accented +
                                       "\nstraddling=" + straddling + "\nquoted=" + quoted +
                                       "\nexact=" + std::string(2047, 'x') + "\n");

  EXPECT_EQ(Value(doc, "s", "ascii"), std::string(2047, 'a'));
  EXPECT_EQ(Value(doc, "s", "accented"), accented.substr(0, 2 * 2047));
  EXPECT_EQ(Value(doc, "s", "straddling"), std::string(2046, 'b') + "\xE2\x82\xAC");
  // The quotes go first; the cap counts what is left.
  EXPECT_EQ(Value(doc, "s", "quoted"), std::string(2047, 'q'));
  EXPECT_EQ(Value(doc, "s", "exact"), std::string(2047, 'x'));
}

TEST(IniDocument, IntegersInDecimalAndHexadecimal) {
  const auto doc = TIniDocument::Parse(
      "[n]\n"
      "dec=42\nneg=-7\nplus=+5\nblank=  19  \nquoted=\"12\"\n"
      "dollar=$1F\nzx=0x1f\nupperX=0X10\nallones=$FFFFFFFF\nallones0x=0xFFFFFFFF\n"
      "max=2147483647\nmin=-2147483648\nhexmax=$7FFFFFFF\n");
  EXPECT_EQ(doc.ReadInteger("n", "dec", 0), 42);
  EXPECT_EQ(doc.ReadInteger("n", "neg", 0), -7);
  EXPECT_EQ(doc.ReadInteger("n", "plus", 0), 5);
  EXPECT_EQ(doc.ReadInteger("n", "blank", 0), 19);
  EXPECT_EQ(doc.ReadInteger("n", "quoted", 0), 12);
  EXPECT_EQ(doc.ReadInteger("n", "dollar", 0), 31);
  EXPECT_EQ(doc.ReadInteger("n", "zx", 0), 31);
  EXPECT_EQ(doc.ReadInteger("n", "upperX", 0), 16);
  EXPECT_EQ(doc.ReadInteger("n", "allones", 0), -1);
  EXPECT_EQ(doc.ReadInteger("n", "allones0x", 0), -1);
  EXPECT_EQ(doc.ReadInteger("n", "max", 0), 2147483647);
  EXPECT_EQ(doc.ReadInteger("n", "min", 0), -2147483647 - 1);
  EXPECT_EQ(doc.ReadInteger("n", "hexmax", 0), 2147483647);
  EXPECT_EQ(doc.ReadInteger("n", "absent", 77), 77);
}

TEST(IniDocument, UnreadableIntegersGiveTheDefault) {
  const auto doc = TIniDocument::Parse(
      "[n]\n"
      "suffix=12abc\noverflow=99999999999\njustover=2147483648\njustunder=-2147483649\n"
      "hexover=$100000000\nhugehex=0xFFFFFFFFFFFFFFFFFFFF\nhugedec=99999999999999999999999\n"
      "empty=\nbaredollar=$\nbare0x=0x\nword=yes\ninnerblank=1 2\nfraction=1.5\n");
  for (const char* key :
       {"suffix", "overflow", "justover", "justunder", "hexover", "hugehex", "hugedec", "empty",
        "baredollar", "bare0x", "word", "innerblank", "fraction"})
    EXPECT_EQ(doc.ReadInteger("n", key, -99), -99) << key;
}

TEST(IniDocument, FirstOfDuplicateSectionsAndKeysWins) {
  const auto doc = TIniDocument::Parse(
      "[update]\nnewversion=1.0\nnewversion=2.0\n"
      "[other]\nk=o\n"
      "[UPDATE]\nnewversion=3.0\nlocalversion=app.exe\n");
  EXPECT_EQ(Value(doc, "update", "newversion"), "1.0");
  EXPECT_FALSE(doc.Find("update", "localversion")) << "a later section of the name is not read";
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"update", "other"}));
}

TEST(IniDocument, CommentLinesAndLinesWithoutEqualsAreSkipped) {
  const auto doc = TIniDocument::Parse(
      "; leading comment=1\n"
      "[s]\n"
      ";k=commented\n"
      "   ; indented=comment\n"
      "no equals sign here\n"
      "k=kept;not a comment\n");
  EXPECT_EQ(Value(doc, "s", "k"), "kept;not a comment");
  EXPECT_EQ(Value(doc, "s", ";k"), "<absent>");
  EXPECT_EQ(doc.KeyNames("s"), (std::vector<std::string>{"k"}));
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"s"}));
}

TEST(IniDocument, AllLineEndsSeparateLines) {
  for (const char* text :
       {"[s]\r\na=1\r\nb=2\r\nc=3\r\n", "[s]\na=1\nb=2\nc=3\n", "[s]\ra=1\rb=2\rc=3\r",
        "[s]\r\na=1\rb=2\nc=3", "[s]\n\r\n\ra=1\r\n\r\nb=2\r\rc=3"}) {
    const auto doc = TIniDocument::Parse(text);
    EXPECT_EQ(Value(doc, "s", "a"), "1") << testing::PrintToString(text);
    EXPECT_EQ(Value(doc, "s", "b"), "2") << testing::PrintToString(text);
    EXPECT_EQ(Value(doc, "s", "c"), "3") << testing::PrintToString(text);
    EXPECT_EQ(doc.KeyNames("s").size(), 3u) << testing::PrintToString(text);
  }
}

TEST(IniDocument, Utf8ByteOrderMarkIsSkipped) {
  const auto doc = TIniDocument::Parse("\xEF\xBB\xBF[update]\r\ndescr=caf\xC3\xA9\r\n");
  EXPECT_TRUE(doc.SectionExists("update"));
  EXPECT_EQ(Value(doc, "update", "descr"), "caf\xC3\xA9");
}

// The UTF-16LE bytes of a text of code points.
std::string Utf16Le(std::u16string_view units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

TEST(IniDocument, Utf16LittleEndianFileWithMark) {
  // U+00E9, U+20AC and U+1F600 (a surrogate pair) become UTF-8.
  const std::string file = "\xFF\xFE" + Utf16Le(
                                            u"[Update]\r\nDescr=\u00E9\u20AC\U0001F600\r\n"
                                            u"count=$10\r\nbroken=a\xD800z\r\n");
  const auto doc = TIniDocument::Parse(file);
  EXPECT_EQ(Value(doc, "update", "descr"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(doc.ReadInteger("update", "count", 0), 16);
  EXPECT_EQ(Value(doc, "update", "broken"), "a\xEF\xBF\xBDz");
}

TEST(IniDocument, Utf16ValuesAreCappedInCodePoints) {
  const std::u16string value(3000, u'\u00E9');
  const auto doc = TIniDocument::Parse("\xFF\xFE" + Utf16Le(u"[s]\nk=" + value + u"\n"));
  std::string expected;
  for (int i = 0; i < 2047; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(Value(doc, "s", "k"), expected);
}

TEST(IniDocument, KeysOutsideAnySectionAreIgnored) {
  const auto doc = TIniDocument::Parse("orphan=1\n=2\n[s]\nk=v\n");
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"s"}));
  EXPECT_EQ(Value(doc, "s", "orphan"), "<absent>");
  EXPECT_EQ(Value(doc, "", "orphan"), "<absent>");
}

TEST(IniDocument, WrittenValuesReadBackAsWritten) {
  const std::vector<std::string> values = {"plain",
                                           "",
                                           "  leading blanks",
                                           "trailing blanks  ",
                                           "\t tab and blank \t",
                                           "\"quoted\"",
                                           "'single'",
                                           "\"",
                                           "\"\"",
                                           "\"half",
                                           "a=b=c",
                                           ";not a comment",
                                           "[not a section]",
                                           "caf\xC3\xA9"};
  TIniDocument doc;
  for (std::size_t i = 0; i < values.size(); ++i)
    doc.WriteString("Section", "key" + std::to_string(i), values[i]);
  const std::string text = doc.ToText();
  const auto back = TIniDocument::Parse(text);
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(Value(back, "section", "KEY" + std::to_string(i)), values[i]) << i;

  // Every line ends with CR LF.
  for (std::size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', p + 1))
    ASSERT_TRUE(p > 0 && text[p - 1] == '\r') << "at " << p;
}

TEST(IniDocument, EditingAParsedDocumentKeepsTheRest) {
  auto doc = TIniDocument::Parse("[Kavrel]\r\nLog=\" x \"\r\nKeep=1\r\n[Other]\r\nA=B\r\n");
  doc.WriteString("KAVREL", "keep", "2");
  doc.WriteString("kavrel", "New", "n");
  doc.WriteString("Third", "t", "3");
  doc.AddSection("other");
  doc.AddSection("Empty");
  doc.DeleteKey("OTHER", "a");
  const auto back = TIniDocument::Parse(doc.ToText());
  EXPECT_EQ(Value(back, "kavrel", "log"), " x ");
  EXPECT_EQ(Value(back, "kavrel", "keep"), "2");
  EXPECT_EQ(back.KeyNames("kavrel"), (std::vector<std::string>{"Log", "Keep", "New"}));
  EXPECT_EQ(Value(back, "third", "t"), "3");
  EXPECT_EQ(Value(back, "other", "a"), "<absent>");
  EXPECT_EQ(back.SectionNames(), (std::vector<std::string>{"Kavrel", "Other", "Third", "Empty"}));
}

}  // namespace
}  // namespace kavrel
