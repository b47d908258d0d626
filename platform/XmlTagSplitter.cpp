#include "platform/XmlTagSplitter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/CodePages.h"

namespace platform {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What the scan of a start tag stops at: a quote or its end.
constexpr std::array<bool, 256> kTagMarks = [] {
    std::array<bool, 256> marks{};
    marks['"'] = marks['\''] = marks['>'] = true;
    return marks;
}();

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Names are taken for plain in ASCII only: the parser's rules for other letters are its own.
bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameByte(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A name as IsNameStart and IsNameByte allow it, with one prefix where `prefixed`.
bool IsPlainName(std::string_view name, bool prefixed) {
    const std::size_t colon = prefixed ? name.find(':') : std::string_view::npos;
    if (colon != std::string_view::npos)
        return IsPlainName(name.substr(0, colon), false) && IsPlainName(name.substr(colon + 1), false);
    if (name.empty() || !IsNameStart(name[0])) return false;
    return std::all_of(name.begin(), name.end(), IsNameByte);
}

// A character XML allows in a document.
bool IsXmlChar(unsigned long c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The reference at the start of `text` ("&amp;", "&#1046;", "&#x416;"): its length and the text it
// stands for; a length of 0 when it is none the parser takes without a word (other entities are
// undefined here).
struct Reference {
    std::size_t length = 0;
    unsigned long code = 0;
};

Reference ReferenceAt(std::string_view text) {
    const std::pair<std::string_view, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}};
    for (const auto& [entity, c] : entities)
        if (StartsWith(text, entity)) return {entity.size(), static_cast<unsigned long>(c)};
    if (!StartsWith(text, "&#")) return {};
    const bool hex = text.size() > 2 && text[2] == 'x';
    std::size_t i = hex ? 3 : 2;
    unsigned long code = 0;
    const std::size_t digits = i;
    // Eight digits reach past the last character already.
    for (; i < text.size() && i < digits + 8; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == digits || i >= text.size() || text[i] != ';' || !IsXmlChar(code)) return {};
    return {i + 1, code};
}

std::size_t ReferenceLength(std::string_view text) {
    return ReferenceAt(text).length;
}

std::string ReferenceText(std::string_view reference) {
    std::string text;
    AppendUtf8(text, static_cast<char32_t>(ReferenceAt(reference).code));
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Encodings (named in lower case) whose every byte below 0x80 is the ASCII character: '<', '>', quotes and
// blanks are those bytes wherever they stand.
bool AsciiBased(const std::string& e) {
    for (std::string_view name : {"utf-8", "utf8", "us-ascii", "ascii", "cp866", "ibm866"})
        if (e == name) return true;
    for (std::string_view prefix : {"windows-125", "cp125", "iso-8859-", "koi8-"})
        if (StartsWith(e, prefix)) return true;
    return false;
}

// The UTF-8 of the bytes above 0x7F in the 8-bit code page iconv knows by `name`.
XmlTagSplitter::HighBytes HighBytesOf(const std::string& name) {
    XmlTagSplitter::HighBytes high{};
    if (const auto characters = IconvHighHalf(name))
        for (std::size_t b = 0; b < high.size(); ++b)
            if ((*characters)[b] != 0) AppendUtf8(high[b], (*characters)[b]);
    return high;
}

// What a document type's internal subset declares: attributes of another type than CDATA by element (the
// first declaration of an attribute binds); false when it holds what this does not read (a parameter
// entity, a declaration it cannot follow).
class SubsetReader {
public:
    SubsetReader(std::string_view text, XmlTagSplitter::TokenizedAttributes& tokenized)
        : text(text), tokenized(tokenized) {}

    bool Read() {
        for (;;) {
            Blanks();
            if (at >= text.size()) return true;
            if (Skip("<!--", "-->") || Skip("<?", "?>")) continue;
            if (text.substr(at, 9) == "<!ATTLIST") {
                at += 9;
                if (!Attlist()) return false;
            } else if (text.substr(at, 2) == "<!") {
                if (!Declaration()) return false;
            } else {
                return false;
            }
        }
    }

private:
    void Blanks() {
        while (at < text.size() && IsSpace(text[at])) ++at;
    }
    bool Skip(std::string_view open, std::string_view close) {
        if (text.substr(at, open.size()) != open) return false;
        const std::size_t end = text.find(close, at + open.size());
        at = end == std::string_view::npos ? text.size() : end + close.size();
        return true;
    }
    std::string_view Word() {
        const std::size_t start = at;
        while (at < text.size() && !IsSpace(text[at]) && text[at] != '>' && text[at] != '(' &&
               text[at] != '%' && text[at] != '"' && text[at] != '\'')
            ++at;
        return text.substr(start, at - start);
    }
    bool Quoted() {
        if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return false;
        const std::size_t end = text.find(text[at], at + 1);
        if (end == std::string_view::npos) return false;
        at = end + 1;
        return true;
    }
    bool Parenthesised() {
        if (at >= text.size() || text[at] != '(') return false;
        const std::size_t end = text.find(')', at);
        if (end == std::string_view::npos) return false;
        at = end + 1;
        return true;
    }
    // Another markup declaration, passed over: quoted texts may hold '>'.
    bool Declaration() {
        for (at += 2; at < text.size();) {
            if (text[at] == '%') return false;
            if (text[at] == '>') {
                ++at;
                return true;
            }
            if (text[at] == '"' || text[at] == '\'') {
                if (!Quoted()) return false;
            } else {
                ++at;
            }
        }
        return false;
    }
    bool Attlist() {
        Blanks();
        const std::string element(Word());
        if (element.empty()) return false;
        for (;;) {
            Blanks();
            if (at >= text.size()) return false;
            if (text[at] == '>') {
                ++at;
                return true;
            }
            const std::string name(Word());
            Blanks();
            bool special = true;
            if (at < text.size() && text[at] == '(') {
                if (!Parenthesised()) return false;
            } else {
                const std::string_view type = Word();
                special = type != "CDATA";
                Blanks();
                if (type == "NOTATION" && !Parenthesised()) return false;
                if (type.empty()) return false;
            }
            Blanks();
            const std::string_view preset = at < text.size() && text[at] == '#' ? Word() : std::string_view();
            Blanks();
            if ((preset.empty() || preset == "#FIXED") && !Quoted()) return false;
            if (preset != "" && preset != "#FIXED" && preset != "#REQUIRED" && preset != "#IMPLIED")
                return false;
            if (name.empty()) return false;
            // The first declaration of an attribute binds.
            if (declared[element].insert(name).second && special) tokenized[element].insert(name);
        }
    }

    std::string_view text;
    std::size_t at = 0;
    XmlTagSplitter::TokenizedAttributes& tokenized;
    std::map<std::string, std::set<std::string>> declared;
};

// A value of a declared attribute of another type than CDATA as the parser hands it on: blanks at its ends
// dropped, runs of blanks one.
std::string CollapseBlanks(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

} // namespace

std::string_view XmlTagSplitter::DeclaredEncoding(std::string_view declaration) {
    const std::size_t key = declaration.find("encoding");
    if (key == std::string_view::npos) return {};
    std::size_t i = key + 8;
    while (i < declaration.size() && IsSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') return {};
    ++i;
    while (i < declaration.size() && IsSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return {};
    const std::size_t end = declaration.find(declaration[i], i + 1);
    if (end == std::string_view::npos) return {};
    return declaration.substr(i + 1, end - i - 1);
}

namespace {

// One attribute of a tag: the blanks before it, then name="value".
struct Attribute {
    std::size_t blanks; // where its blanks begin
    std::size_t name;   // where its name begins
    std::size_t nameEnd;
    std::size_t end; // after the closing quote
};

// A start tag read as the splitter takes it: name, attributes, blanks before its end, whether it is
// empty ("/>"). `plain` is false for anything else, which goes on whole.
struct ReadTag {
    bool plain = false;
    std::size_t nameEnd = 0;
    std::vector<Attribute> attributes;
    std::size_t trailing = 0; // where the blanks before "/>" or ">" begin
    bool empty = false;
};

// A value the parser takes without a word: no '<', no control character, only the references it knows,
// and only characters of the document's code page (`high` for an 8-bit one, UTF-8 without it).
bool IsPlainValue(std::string_view value, const XmlTagSplitter::HighBytes* high) {
    bool beyondAscii = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c == '<' || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) return false;
        if (c == '&') {
            const std::size_t length = ReferenceLength(value.substr(i));
            if (length == 0) return false;
            i += length - 1;
        }
        if (c < 0x80) continue;
        beyondAscii = true;
        if (high != nullptr && (*high)[c - 0x80].empty()) return false;
    }
    // U+FFFE and U+FFFF are no characters of XML.
    return !beyondAscii || high != nullptr ||
           (IsUtf8(value) && value.find("\xEF\xBF\xBE") == std::string_view::npos &&
            value.find("\xEF\xBF\xBF") == std::string_view::npos);
}

ReadTag Read(std::string_view tag, const XmlTagSplitter::HighBytes* high) {
    ReadTag read;
    std::size_t i = 1;
    while (i < tag.size() && !IsSpace(tag[i]) && tag[i] != '/' && tag[i] != '>') ++i;
    if (!IsPlainName(tag.substr(1, i - 1), true)) return read;
    read.nameEnd = i;
    for (;;) {
        const std::size_t blanks = i;
        while (i < tag.size() && IsSpace(tag[i])) ++i;
        if (i >= tag.size()) return read;
        if (tag[i] == '>' || tag[i] == '/') {
            read.empty = tag[i] == '/';
            if (i + (read.empty ? 2 : 1) != tag.size() || tag.back() != '>') return read;
            read.trailing = blanks;
            read.plain = true;
            return read;
        }
        if (i == blanks || !IsNameStart(tag[i])) return read;
        Attribute a{blanks, i, 0, 0};
        while (i < tag.size() && IsNameByte(tag[i])) ++i;
        a.nameEnd = i;
        // Namespaces and prefixed names are the parser's own to judge.
        if (tag.substr(a.name, a.nameEnd - a.name) == "xmlns") return read;
        while (i < tag.size() && IsSpace(tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') return read;
        ++i;
        while (i < tag.size() && IsSpace(tag[i])) ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) return read;
        const std::size_t close = tag.find(tag[i], i + 1);
        if (close == std::string_view::npos || !IsPlainValue(tag.substr(i + 1, close - i - 1), high))
            return read;
        i = close + 1;
        a.end = i;
        read.attributes.push_back(a);
    }
}

std::string_view NameOf(std::string_view tag, const Attribute& a) {
    return tag.substr(a.name, a.nameEnd - a.name);
}

// A plain value (IsPlainValue) as the parser hands it on: UTF-8, each line break (CR LF as one), tab
// and blank a blank, references replaced.
std::string DecodeValue(std::string_view raw, const XmlTagSplitter::HighBytes* high) {
    std::string utf8;
    for (char c : raw) {
        if (high != nullptr && static_cast<unsigned char>(c) >= 0x80)
            utf8 += (*high)[static_cast<unsigned char>(c) - 0x80];
        else
            utf8 += c;
    }
    std::string value;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' || c == '\n' || c == '\t') {
            value += ' ';
            if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
        } else if (c == '&') {
            const std::size_t length = ReferenceLength(std::string_view(utf8).substr(i));
            value.append(ReferenceText(std::string_view(utf8).substr(i, length)));
            i += length - 1;
        } else {
            value += c;
        }
    }
    return value;
}

} // namespace

XmlTagSplitter XmlTagSplitter::OfUtf8() {
    XmlTagSplitter splitter;
    splitter.state = State::Text;
    return splitter;
}

void XmlTagSplitter::Feed(std::string_view bytes, std::string& out) {
    if (state == State::Off && pending.empty()) {
        out.append(bytes);
        return;
    }
    pending.append(bytes);
    Process(false, out);
}

void XmlTagSplitter::Finish(std::string& out) {
    Process(true, out);
    out.append(pending, at);
    pending.clear();
    at = 0;
}

void XmlTagSplitter::Process(bool atEnd, std::string& out) {
    for (bool more = true; more && at < pending.size();) {
        switch (state) {
        case State::Start:
            more = Begin(atEnd);
            break;
        case State::Text: {
            const std::size_t lt = pending.find('<', at);
            const std::size_t textEnd = lt == std::string::npos ? pending.size() : lt;
            out.append(pending, at, textEnd - at);
            at = textEnd;
            more = at < pending.size() && Markup(atEnd, out);
            break;
        }
        case State::Until:
            more = Until(out);
            break;
        case State::Tag:
            more = Tag(atEnd, out);
            break;
        case State::Doctype:
            more = Doctype(atEnd, out);
            break;
        case State::Off:
            out.append(pending, at);
            at = pending.size();
            break;
        }
    }
    pending.erase(0, at);
    at = 0;
}

bool XmlTagSplitter::Begin(bool atEnd) {
    std::string_view rest = std::string_view(pending).substr(at);
    const std::string_view bom = "\xEF\xBB\xBF";
    if (rest.size() < bom.size() + 6 && !atEnd) return false;
    if (StartsWith(rest, bom)) rest.remove_prefix(bom.size());
    if (StartsWith(rest, "<?xml") && rest.size() > 5 && IsSpace(rest[5])) {
        const std::size_t end = rest.find("?>");
        if (end == std::string_view::npos) {
            if (!atEnd && rest.size() < 1024) return false;
            state = State::Off;
            return true;
        }
        const std::string declared = Lower(DeclaredEncoding(rest.substr(0, end)));
        state = declared.empty() || AsciiBased(declared) ? State::Text : State::Off;
        if (!declared.empty() && declared != "utf-8" && declared != "utf8") highBytes = HighBytesOf(declared);
        return true;
    }
    // Without a declaration: UTF-8, unless the bytes say UTF-16 or another encoding.
    const bool ascii =
        !rest.empty() && (rest[0] == '<' || IsSpace(rest[0])) && (rest.size() < 2 || rest[1] != '\0');
    state = ascii ? State::Text : State::Off;
    return true;
}

bool XmlTagSplitter::Markup(bool atEnd, std::string& out) {
    const std::string_view rest = std::string_view(pending).substr(at);
    // "<![CDATA[" is the longest opening to tell.
    if (rest.size() < 9 && !atEnd) return false;
    if (StartsWith(rest, "<!--")) {
        closer = "-->";
    } else if (StartsWith(rest, "<![CDATA[")) {
        closer = "]]>";
    } else if (StartsWith(rest, "<?")) {
        closer = "?>";
    } else if (StartsWith(rest, "</")) {
        closer = ">";
    } else if (StartsWith(rest, "<!DOCTYPE")) {
        state = State::Doctype;
        doctype = DoctypeScan{};
        doctype.scanned = 9;
        return true;
    } else if (StartsWith(rest, "<!")) {
        // Markup the parser refuses: the rest goes on whole.
        state = State::Off;
        return true;
    } else {
        state = State::Tag;
        tagScanned = 1;
        tagQuote = 0;
        tagValues = 0;
        return true;
    }
    // The opening goes on now, so that a closer is never found inside it.
    const std::size_t opening = closer == ">" || closer == "?>" ? 2 : closer == "-->" ? 4 : 9;
    out.append(pending, at, opening);
    at += opening;
    state = State::Until;
    return true;
}

bool XmlTagSplitter::Until(std::string& out) {
    const std::size_t found = pending.find(closer, at);
    if (found == std::string::npos) {
        // All but the bytes that may begin the closer go on.
        const std::size_t keep = std::min(pending.size() - at, closer.size() - 1);
        out.append(pending, at, pending.size() - keep - at);
        at = pending.size() - keep;
        return false;
    }
    const std::size_t end = found + closer.size();
    out.append(pending, at, end - at);
    at = end;
    state = State::Text;
    return true;
}

bool XmlTagSplitter::Tag(bool atEnd, std::string& out) {
    // A tag ends at the first '>' outside a quoted value; its attributes are counted by their values.
    std::size_t i = at + tagScanned;
    bool closed = false;
    const char* bytes = pending.data();
    const std::size_t size = pending.size();
    while (i < size) {
        if (tagQuote != 0) {
            const void* quote = std::memchr(bytes + i, tagQuote, size - i);
            if (quote == nullptr) {
                i = size;
                break;
            }
            i = static_cast<std::size_t>(static_cast<const char*>(quote) - bytes) + 1;
            tagQuote = 0;
            continue;
        }
        while (i < size && !kTagMarks[static_cast<unsigned char>(bytes[i])]) ++i;
        if (i == size) break;
        if (bytes[i] == '>') {
            closed = true;
            break;
        }
        tagQuote = bytes[i++];
        ++tagValues;
    }
    tagScanned = i - at;
    if (!closed) {
        if (atEnd || tagScanned > MaxTagBytes) {
            // Unfinished, or too long to hold: it goes on whole, and so does the rest.
            state = State::Off;
            return true;
        }
        return false;
    }
    const std::string_view tag = std::string_view(pending).substr(at, i + 1 - at);
    if (tagValues <= PartSize) {
        out.append(tag);
        ++ordinal;
    } else {
        StartTag(tag, out);
    }
    at = i + 1;
    state = State::Text;
    return true;
}

bool XmlTagSplitter::Doctype(bool atEnd, std::string& out) {
    // The declaration ends at the first '>' outside quotes and its internal subset, where comments and
    // processing instructions may hold any character.
    const std::string_view rest = std::string_view(pending).substr(at);
    DoctypeScan& scan = doctype;
    std::size_t i = scan.scanned;
    bool closed = false;
    while (i < rest.size() && !closed) {
        if (!scan.closer.empty()) {
            const std::size_t end = rest.find(scan.closer, i);
            if (end == std::string_view::npos) {
                i = std::max(i, rest.size() - std::min(rest.size(), scan.closer.size() - 1));
                break;
            }
            i = end + scan.closer.size();
            scan.closer = {};
        } else if (scan.quote != 0) {
            const std::size_t end = rest.find(scan.quote, i);
            if (end == std::string_view::npos) {
                i = rest.size();
                break;
            }
            i = end + 1;
            scan.quote = 0;
        } else if (rest[i] == '"' || rest[i] == '\'') {
            scan.quote = rest[i++];
        } else if (scan.subset && rest[i] == '<') {
            if (rest.size() - i < 4 && !atEnd) break;
            scan.closer = StartsWith(rest.substr(i), "<!--") ? "-->"
                          : StartsWith(rest.substr(i), "<?") ? "?>"
                                                             : "";
            i += scan.closer.empty() ? 1 : 2;
        } else {
            scan.subset = rest[i] == '[' || (scan.subset && rest[i] != ']');
            closed = !scan.subset && rest[i] == '>';
            ++i;
        }
    }
    scan.scanned = i;
    if (!closed) {
        if (atEnd || i > MaxTagBytes) state = State::Off;
        return state == State::Off;
    }
    const std::string_view declaration = rest.substr(0, i);
    const std::size_t open = declaration.find('[');
    bool readable = true;
    if (open != std::string_view::npos) {
        const std::size_t close = declaration.rfind(']');
        readable = close != std::string_view::npos && close > open &&
                   SubsetReader(declaration.substr(open + 1, close - open - 1), tokenized).Read();
    }
    out.append(declaration);
    at += i;
    // A subset this does not read leaves the parser's verdict to the parser: the rest goes on whole.
    state = readable ? State::Text : State::Off;
    return true;
}

void XmlTagSplitter::StartTag(std::string_view tag, std::string& out) {
    const HighBytes* high = highBytes ? &*highBytes : nullptr;
    const ReadTag read = Read(tag, high);
    const std::size_t count = read.attributes.size();
    const std::size_t tagOrdinal = ordinal++;
    if (!read.plain || count <= PartSize) {
        out.append(tag);
        return;
    }
    // The attributes the parser gets: the first ones, and a repeated name's last repeat with its first
    // occurrence at the end, where the parser tells it.
    std::vector<bool> kept(count, false);
    std::unordered_map<std::string_view, std::size_t> first;
    std::size_t repeat = count;
    for (std::size_t k = 0; k < count; ++k) {
        const Attribute& a = read.attributes[k];
        if (!first.emplace(tag.substr(a.name, a.nameEnd - a.name), k).second) repeat = k;
    }
    const std::size_t repeated = repeat < count ? first.at(NameOf(tag, read.attributes[repeat])) : count;
    std::vector<std::size_t> given;
    for (std::size_t k = 0; k < count && given.size() < PartSize; ++k)
        if (k != repeat && k != repeated) given.push_back(k);
    if (repeat < count) given.insert(given.end(), {repeated, repeat});
    for (std::size_t k : given) kept[k] = true;
    Split split{tagOrdinal, {}};
    const auto special = tokenized.find(tag.substr(1, read.nameEnd - 1));
    std::string lineBreaks;
    for (std::size_t k = 0; k < count; ++k) {
        if (kept[k]) continue;
        const Attribute& a = read.attributes[k];
        for (char c : tag.substr(a.blanks, a.end - a.blanks))
            if (c == '\r' || c == '\n') lineBreaks += c;
        const std::size_t quote = tag.find_first_of("\"'", a.nameEnd);
        std::string value = DecodeValue(tag.substr(quote + 1, a.end - quote - 2), high);
        if (special != tokenized.end() && special->second.count(NameOf(tag, a)) != 0)
            value = CollapseBlanks(value);
        split.attributes.emplace_back(NameOf(tag, a), std::move(value));
    }
    out.append(tag.substr(0, read.nameEnd));
    for (std::size_t k : given) {
        const Attribute& a = read.attributes[k];
        out.append(tag.substr(a.blanks, a.end - a.blanks));
    }
    out.append(lineBreaks);
    out.append(tag.substr(read.trailing));
    splits.push_back(std::move(split));
}

} // namespace platform
