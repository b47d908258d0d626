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

} // namespace platform
