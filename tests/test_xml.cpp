// The XML substring reader: exact tag matches, the three value forms, raw
// elements and attributes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
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

    // A closing tag is an element of its own wherever it stands, at the
    // very start too: a loop over a fragment that begins with one moves on.
    for (const wchar_t* lead : {L"", L"x"}) {
        const int skip = static_cast<int>(std::wcslen(lead));
        xml.Parse((std::wstring(lead) + L"</a><b/>").c_str());
        pos = 0;
        EXPECT_EQ(1, xml.GetXmlNode(out, pos));
        EXPECT_STREQ(L"</a>", out);
        EXPECT_EQ(skip + 4, pos);
        EXPECT_EQ(1, xml.GetXmlNode(out, pos));
        EXPECT_STREQ(L"<b/>", out);
        xml.Parse((std::wstring(lead) + L"</a><b>x</b>").c_str());
        pos = 0;
        EXPECT_EQ(1, xml.GetXmlNodeEx(out, 256, pos));
        EXPECT_STREQ(L"</a>", out);
        EXPECT_EQ(skip + 4, pos);
        EXPECT_EQ(1, xml.GetXmlNodeEx(out, 256, pos));
        EXPECT_STREQ(L"<b>x</b>", out);
    }

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

// The sized forms never write past the buffer: a value that does not fit
// fails and leaves the buffer empty; one that fits is copied as before.
namespace {

struct GuardedOut {
    wchar_t buf[64 + 8];
    GuardedOut() { std::fill(std::begin(buf), std::end(buf), L'#'); }
    bool intact() const {
        for (int i = 64; i < 72; ++i)
            if (buf[i] != L'#') return false;
        return true;
    }
};

}  // namespace

TEST(XmlBounded, LongValuesDoNotOverrunTheBuffer) {
    CQvXml xml;
    std::wstring big(10000, L'v');
    xml.Parse((L"<a>" + big + L"</a><n k=\"" + big + L"\">" + big + L"</n><s>short</s>").c_str());
    GuardedOut g;
    EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"a", g.buf, 64));
    EXPECT_EQ(L'\0', g.buf[0]);
    EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"a", g.buf, 64, 0));
    int position = 0;
    EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"a", g.buf, 64, &position));
    EXPECT_EQ(10003, position) << "the iteration moves past the long value";
    position = 0;
    EXPECT_EQ(0, xml.GetXmlNodeEx(g.buf, 64, position));
    std::wstring node = L"<n k=\"" + big + L"\">" + big + L"</n>";
    EXPECT_EQ(0, xml.GetNodeAttrEx(node.c_str(), L"k", g.buf, 64));
    EXPECT_EQ(0, xml.GetNodeAttrEx(node.c_str(), L"", g.buf, 64));
    EXPECT_TRUE(g.intact());

    // A value of exactly 63 units and its terminator fit; 64 do not.
    xml.Parse((L"<e>" + std::wstring(63, L'x') + L"</e><f>" + std::wstring(64, L'y') + L"</f>")
                  .c_str());
    EXPECT_EQ(1, xml.GetXmlNodeValueEx(L"e", g.buf, 64));
    EXPECT_EQ(std::wstring(63, L'x'), g.buf);
    EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"f", g.buf, 64));
    EXPECT_TRUE(g.intact());

    Parse(L"<s>short</s>");
    EXPECT_EQ(1, GetXmlNodeValueEx(L"s", g.buf, 64));
    EXPECT_STREQ(L"short", g.buf);
    EXPECT_EQ(1, GetXmlNodeValue2Ex(L"s", g.buf, 64, 0));
    position = 0;
    EXPECT_EQ(1, GetXmlNodeValue3Ex(L"s", g.buf, 64, &position));
    EXPECT_EQ(0, GetXmlNodeValueEx(L"s", g.buf, 0));
    EXPECT_TRUE(g.intact());
}

// With no room at all (a size of 0 or less) the iteration forms still move
// on, as they do past a value too long for the buffer, and write nothing:
// a loop that trusts them ends.
TEST(XmlBounded, NoRoomStillMovesTheIterationOn) {
    CQvXml xml;
    xml.Parse(L"<v>1</v><v>2</v>");
    wchar_t none[1] = {L'#'};
    for (int size : {0, -1}) {
        int position = 0, calls = 0;
        while (position >= 0 && ++calls < 10)
            EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"v", none, size, &position));
        EXPECT_EQ(3, calls) << "after both values, the third call finds no more";
        position = 0, calls = 0;
        while (position >= 0 && ++calls < 10) EXPECT_EQ(0, xml.GetXmlNodeEx(none, size, position));
        EXPECT_EQ(3, calls);
    }
    EXPECT_EQ(L'#', none[0]);
    int position = 0;
    EXPECT_EQ(0, xml.GetXmlNodeValueEx(L"v", none, 0, &position));
    EXPECT_EQ(4, position) << "left at the closing tag, as when the value is copied";
}
