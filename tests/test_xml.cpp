// The XML substring reader: exact tag matches, the three value forms, raw
// elements and attributes.
#include <gtest/gtest.h>

#include <string>

#include "base/QvXml.h"

namespace {

wchar_t out[256];

}  // namespace

TEST(Xml, CountsOnlyExactOpeningTags) {
    CQvXml xml;
    EXPECT_EQ(1, xml.Parse(L"<list><item>1</item><items>x</items><item a=\"1\">2</item>"
                           L"<item>3</item><item>4</item></list>"));
    EXPECT_EQ(3, xml.GetXmlNodeCount(L"item"));
    EXPECT_EQ(0, xml.GetXmlNodeCount(L"Item")) << "matches are case-sensitive";
    // Overlapping matches count: "<a><a>" holds "<a>" twice, "<<a>>" once.
    xml.Parse(L"<a><a><<a>>");
    EXPECT_EQ(3, xml.GetXmlNodeCount(L"a"));
    xml.Parse(nullptr);
    EXPECT_EQ(0, xml.GetXmlNodeCount(L"a"));
}

TEST(Xml, FirstValueNeedsTheClosingTagAfterTheOpeningOne) {
    CQvXml xml;
    xml.Parse(L"<r><v>one</v><v>two</v></r>");
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out));
    EXPECT_STREQ(L"one", out);
    // Character references come back as they stand.
    xml.Parse(L"<t>a &amp; b &#20013;</t>");
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"t", out));
    EXPECT_STREQ(L"a &amp; b &#20013;", out);
    xml.Parse(L"<e></e>");
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"e", out));
    EXPECT_STREQ(L"", out);

    wcscpy(out, L"old");
    xml.Parse(L"</v><v>x</v>");
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out));
    EXPECT_STREQ(L"", out) << "the buffer is emptied on failure too";
    xml.Parse(L"<v>x");
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out));
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"w", out));
}

TEST(Xml, IndexFormCountsOpeningTagsFromZero) {
    CQvXml xml;
    xml.Parse(L"<v>1</v><v>2</v>");
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out, 1));
    EXPECT_STREQ(L"2", out);
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out, 0));
    EXPECT_STREQ(L"1", out);
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, 2));
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, -1));
    // No nesting awareness: the value reaches the first closing tag.
    xml.Parse(L"<v>a<v>b</v>c</v>");
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out, 0));
    EXPECT_STREQ(L"a<v>b", out);
}

TEST(Xml, PositionFormIteratesToMinusOne) {
    CQvXml xml;
    xml.Parse(L"<v>1</v><v>2</v>");
    int pos = 0;
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out, &pos));
    EXPECT_STREQ(L"1", out);
    EXPECT_EQ(4, pos) << "left at the closing tag";
    EXPECT_EQ(1, xml.GetXmlNodeValue(L"v", out, &pos));
    EXPECT_STREQ(L"2", out);
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, &pos));
    EXPECT_EQ(-1, pos);
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, &pos)) << "a negative position finds nothing";
    EXPECT_EQ(-1, pos);

    // A missing closing tag leaves the position just after the opening one.
    xml.Parse(L"ab<v>x");
    pos = 0;
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, &pos));
    EXPECT_EQ(5, pos);
    pos = 100;
    EXPECT_EQ(0, xml.GetXmlNodeValue(L"v", out, &pos)) << "beyond the end finds nothing";
    EXPECT_EQ(-1, pos);
}

TEST(Xml, RawElementsEndAtSelfCloseOrFirstClosingTag) {
    CQvXml xml;
    xml.Parse(L"<a><b>x</b></a><c k=\"1\"/><d>y</d>");
    int pos = 0;
    EXPECT_EQ(1, xml.GetXmlNode(out, pos));
    EXPECT_STREQ(L"<a><b>x</b>", out);
    EXPECT_EQ(1, xml.GetXmlNode(out, pos));
    EXPECT_STREQ(L"</a>", out);
    EXPECT_EQ(1, xml.GetXmlNode(out, pos));
    EXPECT_STREQ(L"<c k=\"1\"/>", out);
    EXPECT_EQ(1, xml.GetXmlNode(out, pos));
    EXPECT_STREQ(L"<d>y</d>", out);
    EXPECT_EQ(0, xml.GetXmlNode(out, pos));
    EXPECT_EQ(-1, pos);

    // An element with neither end is not returned; the position stays on it.
    xml.Parse(L"xx<open");
    pos = 0;
    EXPECT_EQ(0, xml.GetXmlNode(out, pos));
    EXPECT_EQ(2, pos);
    EXPECT_STREQ(L"", out);
}

TEST(Xml, AttributesAndInnerTextOfAGivenNode) {
    CQvXml xml;
    EXPECT_EQ(1, xml.GetNodeAttr(L"<n name=\"abc\">", L"name", out));
    EXPECT_STREQ(L"abc", out);
    EXPECT_EQ(1, xml.GetNodeAttr(L"<n>text</n>", L"", out));
    EXPECT_STREQ(L"text", out);
    // A plain substring search: "id" also matches the end of "xid".
    EXPECT_EQ(1, xml.GetNodeAttr(L"<n xid=\"1\" id=\"2\">", L"id", out));
    EXPECT_STREQ(L"1", out);
    // No space is allowed around the equals sign; the quote must close.
    EXPECT_EQ(0, xml.GetNodeAttr(L"<n name = \"abc\">", L"name", out));
    EXPECT_EQ(0, xml.GetNodeAttr(L"<n name=\"abc>", L"name", out));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(0, xml.GetNodeAttr(L"<n>text", L"", out));
    EXPECT_EQ(0, xml.GetNodeAttr(L"no tag", L"", out));
}

TEST(Xml, FreeFunctionsShareTheProcessDocumentAndCopiesAreIndependent) {
    EXPECT_EQ(1, Parse(L"<cfg><ver>2.1</ver><url>a</url><url>b</url></cfg>"));
    EXPECT_EQ(1, GetXmlNodeValue(L"ver", out));
    EXPECT_STREQ(L"2.1", out);
    EXPECT_EQ(2, GetXmlNodeCount(L"url"));
    EXPECT_EQ(1, GetXmlNodeValue2(L"url", out, 1));
    EXPECT_STREQ(L"b", out);
    int pos = 0;
    std::wstring seen;
    while (GetXmlNodeValue3(L"url", out, &pos)) seen += out;
    EXPECT_EQ(L"ab", seen);
    EXPECT_EQ(-1, pos);

    CQvXml copy(CQvXml::Instance());
    Parse(L"<ver>3</ver>");
    EXPECT_EQ(1, copy.GetXmlNodeValue(L"ver", out));
    EXPECT_STREQ(L"2.1", out);
    copy = CQvXml::Instance();
    EXPECT_EQ(1, copy.GetXmlNodeValue(L"ver", out));
    EXPECT_STREQ(L"3", out);
}
