// An XML document read as a stream of its nodes, for documents too big to hold whole: nothing of the
// document is kept but what the handler keeps. The same documents are accepted and refused, for the same
// reasons and at the same lines, as XmlDocument::Load and LoadXml give, and the handler sees the nodes an
// XmlDocument would hold (white-space-only text is no node).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/XmlDocument.h"

namespace platform {

// The attributes of an element being read, valid during the call that hands them out: the element's own
// attributes in document order, then its namespace declarations ("xmlns", "xmlns:p"), as XmlNode gives them.
class XmlStreamAttributes {
public:
    std::size_t Count() const { return joined ? joined->size() : attributeCount + namespaceCount; }
    // The name with its prefix.
    std::string Name(std::size_t index) const;
    std::string Value(std::size_t index) const;

private:
    friend struct XmlStreamParser;
    const unsigned char** attributes = nullptr; // libxml2's five pointers per attribute
    std::size_t attributeCount = 0;
    const unsigned char** namespaces = nullptr; // prefix and URI per declaration
    std::size_t namespaceCount = 0;
    // The names and values of a tag the parser got in parts, joined.
    const std::vector<std::pair<std::string, std::string>>* joined = nullptr;
};

class XmlStreamHandler {
public:
    virtual ~XmlStreamHandler() = default;
    // An element starts at `depth` (the root element at 0); `name` with its prefix.
    virtual void StartElement(std::size_t depth, std::string_view name,
                              const XmlStreamAttributes& attributes) = 0;
    virtual void EndElement(std::size_t /*depth*/) {}
    // A node other than an element at `depth`: a text not of white space only, CDATA, a comment or a
    // processing instruction; `name` as XmlNode::Name gives it.
    virtual void Leaf(std::size_t depth, XmlNodeKind kind, std::string_view name) = 0;
    // Whether the handler takes the text of the text and CDATA nodes at `depth`: their pieces come to Text
    // before their Leaf, in order (a text of white space only gets its pieces but no Leaf: it is no node).
    virtual bool WantsText(std::size_t /*depth*/) { return false; }
    virtual void Text(std::size_t /*depth*/, std::string_view /*piece*/) {}
};

// How a streamed read ended: `reason` is empty when the document was read to its end; otherwise it is what
// XmlDocument::ParseError would say (the file's own error names the file, `fileError` set) and `line`
// where (0 when no line applies).
struct XmlStreamResult {
    std::string reason;
    int line = 0;
    bool fileError = false;
    bool Ok() const { return reason.empty(); }
};

// The file is read piece by piece. An exception the handler raises ends the read and is passed on. The
// time grows with the size of the document, also with the number of attributes of a tag.
XmlStreamResult StreamXmlFile(const std::string& path, XmlStreamHandler& handler);
XmlStreamResult StreamXmlText(std::string_view text, XmlStreamHandler& handler);

} // namespace platform
