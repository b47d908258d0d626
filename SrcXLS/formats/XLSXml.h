// The XML of package parts: a forward-only tokenizer that scans the bytes of
// a whole part held in memory and reports tags, attributes and element text
// as spans of it, and a writer that appends markup to an 8-bit buffer with a
// stack of open tags. Texts stay UTF-8 with their references until a reader
// takes them as text; the writer escapes every text and attribute value.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

// Character references of any length ("&#1053;", "&#x41;"), the XML entities
// and the Latin-1 names of the entity table, resolved once from left to right.
std::u16string XMLDecodeEntities(std::u16string_view text);
// Raw UTF-8 text of a part to a wide string with its references resolved.
std::u16string XMLDecodeText(std::string_view raw);
// The same, staying UTF-8.
std::string XMLDecodeTextUtf8(std::string_view raw);
// '"', '&', '<' and '>' escaped; every other character as it is (with
// whiteSpaceRefs line ends and tabs as references, which attribute values
// keep).
std::string XMLEncodeText(std::string_view utf8);
void XMLAppendEscaped(std::string& out, std::string_view utf8, bool whiteSpaceRefs = false);
// Cell texts ("_x000D_" escapes of the package format): decoding and
// encoding of the characters XML cannot carry.
std::u16string DecodeXString(std::u16string_view text);
std::string EncodeXString(std::u16string_view text);
// The one escape of a text of the model in a package part, attribute or
// element: what XML 1.0 cannot carry (and a carriage return, and half of a
// character made of two) in the package's "_xHHHH_" form where the part
// reads it (XString), else replaced by U+FFFD and counted in replaced
// (line ends and tabs stay, as references); then '"', '&', '<', '>'.
enum class TPackageText : uint8_t { XString, Plain };
void AppendPackageText(std::string& out, std::u16string_view text, TPackageText kind = TPackageText::XString,
                       int* replaced = nullptr);
std::string PackageText(std::u16string_view text, TPackageText kind = TPackageText::XString,
                        int* replaced = nullptr);
// The plain escape of UTF-8 text (formulas); PackageCarries: whether it
// holds nothing that the escape replaces.
void AppendPackageUtf8(std::string& out, std::string_view utf8, int* replaced = nullptr);
bool PackageCarries(std::string_view utf8);
// Whether the character at i of a text goes into a part as it stands (a
// character XML 1.0 has, not half of one made of two).
bool PackageCarriesAt(std::u16string_view text, size_t i);
// A cell text as an element (<t>, <v>) through the package's escape, blanks
// at either end kept.
void AppendTextElement(std::string& out, std::string_view tag, std::u16string_view text);
// Hexadecimal digits of the text, upper or lower case; others are skipped.
uint32_t HexToInt(std::string_view text);

// The shortest text that reads back as the same double ("0.1", "1E+20");
// false for NaN and infinities, which have no text in a part.
bool AppendXMLNumber(std::string& out, double value);
void AppendXMLInt(std::string& out, int64_t value);

class TXLSXmlReader {
public:
    enum TTagKind : uint8_t { tkNone = 0, tkStart = 1, tkEnd = 2, tkEmpty = 3, tkProlog = 4 };
    static constexpr int MaxDepth = 256;

    virtual ~TXLSXmlReader() = default;

    // Gives up to n more bytes of a part read in pieces; 0 at its end.
    using TPieceSource = std::function<size_t(char* to, size_t n)>;

    // Attaches a part; the bytes must outlive the reading. A UTF-16 part is
    // converted to UTF-8 first.
    void SetSource(std::string_view data);
    // Attaches a part that arrives in pieces of about pieceSize bytes: the
    // buffer holds the token being read and what follows it, not the part.
    // A UTF-16 part is converted piece by piece. A text longer than
    // MaxBufferedToken is read as it arrives: it keeps its first
    // MaxTextBytes bytes (more than any cell holds), runs of blanks in it
    // their first MaxBlankRun bytes, and comments in it are passed over as
    // they come; a tag longer than MaxTagBytes is refused.
    void SetSource(TPieceSource fill, size_t pieceSize);
    static constexpr size_t MaxTextBytes = size_t(1) << 20;
    static constexpr size_t MaxBlankRun = size_t(128) << 10;
    static constexpr size_t MaxTagBytes = size_t(16) << 20;
    size_t MaxBufferedToken = size_t(2) << 20;
    // One token: false when the part ends before a complete tag.
    bool ReadNextTag();
    // Remembers the part's name for messages and reads it to its end.
    void ParseDocument(std::string_view name);
    const std::string& DocumentName() const { return documentName; }
    size_t Position() const { return dropped + pos; }

