#pragma once
// A reader for small, flat, machine-written XML texts (configuration and
// server replies). It keeps one document as a string and finds elements,
// values and attributes by exact, case-sensitive substring search: there
// is no tree, no nesting awareness and no entity decoding, so "&amp;"
// comes back as it stands.
//
// Results are 1 on success and 0 on failure. Every output buffer is
// emptied first. The forms without a size trust the caller's buffer to hold
// the longest value asked for, which a document from outside can make as
// long as it likes: use them only on documents you wrote. The ...Ex forms
// take the buffer's size in code units and never write past it: a value
// that does not fit with its terminator fails (0) and leaves the buffer
// empty. Positions are
// indexes in UTF-16 code units; a search from a negative position or one
// past the end finds nothing.
#include <string>

#include "base/QvExport.h"

class QV_API CQvXml {
public:
    // The process-wide document. Parse must not run while another thread
    // reads it.
    static CQvXml& Instance();

    CQvXml();
    ~CQvXml();
    CQvXml(const CQvXml& other);
    CQvXml& operator=(const CQvXml& other);

    // Replaces the document with a copy of `text` (null: empty); always 1.
    int Parse(const wchar_t* text);
    // The text between the document's first "<name>" and its first
    // "</name>"; 0 when the closing tag comes first.
    int GetXmlNodeValue(const wchar_t* name, wchar_t* out);
    // The value of the (index + 1)-th "<name>": up to the next "</name>".
    int GetXmlNodeValue(const wchar_t* name, wchar_t* out, int index);
    // Iteration: finds "<name>" from *position and the next "</name>".
    // On success *position is left at the closing tag; without an opening
    // tag it becomes -1; without a closing tag it is left just after the
    // opening tag.
    int GetXmlNodeValue(const wchar_t* name, wchar_t* out, int* position);
    // How often "<name>" occurs (overlapping matches counted).
    int GetXmlNodeCount(const wchar_t* name);
    // The next raw element from `position`: from its "<" to its first "/>"
    // or to the end of the first closing tag after it, whichever comes
    // first; `position` moves past it (-1 when no "<" is left).
    int GetXmlNode(wchar_t* out, int& position);
    // Works on `node`, not on the document: the value of attr="..." or,
    // with an empty `attr`, the text between the first ">" and the next
    // "<".
    int GetNodeAttr(const wchar_t* node, const wchar_t* attr, wchar_t* out);

    // The same operations into a buffer of `outSize` code units. The
    // iteration forms move the position as their plain forms do, also when
    // the value does not fit or `outSize` is 0 or less (nothing is written
    // then), so that a loop can go on past it.
    int GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize);
    int GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize, int index);
    int GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize, int* position);
    int GetXmlNodeEx(wchar_t* out, int outSize, int& position);
    int GetNodeAttrEx(const wchar_t* node, const wchar_t* attr, wchar_t* out, int outSize);

private:
    std::wstring doc_;
};

// The same operations on the process-wide document.
QV_API int Parse(const wchar_t* text);
QV_API int GetXmlNodeValue(const wchar_t* name, wchar_t* out);
QV_API int GetXmlNodeValue2(const wchar_t* name, wchar_t* out, int index);
QV_API int GetXmlNodeValue3(const wchar_t* name, wchar_t* out, int* position);
QV_API int GetXmlNodeCount(const wchar_t* name);
// Bounded forms, as the members of the same name.
QV_API int GetXmlNodeValueEx(const wchar_t* name, wchar_t* out, int outSize);
QV_API int GetXmlNodeValue2Ex(const wchar_t* name, wchar_t* out, int outSize, int index);
QV_API int GetXmlNodeValue3Ex(const wchar_t* name, wchar_t* out, int outSize, int* position);
