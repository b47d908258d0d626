#include "platform/XmlStream.h"

#include "platform/AtomicFile.h"
#include "platform/XmlParsing.h"
#include "platform/XmlTagSplitter.h"
#include "platform/XmlUtf16.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace platform {

using namespace xmlparsing;

std::string XmlStreamAttributes::Name(std::size_t index) const {
    if (joined) return (*joined)[index].first;
    if (index < attributeCount) return QualifiedName(attributes[5 * index], attributes[5 * index + 1]);
    const xmlChar* prefix = namespaces[2 * (index - attributeCount)];
    return prefix ? "xmlns:" + Str(prefix) : "xmlns";
}

std::string XmlStreamAttributes::Value(std::size_t index) const {
    if (joined) return (*joined)[index].second;
    if (index >= attributeCount) return Str(namespaces[2 * (index - attributeCount) + 1]);
    const auto* begin = reinterpret_cast<const char*>(attributes[5 * index + 3]);
    const auto* end = reinterpret_cast<const char*>(attributes[5 * index + 4]);
    // Without entity substitution the parser hands an ampersand on as "&#38;"; every other reference is
    // already replaced.
    std::string value;
    const std::string_view raw(begin, static_cast<std::size_t>(end - begin));
    for (std::size_t at = 0;;) {
        const std::size_t amp = raw.find("&#38;", at);
        value.append(raw.substr(at, amp - at));
        if (amp == std::string_view::npos) break;
        value += '&';
        at = amp + 5;
    }
    return value;
}

// The parser's callbacks: the nodes an XmlDocument would hold, handed to the handler as they end.
struct XmlStreamParser : ParseState {
    enum class Pending : unsigned char { None, Text, CData };

    XmlStreamParser(XmlStreamHandler& handler, std::deque<XmlTagSplitter::Split>& splits)
        : handler(handler), splits(splits) {}

    static XmlStreamParser& Of(void* ctx) {
        auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
        return *static_cast<XmlStreamParser*>(static_cast<ParseState*>(ctxt->_private));
    }

    // Runs a call of the handler; an exception stops the parser and is kept for the caller.
    template <class Call> static void Guarded(void* ctx, Call&& call) {
        XmlStreamParser& self = Of(ctx);
        if (self.failure) return;
        try {
            call(self);
        } catch (...) {
            self.failure = std::current_exception();
            xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
        }
    }

    // A text or CDATA node ends where another node begins; consecutive pieces are one node.
    void Flush() {
        const Pending kind = pending;
        pending = Pending::None;
        if (kind == Pending::Text && !pendingBlank)
            handler.Leaf(depth, XmlNodeKind::Text, "#text");
        else if (kind == Pending::CData)
            handler.Leaf(depth, XmlNodeKind::CData, "#cdata-section");
    }