    TTagKind TagKind = tkNone;
    std::string_view TagName;
    // Raw text between a start tag and its first child or end tag.
    std::string_view Text;
    int Level = 0;
    // Elements left out for their nesting past MaxDepth, with all they hold.
    int64_t CutElements = 0;
    // xml:space="preserve" on the last start tag.
    bool Preserve = false;

protected:
    virtual void OnBeginTag(std::string_view /*name*/, std::string_view /*text*/, bool /*isEmpty*/) {}
    virtual void OnEndTag(std::string_view /*name*/) {}
    virtual void OnAttribute(std::string_view /*name*/, std::string_view /*value*/) {}
    // The last text was joined around comments or CDATA into a buffer that
    // the next text overwrites.
    bool TextWasJoined() const { return joined; }
    // The bytes of a part read in pieces are about to move or go: views into
    // them that must outlive the current token are copied now.
    virtual void OnBufferMoving(std::string_view /*bytes*/) {}

private:
    enum TStep : uint8_t { stEnd, stToken, stMore };
    TStep ReadToken();
    bool SkipMarkup(); // at "<!" or "<?": comment, PI, CDATA outside text
    // The text from textStart (after a start tag at pos) read as it arrives
    // into textBuf; pos stays on the tag, which moves to the buffer's start.
    // Answers where the text ends.
    size_t StreamText(size_t textStart);
    // Appends raw text to textBuf within the bounds of a streamed text.
    void AppendBounded(std::string_view raw);
    size_t Find(std::string_view what, size_t from) const;
    void ParseAttributes(std::string_view attrs);
    std::string_view ReadText();
    // Whether the text from the position can be read without more bytes.
    bool TextComplete(size_t from) const;
    // Whether the markup at lt can be told apart without more bytes.
    bool Lookahead(size_t lt) const { return atEnd || lt + 9 <= src.size(); }
    // Keeps the bytes from pos on and appends the next piece; false at the
    // part's end.
    bool Refill();
    [[noreturn]] static void TagTooLong();

    std::string_view src;
    size_t pos = 0;
    TPieceSource fill;
    std::string pieces; // the part read in pieces: the bytes from the token being read on
    size_t pieceSize = 0;
    size_t dropped = 0; // bytes of the part before the buffer
    bool atEnd = true;
    std::string converted; // a UTF-16 part as UTF-8
    std::string textBuf;   // element text joined around comments and CDATA
    bool joined = false;
    size_t blankRun = 0;        // blanks at the end of a streamed text
    int cutLevel = 0;           // the level of the element being left out, 0 when none
    bool markupRefused = false; // a streamed text met a document type declaration
    std::string_view skipClose; // the end of a comment, PI or CDATA being passed over
    std::string documentName;
};

class TXLSXmlWriter {
public:
    std::string& Buffer() { return out; }
    void Clear();
    void WriteXMLHeader();
    void WriteRaw(std::string_view text) { out += text; }
    void BeginTag(std::string_view tag);
    void BeginTagRawAttrs(std::string_view tag, std::string_view attributeText);
    // With the pending attributes, which are then emptied.
    void BeginTagWithAttrs(std::string_view tag);
    void WriteEmptyTagWithAttrs(std::string_view tag);
    void WriteEmptyTagText(std::string_view tag, std::string_view attributeText);
    void EndTag();
    // "<tag>text</tag>" with the text escaped; xml:space="preserve" when it
    // starts or ends with a blank.
    void WriteTextTag(std::string_view tag, std::string_view utf8);
    void WriteSimpleTag(std::string_view tag, std::string_view utf8);

    void ClearAttributes() { attributes.clear(); }
    void AddAttrInt(bool write, std::string_view name, int64_t value);
    void AddAttrBool(bool write, std::string_view name, bool value);
    void AddAttrFloat(bool write, std::string_view name, double value);
    // The value is escaped.
    void AddAttrStr(bool write, std::string_view name, std::string_view utf8);

    void WriteValBool(std::string_view tag, bool value);
    void WriteValStr(std::string_view tag, std::string_view utf8);
    // A text of the model through the package's escape.
    void WriteValText(std::string_view tag, std::u16string_view text);
    void WriteValInt(std::string_view tag, int64_t value);
    void WriteValFloat(std::string_view tag, double value);

    int OpenTags() const { return int(stack.size()); }
    // Raises "Tag stack not empty: " with the open tags when a part ends open.
    void CheckClosed() const;

private:
    std::string out;
    std::vector<std::string> stack;
    std::string attributes;
};

} // namespace xls
