#include "SrcXLS/formats/XLSXml.h"

#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace xls {

// ---------------------------------------------------------------------------
// References

namespace {

// The named references a part may use: the five of XML and the Latin-1
// names, U+00A1 to U+00FF in code order.
constexpr std::array<std::string_view, 95> Latin1Names = {
    "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",
    "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34",
    "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave",
    "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve",
    "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",
    "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",
    "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute",
    "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

const std::unordered_map<std::string_view, uint32_t>& EntityTable() {
    static const auto table = [] {
        std::unordered_map<std::string_view, uint32_t> t;
        // "&nbsp;" stands for a plain blank in the parts this library reads.
        t = {{"nbsp", 0x20}, {"quot", 0x22}, {"amp", 0x26}, {"apos", 0x27}, {"lt", 0x3C}, {"gt", 0x3E}};
        for (size_t i = 0; i < Latin1Names.size(); ++i) t.emplace(Latin1Names[i], uint32_t(0xA1 + i));
        return t;
    }();
    return table;
}

// The code point of the reference whose name (between '&' and ';') is
// given; false for a name that stands for nothing.
bool ReferenceValue(std::string_view name, uint32_t& cp) {
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t v = 0;
        auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, hex ? 16 : 10);
        if (ec != std::errc() || p != digits.data() + digits.size()) return false;
        if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return false;
        cp = v;
        return true;
    }
    auto it = EntityTable().find(name);
    if (it == EntityTable().end()) return false;
    cp = it->second;
    return true;
}

} // namespace

namespace {
// XML reads a line end (CR LF, or a lone CR) as one LF.
std::string NormalizeLineEnds(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\r') {
            out += raw[i];
        } else if (i + 1 >= raw.size() || raw[i + 1] != '\n') {
            out += '\n';
        }
    }
    return out;
}
} // namespace

std::string XMLDecodeTextUtf8(std::string_view raw) {
    std::string normalized;
    if (raw.find('\r') != raw.npos) {
        normalized = NormalizeLineEnds(raw);
        raw = normalized;
    }
    size_t amp = raw.find('&');
    if (amp == raw.npos) return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    size_t from = 0;
    while (amp != raw.npos) {
        out.append(raw, from, amp - from);
        size_t semi = raw.find(';', amp + 1);
        uint32_t cp;
        if (semi != raw.npos && semi - amp <= 12 && ReferenceValue(raw.substr(amp + 1, semi - amp - 1), cp)) {
            AppendUtf8(out, cp);
            from = semi + 1;
        } else {
            out.push_back('&');
            from = amp + 1;
        }
        amp = raw.find('&', from);
    }
    out.append(raw, from);
    return out;
}

std::u16string XMLDecodeText(std::string_view raw) {
    if (raw.find('&') == raw.npos && raw.find('\r') == raw.npos) return Utf8ToWide(raw);
    return Utf8ToWide(XMLDecodeTextUtf8(raw));
}

std::u16string XMLDecodeEntities(std::u16string_view text) {
    return XMLDecodeText(WideToUtf8(text));
}

void XMLAppendEscaped(std::string& out, std::string_view utf8, bool whiteSpaceRefs) {
    size_t from = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char* rep;
        switch (utf8[i]) {
        case '\r':
        case '\n':
        case '\t':
            if (!whiteSpaceRefs) continue;
            rep = utf8[i] == '\r' ? "&#13;" : utf8[i] == '\n' ? "&#10;" : "&#9;";
            break;
        case '"':
            rep = "&quot;";
            break;
        case '&':
            rep = "&amp;";
            break;
        case '<':
            rep = "&lt;";
            break;
        case '>':
            rep = "&gt;";
            break;
        default:
            continue;
        }
        out.append(utf8, from, i - from);
        out += rep;
        from = i + 1;
    }
    out.append(utf8, from);
}

std::string XMLEncodeText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    XMLAppendEscaped(out, utf8);
    return out;
}