    static void StartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*,
                             int namespaceCount, const xmlChar** namespaces, int attributeCount,
                             int defaulted, const xmlChar** attributes) {
        Guarded(ctx, [&](XmlStreamParser& self) {
            const std::size_t ordinal = self.starts++;
            self.Flush();
            XmlStreamAttributes list;
            list.attributes = attributes;
            // Attributes the DTD adds are no attributes of the element as read.
            list.attributeCount = static_cast<std::size_t>(attributeCount - defaulted);
            list.namespaces = namespaces;
            list.namespaceCount = static_cast<std::size_t>(namespaceCount);
            std::vector<std::pair<std::string, std::string>> joined;
            if (!self.splits.empty() && self.splits.front().ordinal == ordinal) {
                // A tag the parser got with its first attributes only: the others join them.
                for (std::size_t i = 0; i < list.Count(); ++i)
                    joined.emplace_back(list.Name(i), list.Value(i));
                std::vector<std::pair<std::string, std::string>>& rest = self.splits.front().attributes;
                joined.insert(joined.end(), std::make_move_iterator(rest.begin()),
                              std::make_move_iterator(rest.end()));
                self.splits.pop_front();
                list.joined = &joined;
            }
            self.handler.StartElement(self.depth++, QualifiedName(localname, prefix), list);
        });
    }

    static void EndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
        Guarded(ctx, [](XmlStreamParser& self) {
            self.Flush();
            if (self.depth == 0) return;
            self.handler.EndElement(--self.depth);
        });
    }

    static void Characters(void* ctx, const xmlChar* text, int length) {
        Guarded(ctx, [&](XmlStreamParser& self) {
            if (self.pending != Pending::Text) {
                self.Flush();
                self.pending = Pending::Text;
                self.pendingBlank = true;
            }
            for (int i = 0; i < length && self.pendingBlank; ++i)
                self.pendingBlank = IsXmlSpace(static_cast<char>(text[i]));
            self.GiveText(text, length);
        });
    }

    static void CData(void* ctx, const xmlChar* text, int length) {
        Guarded(ctx, [&](XmlStreamParser& self) {
            if (self.pending != Pending::CData) {
                self.Flush();
                self.pending = Pending::CData;
            }
            self.GiveText(text, length);
        });
    }

    void GiveText(const xmlChar* text, int length) {
        if (length > 0 && handler.WantsText(depth))
            handler.Text(depth, std::string_view(reinterpret_cast<const char*>(text),
                                                 static_cast<std::size_t>(length)));
    }

    // Comments and processing instructions of a document type's subset are no nodes of the document.
    static bool InSubset(void* ctx) { return static_cast<xmlParserCtxtPtr>(ctx)->inSubset != 0; }

    static void Comment(void* ctx, const xmlChar*) {
        if (InSubset(ctx)) return;
        Guarded(ctx, [](XmlStreamParser& self) {
            self.Flush();
            self.handler.Leaf(self.depth, XmlNodeKind::Comment, "#comment");
        });
    }

    static void ProcessingInstruction(void* ctx, const xmlChar* target, const xmlChar*) {
        if (InSubset(ctx)) return;
        Guarded(ctx, [&](XmlStreamParser& self) {
            self.Flush();
            self.handler.Leaf(self.depth, XmlNodeKind::ProcessingInstruction, Str(target));
        });
    }

    XmlStreamHandler& handler;
    std::deque<XmlTagSplitter::Split>& splits;
    std::size_t starts = 0; // start tags the parser gave
    std::exception_ptr failure;
    std::size_t depth = 0; // elements open
    Pending pending = Pending::None;
    bool pendingBlank = false;
};

namespace {

// Where the parser's bytes come from.
struct Source {
    virtual ~Source() = default;
    // Bytes read into `buffer`, 0 at the end, -1 on a failure.
    virtual int Read(char* buffer, int size) = 0;
    static int Callback(void* context, char* buffer, int size) {
        return static_cast<Source*>(context)->Read(buffer, size);
    }
    static int Close(void*) { return 0; }
};

struct TextSource : Source {
    explicit TextSource(std::string_view text) : rest(text) {}
    int Read(char* buffer, int size) override {
        const std::size_t n = std::min(rest.size(), static_cast<std::size_t>(size));
        std::memcpy(buffer, rest.data(), n);
        rest.remove_prefix(n);
        return static_cast<int>(n);
    }
    std::string_view rest;
};

struct FileSource : Source {
    explicit FileSource(int fd) : fd(fd) {}
    ~FileSource() override { ::close(fd); }
    int Read(char* buffer, int size) override {
        for (;;) {
            const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(size));
            if (n >= 0) return static_cast<int>(n);
            if (errno == EINTR) continue;
            error = errno;
            return -1;
        }
    }
    int fd;
    int error = 0;
};

