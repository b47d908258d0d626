#include "platform/XmlDocument.h"
#include "platform/XmlUtf16.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

#include "platform/XmlParsing.h"

#include <algorithm>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

namespace platform {

using namespace xmlparsing;

namespace {

const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

// Takes ownership of a string libxml2 allocated.
std::string Take(xmlChar* s) {
    std::string out = Str(s);
    if (s) xmlFree(s);
    return out;
}

xmlDocPtr EmptyDoc() {
    return xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
}

bool IsBlankText(const xmlNode* n) {
    if (n->type != XML_TEXT_NODE) return false;
    for (const xmlChar* p = n->content; p && *p; ++p) {
        if (!IsXmlSpace(static_cast<char>(*p))) return false;
    }
    return true;
}

// Children as readers see them: blank text nodes are not counted.
const xmlNode* Counted(const xmlNode* n) {
    while (n && IsBlankText(n)) n = n->next;
    return n;
}

std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
    return xmlparsing::QualifiedName(name, ns ? ns->prefix : nullptr);
}

std::string ProcessingInstructionData(std::string_view data) {
    std::string out = XmlSafeText(data);
    for (std::size_t p = out.find("?>"); p != std::string::npos; p = out.find("?>", p + 3))
        out.insert(p + 1, " ");
    return out;
}

bool IsDeclaration(const xmlNode* n) {
    return n->type == XML_PI_NODE && n->name && Str(n->name) == "xml";
}

void CheckName(std::string_view name, const char* what) {
    std::string s(name);
    if (s.empty() || s.find('\0') != std::string::npos || xmlValidateQName(X(s), 0) != 0)
        throw XmlError(std::string("Недопустима назва ") + what + " XML \"" + s + "\"");
}

} // namespace

struct XmlDocument::Impl {
    xmlDocPtr doc = nullptr;
    // Nodes created or taken out of the tree; those still without a parent are freed with the document.
    std::vector<xmlNodePtr> orphans;

    Impl() { Reset(EmptyDoc()); }
    ~Impl() { Release(); }

    void Reset(xmlDocPtr d) {
        Release();
        doc = d;
        if (!doc) throw XmlError("Недостатньо пам'яті для документа XML");
        doc->_private = this;
    }

    void Release() {
        std::vector<xmlNodePtr> roots;
        for (xmlNodePtr n : orphans) {
            if (!n->parent) roots.push_back(n);
        }
        std::sort(roots.begin(), roots.end());
        roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
        for (xmlNodePtr n : roots) xmlFreeNode(n);
        orphans.clear();
        if (doc) xmlFreeDoc(doc);
        doc = nullptr;
    }

    XmlNode Track(xmlNodePtr n) {
        if (!n) throw XmlError("Недостатньо пам'яті для вузла XML");
        orphans.push_back(n);
        return XmlNode(reinterpret_cast<_xmlNode*>(n));
    }
};

namespace {

// Links without libxml2's merging of neighbouring text nodes, which would free a node a caller still holds.
void Link(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
    xmlUnlinkNode(child);
    child->parent = parent;
    if (before) {
        child->next = before;
        child->prev = before->prev;
        if (before->prev)
            before->prev->next = child;
        else
            parent->children = child;
        before->prev = child;
    } else {
        child->next = nullptr;
        child->prev = parent->last;
        if (parent->last)
            parent->last->next = child;
        else
            parent->children = child;
        parent->last = child;
    }
}

void CheckLink(const xmlNode* parent, const xmlNode* child) {
    if (!parent || !child) throw XmlError("Вузол XML відсутній");
    if (parent->doc != child->doc &&
        !(parent->type == XML_DOCUMENT_NODE && child->doc == (const xmlDoc*)parent))
        throw XmlError("Вузол XML належить іншому документу");
    for (const xmlNode* p = parent; p; p = p->parent) {
        if (p == child) throw XmlError("Вузол XML не можна додати до нього самого або нижче нього");
    }
    bool toDocument = parent->type == XML_DOCUMENT_NODE;
    switch (child->type) {
    case XML_ELEMENT_NODE:
        if (toDocument) {
            for (const xmlNode* c = parent->children; c; c = c->next) {
                if (c->type == XML_ELEMENT_NODE && c != child)
                    throw XmlError("Документ XML уже має кореневий елемент");
            }
        }
        break;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
        if (toDocument) throw XmlError("Текст не може стояти поза кореневим елементом");
        break;
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        break;
    default:
        throw XmlError("Вузол XML не можна перемістити");
    }
    if (!toDocument && parent->type != XML_ELEMENT_NODE)
        throw XmlError("Вузол XML не може мати дочірніх вузлів");
}

void StripBlankText(xmlNodePtr root) {
    // Depth-first walk without recursion, over the children of `root`.
    xmlNodePtr n = root->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE && n->children) {
            if (xmlNodeGetSpacePreserve(n) != 1) {
                for (xmlNodePtr c = n->children; c;) {
                    xmlNodePtr next = c->next;
                    if (IsBlankText(c)) {
                        xmlUnlinkNode(c);
                        xmlFreeNode(c);
                    }
                    c = next;
                }
            }
            if (n->children) {
                n = n->children;
                continue;
            }
        }
        while (n != root && !n->next) n = n->parent;
        if (n == root) break;
        n = n->next;
    }
}

} // namespace