namespace {
bool IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
// Characters an XML 1.0 part cannot carry.
bool Forbidden(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}
bool High(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool Low(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}
// Half of a character made of two, without its other half.
bool LoneHalf(std::u16string_view text, size_t i) {
    if (High(text[i])) return !(i + 1 < text.size() && Low(text[i + 1]));
    if (Low(text[i])) return !(i > 0 && High(text[i - 1]));
    return false;
}
// What the package's own escape carries: those, and the carriage return,
// which a reader takes as a line end.
bool NeedsXEscape(std::u16string_view text, size_t i) {
    return Forbidden(text[i]) || text[i] == u'\r' || LoneHalf(text, i);
}
} // namespace

std::u16string DecodeXString(std::u16string_view text) {
    if (text.find(u"_x") == text.npos) return std::u16string(text);
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_' &&
            IsHex(text[i + 2]) && IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5])) {
            uint32_t v = 0;
            for (int k = 2; k < 6; ++k) {
                char16_t c = text[i + size_t(k)];
                v = v * 16 + uint32_t(c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
            }
            out.push_back(char16_t(v));
            i += 6;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string EncodeXString(std::u16string_view text) {
    bool plain = true;
    for (size_t i = 0; i < text.size() && plain; ++i) plain = !(NeedsXEscape(text, i) || text[i] == u'_');
    if (plain) return WideToUtf8(text);
    std::u16string escaped;
    escaped.reserve(text.size() + 8);
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    auto put = [&](char16_t c) {
        escaped += u"_x";
        for (int shift = 12; shift >= 0; shift -= 4) escaped.push_back(hex[(c >> shift) & 15]);
        escaped.push_back(u'_');
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        // A literal "_x0041_" must not read back as "A": its "_" is escaped.
        bool literal = c == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_' &&
                       IsHex(text[i + 2]) && IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5]);
        if (NeedsXEscape(text, i) || literal)
            put(c);
        else
            escaped.push_back(c);
    }
    return WideToUtf8(escaped);
}

bool PackageCarriesAt(std::u16string_view text, size_t i) {
    return !Forbidden(text[i]) && !LoneHalf(text, i);
}

void AppendPackageText(std::string& out, std::u16string_view text, TPackageText kind, int* replaced) {
    if (kind == TPackageText::XString) {
        XMLAppendEscaped(out, EncodeXString(text));
        return;
    }
    // Half a character becomes U+FFFD on the way to UTF-8.
    for (size_t i = 0; i < text.size(); ++i)
        if (replaced && LoneHalf(text, i)) ++*replaced;
    AppendPackageUtf8(out, WideToUtf8(text), replaced);
}

namespace {
// The length of a character XML cannot carry at the start of UTF-8 text
// (a control character, U+FFFE, U+FFFF), 0 for any other.
size_t ForbiddenAt(std::string_view utf8, size_t i) {
    const uint8_t c = uint8_t(utf8[i]);
    if (c < 0x20) return c == '\t' || c == '\n' || c == '\r' ? 0 : 1;
    if (c == 0xEF && i + 2 < utf8.size() && uint8_t(utf8[i + 1]) == 0xBF &&
        (uint8_t(utf8[i + 2]) == 0xBE || uint8_t(utf8[i + 2]) == 0xBF))
        return 3;
    return 0;
}
} // namespace

bool PackageCarries(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size(); ++i)
        if (ForbiddenAt(utf8, i)) return false;
    return true;
}

void AppendPackageUtf8(std::string& out, std::string_view utf8, int* replaced) {
    if (PackageCarries(utf8)) {
        XMLAppendEscaped(out, utf8, true);
        return;
    }
    std::string kept;
    kept.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (const size_t n = ForbiddenAt(utf8, i)) {
            kept += "\xEF\xBF\xBD";
            i += n - 1;
            if (replaced) ++*replaced;
        } else {
            kept += utf8[i];
        }
    }
    XMLAppendEscaped(out, kept, true);
}

