#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "support/TestSupport.h"
#include "toolkit/CKlXmlParser.h"

namespace {

CKlXmlNode ParseOk(const std::string& text, CKlXmlParser::Options options = {}) {
  CKlXmlParser parser(options);
  CKlXmlNode root;
  CKlXmlError error;
  EXPECT_TRUE(parser.Parse(text, root, error)) << error.text << " at " << error.line << ":" << error.column;
  return root;
}

CKlXmlError ParseFails(const std::string& text, CKlXmlParser::Options options = {}) {
  CKlXmlParser parser(options);
  CKlXmlNode root;
  CKlXmlError error;
  EXPECT_FALSE(parser.Parse(text, root, error)) << text;
  EXPECT_TRUE(root.children.empty());
  return error;
}

TEST(XmlParser, BuildsTreeUnderPseudoRoot) {
  CKlXmlNode root = ParseOk(
      "<?xml version=\"1.0\"?>\r\n<!-- list -->\r\n<root>\r\n   <rec>/a/b.zel</rec>\r\n"
      "   <group kind='x' n=\"2\"><rec>/c.zel</rec><empty/></group>\r\n   <Folder>/a</Folder>\r\n</root>\r\n");
  EXPECT_EQ(root.name, "[Root]");
  ASSERT_EQ(root.children.size(), 1u);  // blank text between markup is dropped
  const CKlXmlNode& list = root.children[0];
  EXPECT_EQ(list.name, "root");
  ASSERT_EQ(list.children.size(), 3u);
  EXPECT_EQ(list.children[0].InnerText(), "/a/b.zel");
  const CKlXmlNode& group = list.children[1];
  ASSERT_NE(group.Attribute("kind"), nullptr);
  EXPECT_EQ(*group.Attribute("kind"), "x");
  EXPECT_EQ(*group.Attribute("n"), "2");
  EXPECT_EQ(group.Attribute("none"), nullptr);
  ASSERT_EQ(group.children.size(), 2u);
  EXPECT_TRUE(group.children[1].IsElement());
  EXPECT_TRUE(group.children[1].children.empty());
  ASSERT_NE(list.FirstChild("Folder"), nullptr);
  EXPECT_EQ(list.FirstChild("Folder")->InnerText(), "/a");
  EXPECT_EQ(list.FirstChild("folder"), nullptr);
}

TEST(XmlParser, DecodesEntitiesAndCharacterReferences) {
  CKlXmlNode root = ParseOk("<a t=\"&lt;&quot;&#65;\">&amp;&lt;&gt;&quot;&apos;&#72;&#x49;&#xe9;&#x1F600;<![CDATA[<&>]]></a>");
  const CKlXmlNode& a = root.children.at(0);
  EXPECT_EQ(*a.Attribute("t"), "<\"A");
  EXPECT_EQ(a.InnerText(), "&<>\"'HI\xC3\xA9\xF0\x9F\x98\x80<&>");
}

TEST(XmlParser, KeepsUnescapedTextOfExistingFiles) {
  // Files written before escaping hold paths as they are.
  CKlXmlNode root = ParseOk("<root><rec>/calls/Smith & Sons/a&b;c&#xZZ;&#0;&.zel</rec><rec>/x/a < b > c.zel</rec></root>");
  const CKlXmlNode& list = root.children.at(0);
  EXPECT_EQ(list.children.at(0).InnerText(), "/calls/Smith & Sons/a&b;c&#xZZ;&#0;&.zel");
  EXPECT_EQ(list.children.at(1).InnerText(), "/x/a < b > c.zel");
}

TEST(XmlParser, BlankTextOnlyOnRequest) {
  CKlXmlParser::Options keep;
  keep.keepBlankText = true;
  EXPECT_EQ(ParseOk("<a>\r\n  <b/> </a>").children.at(0).children.size(), 1u);
  EXPECT_EQ(ParseOk("<a>\r\n  <b/> </a>", keep).children.at(0).children.size(), 3u);
  // Blanks inside a text are kept as they are.
  EXPECT_EQ(ParseOk("<a> x y </a>").children.at(0).InnerText(), " x y ");
}

TEST(XmlParser, EndTagCaseOption) {
  CKlXmlError error = ParseFails("<Root>\n<job/>\n</root>\n");
  EXPECT_EQ(error.number, CKlXmlParser::kErrMismatchedEndTag);
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.column, 1);
  CKlXmlParser::Options loose;
  loose.ignoreEndTagCase = true;
  CKlXmlNode root = ParseOk("<Root>\n<job/>\n</root>\n", loose);
  EXPECT_EQ(root.children.at(0).name, "Root");
  ParseFails("<Root></Roo>", loose);
}