XmlNodeKind XmlNode::Kind() const {
    if (!node) return XmlNodeKind::None;
    switch (node->type) {
    case XML_DOCUMENT_NODE:
        return XmlNodeKind::Document;
    case XML_ELEMENT_NODE:
        return XmlNodeKind::Element;
    case XML_TEXT_NODE:
        return XmlNodeKind::Text;
    case XML_CDATA_SECTION_NODE:
        return XmlNodeKind::CData;
    case XML_COMMENT_NODE:
        return XmlNodeKind::Comment;
    case XML_PI_NODE:
        return XmlNodeKind::ProcessingInstruction;
    default:
        return XmlNodeKind::Other;
    }
}

std::string XmlNode::Name() const {
    if (!node) return {};
    switch (node->type) {
    case XML_ELEMENT_NODE:
        return QualifiedName(node->name, node->ns);
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    case XML_DOCUMENT_NODE:
        return "#document";
    default:
        return Str(node->name);
    }
}

std::string XmlNode::Text() const {
    if (!node) return {};
    switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return Str(node->content);
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
        break;
    default:
        return {};
    }
    std::string out;
    const xmlNode* n = node->children;
    while (n) {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) out += Str(n->content);
        if (n->type == XML_ELEMENT_NODE && n->children) {
            n = n->children;
            continue;
        }
        while (n && n != node && !n->next) n = n->parent;
        if (!n || n == node) break;
        n = n->next;
    }
    return out;
}

XmlNode XmlNode::FirstChild() const {
    if (!node || (node->type != XML_ELEMENT_NODE && node->type != XML_DOCUMENT_NODE)) return {};
    return XmlNode(const_cast<xmlNode*>(Counted(node->children)));
}

XmlNode XmlNode::NextSibling() const {
    if (!node || node->type == XML_DOCUMENT_NODE) return {};
    return XmlNode(const_cast<xmlNode*>(Counted(node->next)));
}

XmlNode XmlNode::Parent() const {
    return node ? XmlNode(node->parent) : XmlNode();
}

std::size_t XmlNode::ChildCount() const {
    std::size_t count = 0;
    for (XmlNode c = FirstChild(); c; c = c.NextSibling()) ++count;
    return count;
}

XmlNode XmlNode::Child(std::size_t index) const {
    XmlNode c = FirstChild();
    while (c && index-- > 0) c = c.NextSibling();
    return c;
}

std::vector<XmlNode> XmlNode::Children() const {
    std::vector<XmlNode> out;
    for (XmlNode c = FirstChild(); c; c = c.NextSibling()) out.push_back(c);
    return out;
}

