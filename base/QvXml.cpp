#include "base/QvXml.h"

namespace {

using std::wstring;
constexpr size_t kNone = wstring::npos;

// A search that starts outside the text finds nothing.
size_t Find(const wstring& text, const wstring& what, long long from) {
    if (from < 0 || static_cast<unsigned long long>(from) > text.size()) return kNone;
    return text.find(what, static_cast<size_t>(from));
}

wstring OpenTag(const wchar_t* name) {
    return L"<" + wstring(name) + L">";
}

wstring CloseTag(const wchar_t* name) {
    return L"</" + wstring(name) + L">";
}

constexpr long long kUnbounded = -1;

// Copies text[from, to) and a terminator into `out`, which holds `outSize`
// units (any length when negative); a value that does not fit is not
// copied at all.
int CopyOut(const wstring& text, size_t from, size_t to, wchar_t* out, long long outSize) {
    if (!out) return 0;
    if (outSize >= 0 && static_cast<unsigned long long>(to - from) >=
                            static_cast<unsigned long long>(outSize))
        return 0;
    text.copy(out, to - from, from);
    out[to - from] = L'\0';
    return 1;
}

// Empties the caller's buffer when it has room for a terminator.
void Empty(wchar_t* out, long long outSize) {
    if (out && outSize != 0) *out = L'\0';
}

// Empties the caller's buffer; false when the arguments cannot be used.
bool Begin(const wchar_t* name, wchar_t* out, long long outSize) {
    Empty(out, outSize);
    return name && out && outSize != 0;
}

// A size the caller gave: 0 or less leaves no room for even a terminator.
long long Bound(int outSize) {
    return outSize > 0 ? outSize : 0;
}

// The operations on a document (or, for NodeAttr, on one node), bounded by
// outSize unless it is negative.
int NodeValue(const wstring& doc, const wchar_t* name, wchar_t* out, long long outSize) {
    if (!Begin(name, out, outSize)) return 0;
    const wstring open = OpenTag(name);
    const size_t at = Find(doc, open, 0);
    const size_t close = Find(doc, CloseTag(name), 0);
    if (at == kNone || close == kNone || close < at + open.size()) return 0;
    return CopyOut(doc, at + open.size(), close, out, outSize);
}

int NodeValueAt(const wstring& doc, const wchar_t* name, wchar_t* out, long long outSize,
                int index) {
    if (!Begin(name, out, outSize) || index < 0) return 0;
    const wstring open = OpenTag(name);
    size_t from = 0;
    for (int i = 0; i <= index; ++i) {
        const size_t at = Find(doc, open, static_cast<long long>(from));
        if (at == kNone) return 0;
        from = at + open.size();
    }
    const size_t close = Find(doc, CloseTag(name), static_cast<long long>(from));
    if (close == kNone) return 0;
    return CopyOut(doc, from, close, out, outSize);
}

// The iteration forms move the position on even when there is no room for
// the value at all, so that a loop over them always ends.
int NodeValueFrom(const wstring& doc, const wchar_t* name, wchar_t* out, long long outSize,
                  int* position) {
    Empty(out, outSize);
    if (!name || !position) return 0;
    const wstring open = OpenTag(name);
    const size_t at = Find(doc, open, *position);
    if (at == kNone) {
        *position = -1;
        return 0;
    }
    const size_t from = at + open.size();
    *position = static_cast<int>(from);
    const size_t close = Find(doc, CloseTag(name), static_cast<long long>(from));
    if (close == kNone) return 0;
    *position = static_cast<int>(close);
    return CopyOut(doc, from, close, out, outSize);
}

int Node(const wstring& doc, wchar_t* out, long long outSize, int& position) {
    Empty(out, outSize);
    const size_t at = Find(doc, L"<", position);
    if (at == kNone) {
        position = -1;
        return 0;
    }
    position = static_cast<int>(at);
    const size_t selfClose = Find(doc, L"/>", static_cast<long long>(at));
    size_t end = selfClose == kNone ? kNone : selfClose + 2;
    // A closing tag ends the element when it comes before the first "/>";
    // one at the very start of the text is no exception.
    const size_t closing = Find(doc, L"</", static_cast<long long>(at));
    if (closing != kNone && (end == kNone || closing < end)) {
        const size_t gt = Find(doc, L">", static_cast<long long>(closing));
        if (gt != kNone) end = gt + 1;
    }
    if (end == kNone) return 0;
    position = static_cast<int>(end);
    return CopyOut(doc, at, end, out, outSize);
}

int NodeAttr(const wchar_t* node, const wchar_t* attr, wchar_t* out, long long outSize) {
    if (!Begin(node, out, outSize) || !attr) return 0;
    const wstring text = node;
    if (!*attr) {
        const size_t gt = Find(text, L">", 0);
        if (gt == kNone) return 0;
        const size_t lt = Find(text, L"<", static_cast<long long>(gt) + 1);
        if (lt == kNone) return 0;
        return CopyOut(text, gt + 1, lt, out, outSize);
    }
    const wstring lead = wstring(attr) + L"=\"";
    const size_t at = Find(text, lead, 0);
    if (at == kNone) return 0;
    const size_t from = at + lead.size();
    const size_t quote = Find(text, L"\"", static_cast<long long>(from));
    if (quote == kNone) return 0;
    return CopyOut(text, from, quote, out, outSize);
}

}  // namespace