void AppendTextElement(std::string& out, std::string_view tag, std::u16string_view text) {
    std::string utf8 = EncodeXString(text);
    out += '<';
    out += tag;
    if (!utf8.empty() && (uint8_t(utf8.front()) <= 0x20 || uint8_t(utf8.back()) <= 0x20))
        out += " xml:space=\"preserve\"";
    out += '>';
    XMLAppendEscaped(out, utf8);
    out += "</";
    out += tag;
    out += '>';
}

std::string PackageText(std::u16string_view text, TPackageText kind, int* replaced) {
    std::string out;
    out.reserve(text.size());
    AppendPackageText(out, text, kind, replaced);
    return out;
}

uint32_t HexToInt(std::string_view text) {
    uint32_t v = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d >= 0) v = (v << 4) | uint32_t(d);
    }
    return v;
}

bool AppendXMLNumber(std::string& out, double value) {
    if (!std::isfinite(value)) return false;
    // Whole numbers as plain digits, as spreadsheet programs write them.
    if (value == std::floor(value) && std::abs(value) < 1e15) {
        AppendXMLInt(out, int64_t(value));
        return true;
    }
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    for (char* p = buf; p < end; ++p)
        if (*p == 'e') *p = 'E';
    out.append(buf, end);
    return true;
}

void AppendXMLInt(std::string& out, int64_t value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, end);
}

// ---------------------------------------------------------------------------
// Tokenizer

