#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct _xmlNode;
struct _xmlDoc;

namespace platform {

// A document could not be built or saved (bad element name, node of another document, failed save).
// The message can be shown to the user.
class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class XmlNodeKind { None, Document, Element, Text, CData, Comment, ProcessingInstruction, Other };

// A node of an XmlDocument: a light handle, valid while the document lives and until the next Load/LoadXml.
// Texts are UTF-8. Children are seen as a DOM shows them after a load that drops white space: text nodes of
// white space only are never children; comments, processing instructions and other text are.
class XmlNode {
public:
    XmlNode() = default;
    explicit operator bool() const { return node != nullptr; }
    bool operator==(const XmlNode& other) const { return node == other.node; }

    XmlNodeKind Kind() const;
    // Element name (with prefix), processing-instruction target, "#text", "#cdata-section", "#comment",
    // "#document".
    std::string Name() const;
    // The text of the node and everything below it (for a processing instruction its data).
    std::string Text() const;

    bool HasChildNodes() const { return FirstChild().node != nullptr; }
    std::size_t ChildCount() const;
    // The child at a 0-based index; a null node when out of range.
    XmlNode Child(std::size_t index) const;
    std::vector<XmlNode> Children() const;
    XmlNode FirstChild() const;
    XmlNode NextSibling() const;
    XmlNode Parent() const;
    // The first child element of that name; a null node when none.
    XmlNode SelectSingleNode(std::string_view name) const;

    // Attributes of an element; a missing attribute gives nothing.
    std::optional<std::string> Attribute(std::string_view name) const;
    bool HasAttribute(std::string_view name) const { return Attribute(name).has_value(); }
    // All attributes in document order (name, value).
    std::vector<std::pair<std::string, std::string>> Attributes() const;

    // Building. Texts have characters XML 1.0 does not allow written as a blank and malformed UTF-8 as
    // U+FFFD. Setting an attribute that exists replaces its value in place; a new one comes after the others.
    void SetAttribute(std::string_view name, std::string_view text);
    void SetAttributeInt(std::string_view name, long long value); // decimal
    void SetAttributeBool(std::string_view name, bool value);     // "True" / "False"
    void SetAttributeDouble(std::string_view name, double value); // regional general text
    // Replaces the children of an element by one text node (none for an empty text).
    void SetText(std::string_view text);
    // Moves `child` (a node of the same document, not an ancestor of this one) to the end of the children.
    XmlNode AppendChild(XmlNode child);
    // Moves `child` before `reference`, a child of this node; a null reference appends.
    XmlNode InsertBefore(XmlNode child, XmlNode reference);

private:
    friend class XmlDocument;
    explicit XmlNode(_xmlNode* n) : node(n) {}
    _xmlNode* node = nullptr;
};

// An XML document built in memory or loaded from a file, saved in UTF-8.
//
//     XmlDocument doc;
//     doc.LoadXml("<REPORT/>");
//     doc.Node().InsertBefore(doc.CreateProcessingInstruction("xml", "version=\"1.0\" ..."),
//                             doc.DocumentElement());
//     doc.DocumentElement().AppendChild(doc.CreateElement("HEADER"));
//     doc.Save(path);
//
// Loading accepts UTF-8, UTF-16 and any encoding the document declares that iconv knows (windows-1251 among
// them). No external file, DTD or network resource is ever read; documents declaring entities are refused.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Replace the document by the parsed text or file. On failure the document is empty, the result is false
    // and ParseError() tells why (the parser's own English reason, or our text for what we refuse) and
    // ParseErrorLine() where (0 when no line applies); on success ParseError() is empty.
    bool LoadXml(std::string_view text);
    bool Load(const std::string& path);
    const std::string& ParseError() const { return parseError; }
    int ParseErrorLine() const { return parseErrorLine; }

    // The document node (its children are the top-level nodes) and the root element (null when none).
    XmlNode Node() const;
    XmlNode DocumentElement() const;

    // New nodes belong to the document but stand outside the tree until appended or inserted.
    XmlNode CreateElement(std::string_view name);
    XmlNode CreateTextNode(std::string_view text);
    // The target "xml" stands for the XML declaration: wherever it is, the saved text starts with
    // <?xml version="1.0" encoding="UTF-8"?>, with standalone="yes" when its data says so. A "?>" in the data
    // is written as "? >".
    XmlNode CreateProcessingInstruction(std::string_view target, std::string_view data);

    // The document as UTF-8 text, XML declaration first, without added indentation.
    std::string SaveToString() const;
    // Writes SaveToString() to the file atomically; throws XmlError (with the file name and reason) on
    // failure.
    void Save(const std::string& path) const;

private:
    friend class XmlNode;
    struct Impl;
    std::unique_ptr<Impl> impl;
    std::string parseError;
    int parseErrorLine = 0;
};

// The text with characters XML 1.0 does not allow (U+0000-U+0008, U+000B, U+000C, U+000E-U+001F, U+FFFE,
// U+FFFF) replaced by a blank and malformed UTF-8 by U+FFFD.
std::string XmlSafeText(std::string_view utf8);
// Whether XmlSafeText would give the text back unchanged (well-formed UTF-8, only allowed characters).
bool IsXmlSafeText(std::string_view utf8);

} // namespace platform