XmlNode XmlNode::SelectSingleNode(std::string_view name) const {
    for (XmlNode c = FirstChild(); c; c = c.NextSibling()) {
        if (c.Kind() == XmlNodeKind::Element && c.Name() == name) return c;
    }
    return {};
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
    if (!node || node->type != XML_ELEMENT_NODE) return std::nullopt;
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        if (QualifiedName(a->name, a->ns) == name)
            return Take(xmlNodeListGetString(node->doc, a->children, 1));
    }
    // Namespace declarations read as the attributes they were written as.
    for (const xmlNs* ns = node->nsDef; ns; ns = ns->next) {
        std::string declared = ns->prefix ? "xmlns:" + Str(ns->prefix) : "xmlns";
        if (declared == name) return Str(ns->href);
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> XmlNode::Attributes() const {
    std::vector<std::pair<std::string, std::string>> out;
    if (!node || node->type != XML_ELEMENT_NODE) return out;
    for (const xmlAttr* a = node->properties; a; a = a->next)
        out.emplace_back(QualifiedName(a->name, a->ns),
                         Take(xmlNodeListGetString(node->doc, a->children, 1)));
    return out;
}

void XmlNode::SetAttribute(std::string_view name, std::string_view text) {
    if (!node || node->type != XML_ELEMENT_NODE) throw XmlError("Атрибути XML можуть мати лише елементи");
    CheckName(name, "атрибута");
    std::string n(name);
    if (!xmlSetProp(node, X(n), X(XmlSafeText(text))))
        throw XmlError("Не вдається задати атрибут XML \"" + n + "\"");
}

void XmlNode::SetAttributeInt(std::string_view name, long long value) {
    SetAttribute(name, std::to_string(value));
}

void XmlNode::SetAttributeBool(std::string_view name, bool value) {
    SetAttribute(name, value ? "True" : "False");
}

void XmlNode::SetAttributeDouble(std::string_view name, double value) {
    SetAttribute(name, AnsiToUtf8(FormatGeneral(value)));
}

void XmlNode::SetText(std::string_view text) {
    if (!node || node->type != XML_ELEMENT_NODE) throw XmlError("Текст може мати лише елемент XML");
    auto* owner = node->doc ? static_cast<XmlDocument::Impl*>(node->doc->_private) : nullptr;
    while (xmlNodePtr c = node->children) {
        xmlUnlinkNode(c);
        if (owner)
            owner->orphans.push_back(c);
        else
            xmlFreeNode(c);
    }
    if (text.empty()) return;
    std::string safe = XmlSafeText(text);
    xmlNodePtr t = xmlNewDocTextLen(node->doc, X(safe), static_cast<int>(safe.size()));
    if (!t) throw XmlError("Недостатньо пам'яті для вузла XML");
    Link(node, t, nullptr);
}

XmlNode XmlNode::AppendChild(XmlNode child) {
    return InsertBefore(child, XmlNode());
}

XmlNode XmlNode::InsertBefore(XmlNode child, XmlNode reference) {
    CheckLink(node, child.node);
    if (reference.node && reference.node->parent != node)
        throw XmlError("Опорний вузол не є дочірнім вузлом цього вузла XML");
    if (reference.node == child.node) return child;
    Link(node, child.node, reference.node);
    return child;
}

XmlDocument::XmlDocument() {
    InitLibrary();
    impl = std::make_unique<Impl>();
}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::LoadXml(std::string_view text) {
    parseError.clear();
    parseErrorLine = 0;
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
        impl->Reset(EmptyDoc());
        parseError = "Документ завеликий";
        return false;
    }
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(xmlNewParserCtxt(), xmlFreeParserCtxt);
    if (!ctxt) throw XmlError("Недостатньо пам'яті для аналізатора XML");
    ParseState state;
    ctxt->_private = &state;
    RefuseEntities(*ctxt->sax);
    // A UTF-16, UCS-4 or EBCDIC document is parsed as its UTF-8, as the streamed read parses it.
    const std::string_view head = text.substr(0, XmlUtf16Reader::HeadSize);
    std::optional<XmlIconvReader> other = XmlIconvReader::ForDocument(head);
    const std::optional<XmlUtf16Reader> wide = other ? std::nullopt : XmlUtf16Reader::ForDocument(head);
    const bool utf16 = other || wide;
    std::string decoded;
    if (other)
        decoded = XmlIconvReader::Decode(std::move(*other), text);
    else if (wide)
        decoded = XmlUtf16Reader::Decode(*wide, text);
    if (utf16) text = decoded;
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> parsed(
        xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()), nullptr,
                          utf16 ? "UTF-8" : nullptr, kParseOptions | (utf16 ? XML_PARSE_IGNORE_ENC : 0)),
        xmlFreeDoc);
    bool ok = parsed && ctxt->wellFormed && !state.entityRefused;
    if (!ok) {
        ParseFailure(ctxt.get(), state, parseError, parseErrorLine);
    } else if (!xmlDocGetRootElement(parsed.get())) {
        parseError = "Документ не має кореневого елемента";
        ok = false;
    }
    impl->Reset(ok ? parsed.release() : EmptyDoc());
    if (ok) StripBlankText(reinterpret_cast<xmlNodePtr>(impl->doc));
    return ok;
}

bool XmlDocument::Load(const std::string& path) {
    std::string bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const FileError& e) {
        impl->Reset(EmptyDoc());
        parseError = e.what();
        parseErrorLine = 0;
        return false;
    }
    return LoadXml(bytes);
}

XmlNode XmlDocument::Node() const {
    return XmlNode(reinterpret_cast<xmlNodePtr>(impl->doc));
}