namespace {
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A UTF-16 part (by its byte-order mark) as UTF-8.
bool ConvertUtf16(std::string_view data, std::string& out) {
    if (data.size() < 2) return false;
    const uint8_t b0 = uint8_t(data[0]), b1 = uint8_t(data[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE, big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big) return false;
    std::u16string wide;
    wide.reserve(data.size() / 2);
    for (size_t i = 2; i + 1 < data.size(); i += 2) {
        uint8_t lo = uint8_t(data[i + (big ? 1 : 0)]), hi = uint8_t(data[i + (big ? 0 : 1)]);
        wide.push_back(char16_t(lo | (hi << 8)));
    }
    out = WideToUtf8(wide);
    return true;
}
} // namespace

void TXLSXmlReader::SetSource(std::string_view data) {
    cutLevel = 0;
    fill = nullptr;
    pieces.clear();
    atEnd = true;
    dropped = 0;
    if (ConvertUtf16(data, converted)) {
        data = converted;
    } else if (data.size() >= 3 && data.substr(0, 3) == "\xEF\xBB\xBF") {
        data.remove_prefix(3);
    }
    src = data;
    pos = 0;
    Preserve = false;
    TagKind = tkNone;
    TagName = Text = {};
}

void TXLSXmlReader::SetSource(TPieceSource source, size_t size) {
    cutLevel = 0;
    pieces.clear();
    src = {};
    pos = 0;
    dropped = 0;
    atEnd = false;
    fill = std::move(source);
    pieceSize = std::max<size_t>(size, 1);
    skipClose = {};
    while (!atEnd && pieces.size() < 3) Refill();
    const uint8_t b0 = pieces.size() >= 2 ? uint8_t(pieces[0]) : 0,
                  b1 = pieces.size() >= 2 ? uint8_t(pieces[1]) : 0;
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
        // A UTF-16 part: its pieces are turned into UTF-8 as they arrive.
        struct TUtf16 {
            TPieceSource raw;
            bool big;
            std::string in;  // bytes not converted yet
            std::string out; // UTF-8 not handed over yet
            bool end = false;
        };
        auto state = std::make_shared<TUtf16>();
        state->raw = std::move(fill);
        state->big = b0 == 0xFE;
        state->in = pieces.substr(2);
        state->end = atEnd;
        const size_t chunk = pieceSize;
        fill = [state, chunk](char* to, size_t n) -> size_t {
            TUtf16& u = *state;
            while (u.out.size() < n && !(u.end && u.in.size() < 2)) {
                if (!u.end) {
                    const size_t had = u.in.size();
                    u.in.resize(had + chunk);
                    size_t got = 0;
                    while (got < chunk) {
                        const size_t k = u.raw(u.in.data() + had + got, chunk - got);
                        if (k == 0) {
                            u.end = true;
                            u.raw = nullptr;
                            break;
                        }
                        got += k;
                    }
                    u.in.resize(had + got);
                }
                std::u16string wide;
                size_t i = 0;
                for (; i + 1 < u.in.size(); i += 2) {
                    const uint8_t lo = uint8_t(u.in[i + (u.big ? 1 : 0)]),
                                  hi = uint8_t(u.in[i + (u.big ? 0 : 1)]);
                    wide.push_back(char16_t(lo | (hi << 8)));
                }
                // A high surrogate waits for its partner in the next piece.
                if (!u.end && !wide.empty() && wide.back() >= 0xD800 && wide.back() < 0xDC00) {
                    wide.pop_back();
                    i -= 2;
                }
                u.in.erase(0, i);
                u.out += WideToUtf8(wide);
                if (u.end && u.in.size() < 2) break;
            }
            const size_t k = std::min(n, u.out.size());
            std::copy_n(u.out.data(), k, to);
            u.out.erase(0, k);
            return k;
        };
        pieces.clear();
        src = {};
        atEnd = false;
        while (!atEnd && pieces.size() < 3) Refill();
    }
    if (pieces.size() >= 3 && std::string_view(pieces).substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    Preserve = false;
    TagKind = tkNone;
    TagName = Text = {};
}

bool TXLSXmlReader::Refill() {
    if (atEnd) return false;
    if (!pieces.empty()) OnBufferMoving(pieces);
    // A token longer than a piece makes the next read as long as the token,
    // so that it is scanned again only a few times.
    const size_t more = std::max(pieceSize, pieces.size() - pos);
    pieces.erase(0, pos);
    dropped += pos;
    pos = 0;
    const size_t had = pieces.size();
    pieces.resize(had + more);
    src = std::string_view(pieces).substr(0, had); // what stays if the source fails
    size_t got = 0;
    while (got < more) {
        size_t n = fill(pieces.data() + had + got, more - got);
        if (n == 0) {
            atEnd = true;
            fill = nullptr; // it may refer to a source that is gone after the part
            break;
        }
        got += n;
    }
    pieces.resize(had + got);
    src = pieces;
    return true;
}

void TXLSXmlReader::ParseDocument(std::string_view name) {
    documentName = name;
    while (ReadNextTag()) {
    }
}

size_t TXLSXmlReader::Find(std::string_view what, size_t from) const {
    return from > src.size() ? src.npos : src.find(what, from);
}

// At "<!" or "<?" (pos on the '<'): a comment, a processing instruction or
// a CDATA section is passed over; a document type declaration is refused,
// so no entity of a DTD ever expands. False when the part ends inside it.
bool TXLSXmlReader::SkipMarkup() {
    std::string_view rest = src.substr(pos);
    size_t end;
    if (rest.substr(0, 4) == "<!--") {
        end = Find("-->", pos + 4);
        if (end == src.npos) return false;
        pos = end + 3;
    } else if (rest.substr(0, 9) == "<![CDATA[") {
        end = Find("]]>", pos + 9);
        if (end == src.npos) return false;
        pos = end + 3;
    } else if (rest.substr(0, 2) == "<?") {
        end = Find("?>", pos + 2);
        if (end == src.npos) return false;
        pos = end + 2;
    } else {
        throw XLSError("XML document type declarations are not allowed");
    }
    return true;
}

void TXLSXmlReader::ParseAttributes(std::string_view a) {
    size_t i = 0;
    const size_t n = a.size();
    while (i < n) {
        while (i < n && IsSpace(a[i])) ++i;
        if (i >= n) break;
        size_t nameStart = i;
        while (i < n && !IsSpace(a[i]) && a[i] != '=') ++i;
        std::string_view name = a.substr(nameStart, i - nameStart);
        while (i < n && IsSpace(a[i])) ++i;
        if (i >= n || a[i] != '=') continue; // a name without a value is dropped
        ++i;
        while (i < n && IsSpace(a[i])) ++i;
        if (i >= n) break;
        std::string_view value;
        if (a[i] == '"' || a[i] == '\'') {
            char q = a[i++];
            size_t close = a.find(q, i);
            if (close == a.npos) close = n;
            value = a.substr(i, close - i);
            i = close + 1;
        } else {
            size_t start = i;
            while (i < n && !IsSpace(a[i])) ++i;
            value = a.substr(start, i - start);
            if (value.empty()) continue;
        }
        if (name == "xml:space") Preserve = value == "preserve";
        OnAttribute(name, value);
    }
}

// The text after a start tag up to the next tag; comments and processing
// instructions inside it are passed over and CDATA sections joined in
// escaped form, so the text is decoded like any other.
std::string_view TXLSXmlReader::ReadText() {
    size_t lt = src.find('<', pos);
    if (lt == src.npos) lt = src.size();
    std::string_view text = src.substr(pos, lt - pos);
    pos = lt;
    joined = false;
    while (pos + 1 < src.size() && (src[pos + 1] == '!' || src[pos + 1] == '?')) {
        if (!joined) {
            textBuf.assign(text);
            joined = true;
        }
        if (src.substr(pos, 9) == "<![CDATA[") {
            size_t end = Find("]]>", pos + 9);
            if (end == src.npos) end = src.size();
            XMLAppendEscaped(textBuf, src.substr(pos + 9, end - pos - 9));
            pos = std::min(end + 3, src.size());
        } else if (!SkipMarkup()) {
            pos = src.size();
            break;
        }
        lt = src.find('<', pos);
        if (lt == src.npos) lt = src.size();
        textBuf.append(src.substr(pos, lt - pos));
        pos = lt;
    }
    // Blanks at either end stay: readers of cell texts keep them, with or
    // without xml:space="preserve".
    if (joined) text = textBuf;
    return text;
}

bool TXLSXmlReader::TextComplete(size_t from) const {
    if (atEnd) return true;
    for (;;) {
        size_t lt = src.find('<', from);
        if (lt == src.npos || lt + 1 >= src.size()) return false;
        if (src[lt + 1] != '!' && src[lt + 1] != '?') return true;
        if (!Lookahead(lt)) return false;
        // The same searches as ReadText and SkipMarkup make.
        std::string_view rest = src.substr(lt);
        std::string_view close;
        size_t skip = 0;
        if (rest.substr(0, 9) == "<![CDATA[") {
            close = "]]>";
            skip = 9;
        } else if (rest.substr(0, 4) == "<!--") {
            close = "-->";
            skip = 4;
        } else if (rest.substr(0, 2) == "<?") {
            close = "?>";
            skip = 2;
        } else {
            return true; // refused when it is read
        }
        size_t end = Find(close, lt + skip);
        if (end == src.npos) return false;
        from = end + close.size();
    }
}

// The reader of the part adds its name.
void TXLSXmlReader::TagTooLong() {
    throw XLSError("XML tag longer than " + std::to_string(MaxTagBytes >> 20) + " MiB");
}

bool TXLSXmlReader::ReadNextTag() {
    for (;;) {
        TStep step = ReadToken();
        if (step != stMore) return step == stToken;
        // Only a tag (or a prolog) waits for its end in the buffer; texts,
        // comments and blanks are read as they come.
        if (src.size() - std::min(pos, src.size()) >= MaxTagBytes) TagTooLong();
        Refill();
    }
}

void TXLSXmlReader::AppendBounded(std::string_view raw) {
    for (size_t i = 0; i < raw.size() && textBuf.size() < MaxTextBytes;) {
        const char c = raw[i];
        if (IsSpace(c)) {
            // Past its bound a run of blanks is passed over: no cell shows more of it.
            if (blankRun >= MaxBlankRun) {
                static constexpr char eight[] = "        ";
                while (i + 8 <= raw.size() && std::memcmp(raw.data() + i, eight, 8) == 0) i += 8;
                while (i < raw.size() && IsSpace(raw[i])) ++i;
                continue;
            }
            ++blankRun;
        } else {
            blankRun = 0;
        }
        textBuf.push_back(c);
        ++i;
    }
}

size_t TXLSXmlReader::StreamText(size_t textStart) {
    textBuf.clear();
    blankRun = 0;
    markupRefused = false;
    const size_t head = textStart - pos; // the start tag, which stays in the buffer
    size_t at = textStart;
    std::string_view close; // of the comment, PI or CDATA being read
    bool cdata = false;
    std::string escaped;
    for (;;) {
        bool more = false;
        while (!more) {
            if (close.empty()) {
                const size_t lt = src.find('<', at);
                const size_t end = lt == src.npos ? src.size() : lt;
                AppendBounded(src.substr(at, end - at));
                at = end;
                if (lt == src.npos || !Lookahead(lt) || lt + 1 >= src.size()) {
                    more = true;
                    break;
                }
                const std::string_view rest = src.substr(lt);
                if (rest.substr(0, 4) == "<!--") {
                    close = "-->", cdata = false, at = lt + 4;
                } else if (rest.substr(0, 9) == "<![CDATA[") {
                    close = "]]>", cdata = true, at = lt + 9;
                } else if (rest.substr(0, 2) == "<?") {
                    close = "?>", cdata = false, at = lt + 2;
                } else if (rest[1] == '!') {
                    // Refused once the tag is reported, as a whole part refuses it.
                    markupRefused = true;
                    return lt;
                } else {
                    return lt;
                }
                continue;
            }
            const size_t end = Find(close, at);
            // The last bytes may begin the closing delimiter: they wait.
            const size_t stop = end != src.npos ? end
                                : atEnd         ? src.size()
                                        : std::max(at, src.size() - std::min(src.size(), close.size() - 1));
            if (cdata && textBuf.size() < MaxTextBytes) {
                escaped.clear();
                XMLAppendEscaped(escaped, src.substr(at, stop - at));
                AppendBounded(escaped);
            }
            if (end == src.npos) {
                at = stop;
                more = true;
            } else {
                at = end + close.size();
                close = {};
            }
        }
        if (atEnd) return src.size();
        // What was read goes; the tag stays at the buffer's start.
        pieces.erase(textStart, at - textStart);
        dropped += at - textStart;
        src = pieces;
        Refill();
        textStart = pos + head;
        at = textStart;
    }
}

// One token from pos; stMore, with pos where it starts, when the buffer
// ends inside it and the part goes on.
TXLSXmlReader::TStep TXLSXmlReader::ReadToken() {
    TagKind = tkNone;
    if (!skipClose.empty()) {
        // A comment, PI or CDATA between tags that ran past the buffer.
        const size_t end = Find(skipClose, pos);
        if (end == src.npos) {
            if (atEnd) {
                pos = src.size();
                return stEnd;
            }
            pos = std::max(pos, src.size() - std::min(src.size(), skipClose.size() - 1));
            return stMore;
        }
        pos = end + skipClose.size();
        skipClose = {};
    }
    for (;;) {
        size_t lt = src.find('<', pos);
        if (lt == src.npos || lt + 1 >= src.size()) {
            pos = lt == src.npos ? src.size() : lt;
            if (!atEnd) return stMore;
            pos = src.size();
            return stEnd;
        }
        pos = lt;
        char next = src[lt + 1];
        if ((next == '?' || next == '!') && !Lookahead(lt)) return stMore;
        if (next == '?' && src.substr(lt, 5) == "<?xml" && lt + 5 < src.size() && IsSpace(src[lt + 5])) {
            size_t end = Find("?>", lt + 5);
            if (end == src.npos) return atEnd ? stEnd : stMore;
            pos = end + 2;
            TagKind = tkProlog;
            TagName = {};
            Text = {};
            return stToken;
        }
        if (next == '!' || next == '?') {
            if (!SkipMarkup()) {
                if (atEnd) {
                    pos = src.size();
                    return stEnd;
                }
                // Passed over as it arrives: it never fills the buffer.
                const std::string_view rest = src.substr(lt);
                const size_t open = rest.substr(0, 4) == "<!--"        ? 4
                                    : rest.substr(0, 9) == "<![CDATA[" ? 9
                                                                       : 2;
                skipClose = open == 4 ? "-->" : open == 9 ? "]]>" : "?>";
                pos = lt + open;
                return stMore;
            }
            continue;
        }
        break;
    }
    // A tag: up to the '>' outside quotes.
    size_t i = pos + 1;
    const size_t n = src.size();
    for (; i < n; ++i) {
        const char c = src[i];
        if (c == '"' || c == '\'') {
            // A quoted value is passed over in one search, however long.
            const size_t close = src.find(c, i + 1);
            if (close == src.npos) {
                i = n;
                break;
            }
            i = close;
        } else if (c == '>') {
            break;
        }
    }
    // Measured where the tag ends, or as far as it got: the buffer may hold
    // more than the bound by then.
    if (std::min(i, n) - pos > MaxTagBytes) TagTooLong();
    if (i >= n) {
        if (!atEnd) return stMore;
        pos = n;
        return stEnd;
    }
    std::string_view tag = src.substr(pos + 1, i - pos - 1);
    const bool empty = !tag.empty() && tag.back() == '/';
    size_t streamedEnd = src.npos;
    if (!empty && (tag.empty() || tag[0] != '/') && !TextComplete(i + 1)) {
        if (src.size() - pos <= MaxBufferedToken) return stMore;
        // A text too long to wait for is read as it arrives.
        const size_t tagLength = i + 1 - pos;
        streamedEnd = StreamText(i + 1);
        tag = src.substr(pos + 1, tagLength - 2);
        i = pos + tagLength - 1;
    }
    pos = i + 1;
    if (!tag.empty() && tag[0] == '/') {
        TagKind = tkEnd;
        tag.remove_prefix(1);
        size_t e = 0;
        while (e < tag.size() && !IsSpace(tag[e])) ++e;
        TagName = tag.substr(0, e);
        Text = {};
        if (--Level < 0) throw XLSError("XML level < 0");
        if (cutLevel > 0) {
            // The end of an element nested past the bound ends the cut.
            if (Level < cutLevel) cutLevel = 0;
            return stToken;
        }
        OnEndTag(TagName);
        return stToken;
    }
    if (empty) tag.remove_suffix(1);
    size_t e = 0;
    while (e < tag.size() && !IsSpace(tag[e])) ++e;
    TagName = tag.substr(0, e);
    Preserve = false;
    ParseAttributes(tag.substr(e));
    if (empty) {
        TagKind = tkEmpty;
        Text = {};
        if (cutLevel > 0) return stToken;
        OnBeginTag(TagName, Text, true);
        OnEndTag(TagName);
        return stToken;
    }
    TagKind = tkStart;
    // An element nested past the bound is left out with all it holds.
    if (++Level > MaxDepth && cutLevel == 0) {
        cutLevel = Level;
        ++CutElements;
    }
    std::string_view name = TagName;
    if (streamedEnd != src.npos) {
        pos = streamedEnd;
        joined = true;
        Text = textBuf;
        if (markupRefused) throw XLSError("XML document type declarations are not allowed");
    } else {
        Text = ReadText();
    }
    if (cutLevel == 0) OnBeginTag(name, Text, false);
    return stToken;
}

// ---------------------------------------------------------------------------
// Writer

void TXLSXmlWriter::Clear() {
    out.clear();
    stack.clear();
    attributes.clear();
}

void TXLSXmlWriter::WriteXMLHeader() {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
}

void TXLSXmlWriter::BeginTag(std::string_view tag) {
    stack.emplace_back(tag);
    out += '<';
    out += tag;
    out += '>';
}

void TXLSXmlWriter::BeginTagRawAttrs(std::string_view tag, std::string_view attributeText) {
    stack.emplace_back(tag);
    out += '<';
    out += tag;
    out += ' ';
    out += attributeText;
    out += '>';
}

void TXLSXmlWriter::BeginTagWithAttrs(std::string_view tag) {
    stack.emplace_back(tag);
    out += '<';
    out += tag;
    out += attributes;
    out += '>';
    attributes.clear();
}

void TXLSXmlWriter::WriteEmptyTagWithAttrs(std::string_view tag) {
    out += '<';
    out += tag;
    out += attributes;
    out += "/>";
    attributes.clear();
}

void TXLSXmlWriter::WriteEmptyTagText(std::string_view tag, std::string_view attributeText) {
    out += '<';
    out += tag;
    out += ' ';
    out += attributeText;
    out += "/>";
}

void TXLSXmlWriter::EndTag() {
    if (stack.empty()) throw XLSError("Tag stack empty");
    out += "</";
    out += stack.back();
    out += '>';
    stack.pop_back();
}

void TXLSXmlWriter::WriteTextTag(std::string_view tag, std::string_view utf8) {
    out += '<';
    out += tag;
    if (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' ')) out += " xml:space=\"preserve\"";
    out += '>';
    XMLAppendEscaped(out, utf8);
    out += "</";
    out += tag;
    out += '>';
}

