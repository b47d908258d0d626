// UTF-16 XML documents handed to the parser as UTF-8: libxml2 checks a tag's attributes against one another
// in UTF-16 as in any encoding, and only UTF-8 text can go through XmlTagSplitter, which keeps that linear.
// A document is taken for UTF-16 where the parser would take it so (a byte-order mark, or "<?" in either
// byte order) and its declaration, if any, names UTF-16; the parser then ignores the declared encoding.
// Decoding stops before a high surrogate without its low one, where the parser's own decoding ends the
// input too, and before U+0000, which no document holds; a low one alone goes on as a character (the parser
// refuses it where it stands), and a last odd byte is dropped, as the parser drops it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class XmlUtf16Reader {
public:
    // The reader for a document whose first bytes are `head` (at least HeadSize of them, or the whole
    // document); nothing when it is not UTF-16 as above.
    static constexpr std::size_t HeadSize = 1024;
    static std::optional<XmlUtf16Reader> ForDocument(std::string_view head);

    // The UTF-8 of the next bytes, appended to `out`; nothing more once a sequence was no UTF-16.
    void Feed(std::string_view bytes, std::string& out);
    // The whole document as UTF-8.
    static std::string Decode(XmlUtf16Reader reader, std::string_view bytes);

private:
    explicit XmlUtf16Reader(bool bigEndian, std::size_t skip) : bigEndian(bigEndian), skip(skip) {}
    void Unit(char16_t unit, std::string& out);

    bool bigEndian;
    std::size_t skip;        // bytes of the byte-order mark still to drop
    unsigned char first = 0; // the first byte of a unit
    bool odd = false;        // waiting for its second
    char16_t high = 0;       // a high surrogate waiting for its low one
    bool broken = false;     // a sequence was no UTF-16: nothing more is decoded
};

// UCS-4 (either byte order, with its byte-order mark or without) and EBCDIC documents handed to the parser as
// UTF-8, for the same reason. The encoding is told from the first four bytes, as the parser tells it; a UCS-4
// document whose declaration names another encoding is left to the parser, and an EBCDIC one is read in the
// code page its declaration names (IBM037 where it names none iconv knows). Decoding stops at the first bytes
// that are no character of the encoding; bytes of a character the document's end cuts are dropped.
class XmlIconvReader {
public:
    static std::optional<XmlIconvReader> ForDocument(std::string_view head);
    XmlIconvReader(XmlIconvReader&& other) noexcept;
    XmlIconvReader& operator=(XmlIconvReader&& other) noexcept;
    XmlIconvReader(const XmlIconvReader&) = delete;
    XmlIconvReader& operator=(const XmlIconvReader&) = delete;
    ~XmlIconvReader();

    void Feed(std::string_view bytes, std::string& out);
    static std::string Decode(XmlIconvReader reader, std::string_view bytes);

private:
    XmlIconvReader(void* converter, std::size_t skip) : converter(converter), skip(skip) {}

    void* converter; // iconv_t to UTF-8
    std::size_t skip;
    std::string carry; // the bytes of a character not yet whole
    bool broken = false;
};

} // namespace platform