TEST(XmlParser, ReportsWhereAndWhy) {
  struct Case {
    const char* input;
    int number;
    int line;
    int column;
  };
  const Case cases[] = {
      {"<root>\r\n   <rec>/a.zel</rec>\r\n   <rec>/b.zel", CKlXmlParser::kErrUnclosedElement, 3, 15},
      {"<root>\n  <rec>x</red>\n</root>", CKlXmlParser::kErrMismatchedEndTag, 2, 9},
      {"</root>", CKlXmlParser::kErrUnexpectedEndTag, 1, 1},
      {"<a><!-- never closed", CKlXmlParser::kErrUnterminatedComment, 1, 21},
      {"<a><![CDATA[x", CKlXmlParser::kErrUnterminatedCdata, 1, 14},
      {"<?xml version", CKlXmlParser::kErrUnterminatedDeclaration, 1, 14},
      {"<a b=c/>", CKlXmlParser::kErrBadAttribute, 1, 6},
      {"<a b=\"1\"c=\"2\"/>", CKlXmlParser::kErrBadAttribute, 1, 9},
      {"<a b=\"1\" b=\"2\"/>", CKlXmlParser::kErrDuplicateAttribute, 1, 15},
      {"<a b=\"1", CKlXmlParser::kErrUnexpectedEnd, 1, 8},
      {"<a>x\0y</a>", CKlXmlParser::kErrNullCharacter, 1, 5},
      {"<a", CKlXmlParser::kErrUnexpectedEnd, 1, 3},
      {"<a></>", CKlXmlParser::kErrBadName, 1, 6},
  };
  for (const Case& c : cases) {
    std::string input(c.input, c.number == CKlXmlParser::kErrNullCharacter ? 10 : std::strlen(c.input));
    CKlXmlError error = ParseFails(input);
    EXPECT_EQ(error.number, c.number) << c.input;
    EXPECT_EQ(error.text, CKlXmlParser::ErrorText(c.number));
    EXPECT_EQ(error.line, c.line) << c.input;
    EXPECT_EQ(error.column, c.column) << c.input;
  }
  CKlXmlError error = ParseFails("<root>\n  <rec>/calls/one.zel</red>\n</root>");
  EXPECT_NE(error.context.find("<rec>/calls/one.zel"), std::string::npos) << error.context;
}

TEST(XmlParser, CallbackAndFileErrors) {
  zeltest::TempDir dir;
  CKlXmlParser parser;
  int calls = 0;
  CKlXmlError seen;
  parser.SetErrorCallback([&](const CKlXmlError& e) {
    ++calls;
    seen = e;
  });
  CKlXmlNode root;
  CKlXmlError error;
  EXPECT_FALSE(parser.ParseFile(dir.File("missing.xml"), root, error));
  EXPECT_EQ(error.number, CKlXmlParser::kErrReadFile);
  EXPECT_EQ(calls, 1);
  zeltest::WriteFile(dir.File("ok.xml"), "<r><x>1</x></r>");
  EXPECT_TRUE(parser.ParseFile(dir.File("ok.xml"), root, error));
  EXPECT_EQ(root.children.at(0).FirstChild("x")->InnerText(), "1");
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(parser.Parse("<r>", root, error));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(seen.number, CKlXmlParser::kErrUnclosedElement);
}

TEST(XmlParser, DeepNestingIsAnErrorNotACrash) {
  std::string ok, deep;
  for (int i = 0; i < CKlXmlParser::kMaxDepth; ++i) ok += "<a>";
  for (int i = 0; i < CKlXmlParser::kMaxDepth; ++i) ok += "</a>";
  ParseOk(ok);
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_EQ(ParseFails(deep).number, CKlXmlParser::kErrTooDeep);
}

TEST(XmlParser, RandomBytesNeverCrash) {
  std::mt19937 rng(12345);
  const std::string alphabet = "<>/!?-[]&;#x\"'= aZ\r\n\0\xE9";
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    int length = static_cast<int>(rng() % 200);
    for (int i = 0; i < length; ++i) {
      input += (rng() % 4 == 0) ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % alphabet.size()];
    }
    CKlXmlParser parser;
    CKlXmlNode root;
    CKlXmlError error;
    if (!parser.Parse(input, root, error)) {
      EXPECT_GT(error.number, 0);
      EXPECT_GE(error.line, 1);
      EXPECT_GE(error.column, 1);
    }
  }
}

}  // namespace