void TXLSXmlWriter::WriteSimpleTag(std::string_view tag, std::string_view utf8) {
    out += '<';
    out += tag;
    out += '>';
    XMLAppendEscaped(out, utf8);
    out += "</";
    out += tag;
    out += '>';
}

void TXLSXmlWriter::AddAttrInt(bool write, std::string_view name, int64_t value) {
    if (!write) return;
    attributes += ' ';
    attributes += name;
    attributes += "=\"";
    AppendXMLInt(attributes, value);
    attributes += '"';
}

void TXLSXmlWriter::AddAttrBool(bool write, std::string_view name, bool value) {
    if (!write) return;
    attributes += ' ';
    attributes += name;
    attributes += value ? "=\"1\"" : "=\"0\"";
}

void TXLSXmlWriter::AddAttrFloat(bool write, std::string_view name, double value) {
    if (!write) return;
    attributes += ' ';
    attributes += name;
    attributes += "=\"";
    if (!AppendXMLNumber(attributes, value)) attributes += '0';
    attributes += '"';
}

void TXLSXmlWriter::AddAttrStr(bool write, std::string_view name, std::string_view utf8) {
    if (!write) return;
    attributes += ' ';
    attributes += name;
    attributes += "=\"";
    XMLAppendEscaped(attributes, utf8);
    attributes += '"';
}