CQvXml& CQvXml::Instance() {
    static CQvXml _obj;
    return _obj;
}

CQvXml::CQvXml() = default;
CQvXml::~CQvXml() = default;
CQvXml::CQvXml(const CQvXml& other) = default;
CQvXml& CQvXml::operator=(const CQvXml& other) = default;

int CQvXml::Parse(const wchar_t* text) {
    doc_ = text ? text : L"";
    return 1;
}

int CQvXml::GetXmlNodeValue(const wchar_t* name, wchar_t* out) {
    return NodeValue(doc_, name, out, kUnbounded);
}

int CQvXml::GetXmlNodeValue(const wchar_t* name, wchar_t* out, int index) {
    return NodeValueAt(doc_, name, out, kUnbounded, index);
}

int CQvXml::GetXmlNodeValue(const wchar_t* name, wchar_t* out, int* position) {
    return NodeValueFrom(doc_, name, out, kUnbounded, position);
}

int CQvXml::GetXmlNodeCount(const wchar_t* name) {
    if (!name) return 0;
    const wstring open = OpenTag(name);
    int count = 0;
    for (size_t at = Find(doc_, open, 0); at != kNone;
         at = Find(doc_, open, static_cast<long long>(at) + 1))
        ++count;
    return count;
}

int CQvXml::GetXmlNode(wchar_t* out, int& position) {
    return Node(doc_, out, kUnbounded, position);
}

int CQvXml::GetNodeAttr(const wchar_t* node, const wchar_t* attr, wchar_t* out) {
    return NodeAttr(node, attr, out, kUnbounded);
}

int CQvXml::GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize) {
    return NodeValue(doc_, name, out, Bound(outSize));
}

int CQvXml::GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize, int index) {
    return NodeValueAt(doc_, name, out, Bound(outSize), index);
}

int CQvXml::GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize, int* position) {
    return NodeValueFrom(doc_, name, out, Bound(outSize), position);
}

int CQvXml::GetXmlNodeEx(wchar_t* out, int outSize, int& position) {
    return Node(doc_, out, Bound(outSize), position);
}

int CQvXml::GetNodeAttrEx(const wchar_t* node, const wchar_t* attr, wchar_t* out, int outSize) {
    return NodeAttr(node, attr, out, Bound(outSize));
}

int Parse(const wchar_t* text) {
    return CQvXml::Instance().Parse(text);
}

int GetXmlNodeValue(const wchar_t* name, wchar_t* out) {
    return CQvXml::Instance().GetXmlNodeValue(name, out);
}

int GetXmlNodeValue2(const wchar_t* name, wchar_t* out, int index) {
    return CQvXml::Instance().GetXmlNodeValue(name, out, index);
}

int GetXmlNodeValue3(const wchar_t* name, wchar_t* out, int* position) {
    return CQvXml::Instance().GetXmlNodeValue(name, out, position);
}

int GetXmlNodeCount(const wchar_t* name) {
    return CQvXml::Instance().GetXmlNodeCount(name);
}

int GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize) {
    return CQvXml::Instance().GetXmlNodeValueEx(name, out, outSize);
}

int GetXmlNodeValue2Ex(const wchar_t* name, wchar_t* out, int outSize, int index) {
    return CQvXml::Instance().GetXmlNodeValueEx(name, out, outSize, index);
}

int GetXmlNodeValue3Ex(const wchar_t* name, wchar_t* out, int outSize, int* position) {
    return CQvXml::Instance().GetXmlNodeValueEx(name, out, outSize, position);
}