// The bytes of another source, or their UTF-8 when they are a UTF-16, UCS-4 or EBCDIC document
// (XmlUtf16Reader, XmlIconvReader): the first bytes are read at once to tell.
struct Utf16Source : Source {
    explicit Utf16Source(Source& inner) : inner(inner) {
        head.resize(XmlUtf16Reader::HeadSize);
        std::size_t got = 0;
        while (got < head.size()) {
            const int n = inner.Read(head.data() + got, static_cast<int>(head.size() - got));
            if (n <= 0) {
                failed = n < 0;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        head.resize(got);
        other = XmlIconvReader::ForDocument(head);
        if (!other) reader = XmlUtf16Reader::ForDocument(head);
        if (Utf16()) {
            std::string utf8;
            Feed(head, utf8);
            head = std::move(utf8);
        }
    }
    // Whether the document is read as its UTF-8 (UTF-16, UCS-4, EBCDIC).
    bool Utf16() const { return reader.has_value() || other.has_value(); }
    void Feed(std::string_view bytes, std::string& out) {
        if (reader)
            reader->Feed(bytes, out);
        else
            other->Feed(bytes, out);
    }
    int Read(char* buffer, int size) override {
        while (given == head.size()) {
            if (failed) return -1;
            head.clear();
            given = 0;
            std::string piece(1 << 16, '\0');
            const int n = inner.Read(piece.data(), static_cast<int>(piece.size()));
            if (n <= 0) return n;
            piece.resize(static_cast<std::size_t>(n));
            if (Utf16())
                Feed(piece, head);
            else
                head = std::move(piece);
        }
        const std::size_t n = std::min(head.size() - given, static_cast<std::size_t>(size));
        std::memcpy(buffer, head.data() + given, n);
        given += n;
        return static_cast<int>(n);
    }
    Source& inner;
    std::optional<XmlUtf16Reader> reader;
    std::optional<XmlIconvReader> other;
    std::string head; // bytes read and not yet given
    std::size_t given = 0;
    bool failed = false;
};

// The bytes of another source with its tags of many attributes split (XmlTagSplitter).
struct SplittingSource : Source {
    SplittingSource(Source& inner, XmlTagSplitter splitter) : inner(inner), splitter(std::move(splitter)) {}
    int Read(char* buffer, int size) override {
        while (given == ready.size() && !ended) {
            ready.clear();
            given = 0;
            piece.resize(1 << 16);
            const int n = inner.Read(piece.data(), static_cast<int>(piece.size()));
            if (n < 0) return -1;
            if (n == 0) {
                splitter.Finish(ready);
                ended = true;
            } else {
                splitter.Feed(std::string_view(piece.data(), static_cast<std::size_t>(n)), ready);
            }
        }
        const std::size_t n = std::min(ready.size() - given, static_cast<std::size_t>(size));
        std::memcpy(buffer, ready.data() + given, n);
        given += n;
        return static_cast<int>(n);
    }
    Source& inner;
    XmlTagSplitter splitter;
    std::string piece;
    std::string ready; // split bytes not yet given to the parser
    std::size_t given = 0;
    bool ended = false;
};

XmlStreamResult Stream(Source& plain, XmlStreamHandler& handler) {
    Utf16Source utf16(plain);
    SplittingSource source(utf16, utf16.Utf16() ? XmlTagSplitter::OfUtf8() : XmlTagSplitter());
    InitLibrary();
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = XmlStreamParser::StartElement;
    sax.endElementNs = XmlStreamParser::EndElement;
    sax.characters = XmlStreamParser::Characters;
    sax.ignorableWhitespace = XmlStreamParser::Characters;
    sax.cdataBlock = XmlStreamParser::CData;
    sax.comment = XmlStreamParser::Comment;
    sax.processingInstruction = XmlStreamParser::ProcessingInstruction;
    RefuseEntities(sax);
    // The source is the parser's until it is freed; this function keeps it alive meanwhile.
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(
        xmlCreateIOParserCtxt(&sax, nullptr, Source::Callback, Source::Close, &source,
                              XML_CHAR_ENCODING_NONE),
        xmlFreeParserCtxt);
    if (!ctxt) throw XmlError("Недостатньо пам'яті для аналізатора XML");
    XmlStreamParser parser(handler, source.splitter.splits);
    ctxt->_private = static_cast<ParseState*>(&parser);
    // UTF-16 comes as UTF-8: the declaration's encoding no longer holds (as XmlDocument reads it).
    xmlCtxtUseOptions(ctxt.get(), kParseOptions | (utf16.Utf16() ? XML_PARSE_IGNORE_ENC : 0));
    if (utf16.Utf16()) xmlSwitchToEncoding(ctxt.get(), xmlFindCharEncodingHandler("UTF-8"));
    xmlParseDocument(ctxt.get());
    // The parser makes a document of its own for some declarations; the context does not free it.
    if (ctxt->myDoc) {
        xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
    }
    if (parser.failure) std::rethrow_exception(parser.failure);
    XmlStreamResult result;
    if (!ctxt->wellFormed || parser.entityRefused)
        ParseFailure(ctxt.get(), parser, result.reason, result.line);
    return result;
}

} // namespace

XmlStreamResult StreamXmlText(std::string_view text, XmlStreamHandler& handler) {
    TextSource source(text);
    return Stream(source, handler);
}

XmlStreamResult StreamXmlFile(const std::string& path, XmlStreamHandler& handler) {
    XmlStreamResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.reason = CannotOpenText(path, errno);
        result.fileError = true;
        return result;
    }
    FileSource source(fd);
    result = Stream(source, handler);
    // A file that breaks off unread is told as such, not as a fault of its structure.
    if (source.error != 0) {
        result.reason = CannotReadText(path, source.error);
        result.line = 0;
        result.fileError = true;
    }
    return result;
}

} // namespace platform