void TXLSXmlWriter::WriteValBool(std::string_view tag, bool value) {
    out += '<';
    out += tag;
    out += value ? " val=\"true\"/>" : " val=\"false\"/>";
}

void TXLSXmlWriter::WriteValStr(std::string_view tag, std::string_view utf8) {
    out += '<';
    out += tag;
    out += " val=\"";
    XMLAppendEscaped(out, utf8);
    out += "\"/>";
}

void TXLSXmlWriter::WriteValText(std::string_view tag, std::u16string_view text) {
    out += '<';
    out += tag;
    out += " val=\"";
    AppendPackageText(out, text);
    out += "\"/>";
}

void TXLSXmlWriter::WriteValInt(std::string_view tag, int64_t value) {
    out += '<';
    out += tag;
    out += " val=\"";
    AppendXMLInt(out, value);
    out += "\"/>";
}

void TXLSXmlWriter::WriteValFloat(std::string_view tag, double value) {
    out += '<';
    out += tag;
    out += " val=\"";
    if (!AppendXMLNumber(out, value)) out += '0';
    out += "\"/>";
}

void TXLSXmlWriter::CheckClosed() const {
    if (stack.empty()) return;
    std::string names;
    for (const auto& t : stack) names += (names.empty() ? "" : ", ") + t;
    throw XLSError("Tag stack not empty: " + names);
}

} // namespace xls
