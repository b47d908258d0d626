// Start tags with a great many attributes, as the streamed XML read hands them to libxml2: its parser
// compares every attribute of a tag with every other for repeats and keeps every name in a dictionary
// of bounded size, so one tag costs the square of its attributes. The splitter passes a document on byte
// for byte but for such tags, which go on with their first attributes only; it takes the others out
// itself, as the parser would hand them on, and the read joins them to the tag again. The line breaks
// among them stay in the tag, so the parser's lines stay those of the document.
//
// Only tags the parser would take without a word are split: plain names, values without anything the
// parser refuses. A repeated name is the one fault it lets through: the parser gets the last repeat and
// its first occurrence last in the tag, where it tells them, so its verdict stays that on the document.
// A document the splitter cannot read safely as bytes (other than UTF-8 or an 8-bit code page with
// ASCII in its lower half, or one with a document type declaration) passes on whole; so do tags longer
// than MaxTagBytes.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class XmlTagSplitter {
public:
    // Attributes the parser gets of a split tag.
    static constexpr std::size_t PartSize = 32;
    static constexpr std::size_t MaxTagBytes = std::size_t(64) << 20;

    // What the bytes of names and values above 0x7F are: UTF-8, Windows-1251, or another 8-bit code page
    // (where the splitter leaves such tags whole).
    enum class Encoding : unsigned char { Utf8, Windows1251, Other };

    // A tag given on with its first attributes only.
    struct Split {
        std::size_t ordinal; // of the tag among the start tags the parser gets, from 0
        // The attributes taken out, in their order: names, and values as the parser hands them on.
        std::vector<std::pair<std::string, std::string>> attributes;
    };

    // The next bytes of the document; what may go on to the parser is appended to `out`.
    void Feed(std::string_view bytes, std::string& out);
    // The end of the document: the rest goes on.
    void Finish(std::string& out);

    // The tags split so far, in order; the read takes them from the front.
    std::deque<Split> splits;

private:
    enum class State : unsigned char { Start, Text, Until, Tag, Off };

    void Process(bool atEnd, std::string& out);
    // Each answers whether it could go on without more bytes.
    bool Begin(bool atEnd);
    bool Markup(bool atEnd, std::string& out);
    bool Until(std::string& out);
    bool Tag(bool atEnd, std::string& out);
    // A whole start tag (from '<' to '>').
    void StartTag(std::string_view tag, std::string& out);

    State state = State::Start;
    Encoding encoding = Encoding::Utf8;
    std::string pending;        // bytes not yet passed on
    std::size_t at = 0;         // the first byte of `pending` not yet judged
    std::string_view closer;    // what ends the markup being passed on (State::Until)
    std::size_t tagScanned = 0; // bytes of the start tag being read looked at so far
    char tagQuote = 0;          // the quote of the attribute value they end in, 0 for none
    std::size_t tagValues = 0;  // the quoted values among them: one an attribute
    std::size_t ordinal = 0;    // start tags given on
};

} // namespace platform
