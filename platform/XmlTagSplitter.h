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
// A document type declaration passes on whole; the attributes it declares of another type than CDATA
// have their values' blanks collapsed as the parser collapses them. A document the splitter cannot read
// safely as bytes (other than UTF-8 or an 8-bit code page with ASCII in its lower half; XmlUtf16Reader
// turns UTF-16 into UTF-8), or whose document type holds what the splitter does not read (parameter
// entities), passes on whole; so do tags and document types longer than MaxTagBytes.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <set>
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

    // The UTF-8 of each byte above 0x7F of the document's 8-bit code page (empty for a byte it leaves
    // unassigned, and for every byte of a code page the system does not know: such tags go on whole).
    using HighBytes = std::array<std::string, 128>;
    // Attribute names by element name.
    using TokenizedAttributes = std::map<std::string, std::set<std::string, std::less<>>, std::less<>>;

    // A tag given on with its first attributes only.
    struct Split {
        std::size_t ordinal; // of the tag among the start tags the parser gets, from 0
        // The attributes taken out, in their order: names, and values as the parser hands them on.
        std::vector<std::pair<std::string, std::string>> attributes;
    };

    // A splitter of a document whose bytes are UTF-8 whatever its declaration says (XmlUtf16Reader's).
    static XmlTagSplitter OfUtf8();

    // The encoding an XML declaration names; empty when it names none.
    static std::string_view DeclaredEncoding(std::string_view declaration);

    // The next bytes of the document; what may go on to the parser is appended to `out`.
    void Feed(std::string_view bytes, std::string& out);
    // The end of the document: the rest goes on.
    void Finish(std::string& out);

    // The tags split so far, in order; the read takes them from the front.
    std::deque<Split> splits;

private:
    enum class State : unsigned char { Start, Text, Until, Tag, Doctype, Off };

    void Process(bool atEnd, std::string& out);
    // Each answers whether it could go on without more bytes.
    bool Begin(bool atEnd);
    bool Markup(bool atEnd, std::string& out);
    bool Until(std::string& out);
    bool Tag(bool atEnd, std::string& out);
    bool Doctype(bool atEnd, std::string& out);
    // A whole start tag (from '<' to '>').
    void StartTag(std::string_view tag, std::string& out);

    State state = State::Start;
    // The document's 8-bit code page; none for UTF-8.
    std::optional<HighBytes> highBytes;
    // Attributes a document type declares of another type than CDATA, by element: the parser collapses the
    // blanks of their values, and the splitter does so too.
    TokenizedAttributes tokenized;
    // The document type declaration being read: how far, and where in it.
    struct DoctypeScan {
        std::size_t scanned = 0;
        char quote = 0;
        bool subset = false;
        std::string_view closer; // of a comment or processing instruction in the subset
    } doctype;
    std::string pending;        // bytes not yet passed on
    std::size_t at = 0;         // the first byte of `pending` not yet judged
    std::string_view closer;    // what ends the markup being passed on (State::Until)
    std::size_t tagScanned = 0; // bytes of the start tag being read looked at so far
    char tagQuote = 0;          // the quote of the attribute value they end in, 0 for none
    std::size_t tagValues = 0;  // the quoted values among them: one an attribute
    std::size_t ordinal = 0;    // start tags given on
};

} // namespace platform