XmlNode XmlDocument::DocumentElement() const {
    return XmlNode(xmlDocGetRootElement(impl->doc));
}

XmlNode XmlDocument::CreateElement(std::string_view name) {
    CheckName(name, "елемента");
    return impl->Track(xmlNewDocNode(impl->doc, nullptr, X(std::string(name)), nullptr));
}

XmlNode XmlDocument::CreateTextNode(std::string_view text) {
    std::string safe = XmlSafeText(text);
    return impl->Track(xmlNewDocTextLen(impl->doc, X(safe), static_cast<int>(safe.size())));
}

XmlNode XmlDocument::CreateProcessingInstruction(std::string_view target, std::string_view data) {
    CheckName(target, "інструкції обробки");
    std::string t(target);
    bool reserved = t.size() == 3 && (t[0] | 0x20) == 'x' && (t[1] | 0x20) == 'm' && (t[2] | 0x20) == 'l';
    if ((reserved && t != "xml") || t.find(':') != std::string::npos)
        throw XmlError("Недопустима назва інструкції обробки XML \"" + t + "\"");
    return impl->Track(xmlNewDocPI(impl->doc, X(t), X(ProcessingInstructionData(data))));
}

std::string XmlDocument::SaveToString() const {
    bool standalone = false;
    for (const xmlNode* n = impl->doc->children; n; n = n->next) {
        if (!IsDeclaration(n)) continue;
        std::string data = Str(n->content);
        standalone = data.find("standalone=\"yes\"") != std::string::npos ||
                     data.find("standalone='yes'") != std::string::npos;
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"";
    if (standalone) out += " standalone=\"yes\"";
    out += "?>\r\n";
    // With a document encoding set libxml2 writes characters as they are instead of as character references.
    xmlDocPtr doc = impl->doc;
    const xmlChar* savedEncoding = doc->encoding;
    doc->encoding = reinterpret_cast<const xmlChar*>("UTF-8");
    struct Restore {
        xmlDocPtr doc;
        const xmlChar* encoding;
        ~Restore() { doc->encoding = encoding; }
    } restore{doc, savedEncoding};
    for (xmlNodePtr n = impl->doc->children; n; n = n->next) {
        if (IsDeclaration(n) || n->type == XML_DTD_NODE) continue;
        xmlBufferPtr buf = xmlBufferCreate();
        if (!buf) throw XmlError("Недостатньо пам'яті для запису документа XML");
        xmlSaveCtxtPtr save = xmlSaveToBuffer(buf, "UTF-8", XML_SAVE_NO_DECL);
        if (!save) {
            xmlBufferFree(buf);
            throw XmlError("Недостатньо пам'яті для запису документа XML");
        }
        long written = xmlSaveTree(save, n);
        xmlSaveClose(save);
        if (written < 0) {
            xmlBufferFree(buf);
            throw XmlError("Не вдається записати документ XML");
        }
        out.append(reinterpret_cast<const char*>(xmlBufferContent(buf)),
                   static_cast<std::size_t>(xmlBufferLength(buf)));
        out += "\r\n";
        xmlBufferFree(buf);
    }
    return out;
}

void XmlDocument::Save(const std::string& path) const {
    std::string text = SaveToString();
    try {
        WriteFileAtomic(path, text);
    } catch (const FileError& e) {
        throw XmlError(std::string("Не вдається зберегти документ XML. ") + e.what());
    }
}

namespace {

// Whether the text is well-formed UTF-8 holding only characters XML 1.0
// allows, so it can be taken as it is.
bool AlreadyXmlSafe(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) return false;
            ++i;
            continue;
        }
        std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
        if (extra == 0 || c > 0xF4 || i + extra >= s.size()) return false;
        uint32_t cp = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3F);
        }
        // Overlong forms, surrogates, beyond U+10FFFF, U+FFFE and U+FFFF.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

bool IsXmlSafeText(std::string_view utf8) {
    return AlreadyXmlSafe(utf8);
}

std::string XmlSafeText(std::string_view utf8) {
    if (AlreadyXmlSafe(utf8)) return std::string(utf8);
    std::u16string wide = Utf8ToUtf16(utf8);
    for (char16_t& c : wide) {
        bool allowed = c >= 0x20 ? (c != 0xFFFE && c != 0xFFFF) : (c == 0x09 || c == 0x0A || c == 0x0D);
        if (!allowed) c = u' ';
    }
    return Utf16ToUtf8(wide);
}

} // namespace platform
