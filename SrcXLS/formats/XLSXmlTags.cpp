#include "SrcXLS/formats/XLSXmlTags.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace xls {

// ---------------------------------------------------------------------------
// Vocabularies

namespace {

constexpr std::string_view ElementNames[] = {
#define XLSX_TEXT(id, text) text,
    XLSX_ELEMENTS(XLSX_TEXT)
#undef XLSX_TEXT
};
constexpr std::string_view AttributeNames[] = {
#define XLSX_TEXT(id, text) text,
    XLSX_ATTRIBUTES(XLSX_TEXT)
#undef XLSX_TEXT
};
static_assert(std::size(ElementNames) == etCount && std::size(AttributeNames) == eaCount);

constexpr std::string_view FillPatterns[] = {
    "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
    "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
    "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};
constexpr std::string_view BorderStyles[] = {"none",
                                             "thin",
                                             "medium",
                                             "dashed",
                                             "dotted",
                                             "thick",
                                             "double",
                                             "hair",
                                             "mediumDashed",
                                             "dashDot",
                                             "mediumDashDot",
                                             "dashDotDot",
                                             "mediumDashDotDot",
                                             "slantedDashDot"};
constexpr std::string_view HorizAlignments[] = {"general", "left",    "center",           "right",
                                                "fill",    "justify", "centerContinuous", "distributed"};
constexpr std::string_view VertAlignments[] = {"top", "center", "bottom", "justify", "distributed"};

// Open addressing over a cheap hash of the name: a lookup per element and
// attribute of a big worksheet has to cost next to nothing.
class TNameTable {
public:
    explicit TNameTable(std::span<const std::string_view> names) {
        slots.fill(-1);
        for (size_t i = 0; i < names.size(); ++i) {
            size_t h = Hash(names[i]);
            while (slots[h] >= 0) h = (h + 1) & (Size - 1);
            slots[h] = int16_t(i);
        }
        this->names = names;
    }
    int Find(std::string_view name) const {
        for (size_t h = Hash(name);; h = (h + 1) & (Size - 1)) {
            int i = slots[h];
            if (i < 0) return -1;
            if (names[size_t(i)] == name) return i;
        }
    }

private:
    static constexpr size_t Size = 1024;
    static size_t Hash(std::string_view s) {
        size_t h = s.size() * 0x9E3779B1u;
        for (char c : s) h = (h ^ uint8_t(c)) * 0x01000193u;
        return (h ^ (h >> 15)) & (Size - 1);
    }
    std::array<int16_t, Size> slots;
    std::span<const std::string_view> names;
};

const TNameTable& ElementTable() {
    static const TNameTable t(ElementNames);
    return t;
}
const TNameTable& AttributeTable() {
    static const TNameTable t(AttributeNames);
    return t;
}

constexpr std::string_view MainNamespaces[] = {
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "http://purl.oclc.org/ooxml/spreadsheetml/main",
    "http://schemas.openxmlformats.org/package/2006/relationships",
    "http://schemas.openxmlformats.org/package/2006/content-types",
};
constexpr std::string_view RelNamespaces[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships",
};

} // namespace

std::string_view ElementName(int id) {
    return id >= 0 && id < etCount ? ElementNames[id] : std::string_view();
}
std::string_view AttributeName(int id) {
    return id >= 0 && id < eaCount ? AttributeNames[id] : std::string_view();
}
int ElementId(std::string_view name) {
    // The elements of every cell first.
    if (name.size() == 1) {
        switch (name[0]) {
        case 'c':
            return etc;
        case 'v':
            return etv;
        case 'f':
            return etf;
        case 'r':
            return etr;
        case 't':
            return ett;
        default:
            break;
        }
    }
    int i = ElementTable().Find(name);
    return i < 0 ? etUnknown : i;
}
int AttributeId(std::string_view name) {
    if (name.size() == 1) {
        switch (name[0]) {
        case 'r':
            return ear;
        case 's':
            return eas;
        case 't':
            return eat;
        default:
            break;
        }
    }
    return AttributeTable().Find(name);
}

std::span<const std::string_view> FillPatternNames() {
    return FillPatterns;
}
std::span<const std::string_view> BorderStyleNames() {
    return BorderStyles;
}
std::span<const std::string_view> HorizAlignmentNames() {
    return HorizAlignments;
}
std::span<const std::string_view> VertAlignmentNames() {
    return VertAlignments;
}

int IndexOfName(std::span<const std::string_view> names, std::string_view name, int defaultValue) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return int(i);
    return defaultValue;
}

// ---------------------------------------------------------------------------
// Numbers

bool ParseXMLInt(std::string_view text, int64_t& value) {
    while (!text.empty() && uint8_t(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && uint8_t(text.back()) <= 0x20) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && p == text.data() + text.size() && !text.empty()) return true;
    // "12.0" as some writers put integers.
    double d;
    if (!ParseXMLFloat(text, d) || d != std::floor(d) || std::abs(d) > 9e15) return false;
    value = int64_t(d);
    return true;
}

namespace {
// The largest double written with 16 digits rounds up beyond it
// ("1.797693134862316E+308"): a number that close reads as the largest
// double (of its sign); false for any other number out of range.
bool NearLargestDouble(std::string_view text, double& value) {
    const size_t e = text.find_first_of("eE");
    if (e == text.npos) return false;
    int64_t exponent;
    if (!ParseXMLInt(text.substr(e + 1), exponent) || exponent < 300 || exponent > 400) return false;
    // The same digits a tenth as large.
    std::string tenth(text.substr(0, e));
    tenth += 'e';
    tenth += std::to_string(exponent - 1);
    double v;
    auto [p, ec] = std::from_chars(tenth.data(), tenth.data() + tenth.size(), v);
    if (ec != std::errc() || p != tenth.data() + tenth.size()) return false;
    constexpr double limit = std::numeric_limits<double>::max() / 10 * (1 + 1e-15);
    if (std::abs(v) > limit) return false;
    value = std::copysign(std::numeric_limits<double>::max(), v);
    return true;
}
} // namespace

bool ParseXMLFloat(std::string_view text, double& value) {
    while (!text.empty() && uint8_t(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && uint8_t(text.back()) <= 0x20) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range && p == text.data() + text.size())
        return NearLargestDouble(text, value);
    return ec == std::errc() && p == text.data() + text.size() && std::isfinite(value);
}

// ---------------------------------------------------------------------------
// Nodes

const TExXMLTag::TValue* TExXMLTag::Find(int attrId) const {
    if (attrId < 0 || attrId >= eaCount) throw XLSError("XML value id out of range");
    for (const TValue& v : Values)
        if (v.Id == attrId) return &v;
    return nullptr;
}

bool TExXMLTag::GetBool(int attrId, bool defaultValue) const {
    const TValue* v = Find(attrId);
    if (!v) return defaultValue;
    return v->Raw == "1" || v->Raw == "true";
}

int64_t TExXMLTag::GetInt(int attrId, int64_t defaultValue) const {
    const TValue* v = Find(attrId);
    int64_t n;
    return v && ParseXMLInt(v->Raw, n) ? n : defaultValue;
}

double TExXMLTag::GetFloat(int attrId, double defaultValue) const {
    const TValue* v = Find(attrId);
    double d;
    return v && ParseXMLFloat(v->Raw, d) ? d : defaultValue;
}

std::string_view TExXMLTag::GetText(int attrId, std::string_view defaultValue) const {
    const TValue* v = Find(attrId);
    return v ? v->Raw : defaultValue;
}

std::u16string TExXMLTag::GetTextW(int attrId, std::u16string_view defaultValue) const {
    const TValue* v = Find(attrId);
    return v ? XMLDecodeText(v->Raw) : std::u16string(defaultValue);
}

std::string TExXMLTag::GetTextUtf8(int attrId) const {
    const TValue* v = Find(attrId);
    return v ? XMLDecodeTextUtf8(v->Raw) : std::string();
}

int TExXMLTag::GetEnum(int attrId, std::span<const std::string_view> names, int defaultValue) const {
    const TValue* v = Find(attrId);
    return v ? IndexOfName(names, v->Raw, defaultValue) : defaultValue;
}

namespace {
[[noreturn]] void Missing(int attrId) {
    throw XLSError("Required value missing: " + std::string(AttributeName(attrId)));
}
[[noreturn]] void Invalid(int attrId, std::string_view raw) {
    throw XLSError("Invalid value of " + std::string(AttributeName(attrId)) + ": \"" +
                   std::string(raw.substr(0, 40)) + "\"");
}

// "B12" (with or without "$" marks) to zero-based column and row within
// the 2007 limits.
bool ParseRef(std::string_view s, int& col, int& row) {
    size_t i = 0;
    if (i < s.size() && s[i] == '$') ++i;
    int64_t c = 0;
    size_t letters = 0;
    for (; i < s.size(); ++i, ++letters) {
        char ch = char(s[i] & ~0x20);
        if (ch < 'A' || ch > 'Z') break;
        if (letters >= 3) return false;
        c = c * 26 + (ch - 'A' + 1);
    }
    if (letters == 0) return false;
    if (i < s.size() && s[i] == '$') ++i;
    int64_t r = 0;
    size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
        if (s[i] < '0' || s[i] > '9' || digits >= 8) return false;
        r = r * 10 + (s[i] - '0');
    }
    if (digits == 0 || r < 1 || r > 1048576 || c > 16384) return false;
    col = int(c - 1);
    row = int(r - 1);
    return true;
}
} // namespace

double TExXMLTag::ReqFloat(int attrId) const {
    const TValue* v = Find(attrId);
    if (!v) Missing(attrId);
    double d;
    if (!ParseXMLFloat(v->Raw, d)) Invalid(attrId, v->Raw);
    return d;
}

int64_t TExXMLTag::ReqInt(int attrId) const {
    const TValue* v = Find(attrId);
    if (!v) Missing(attrId);
    int64_t n;
    if (!ParseXMLInt(v->Raw, n)) Invalid(attrId, v->Raw);
    return n;
}

std::string_view TExXMLTag::ReqText(int attrId) const {
    const TValue* v = Find(attrId);
    if (!v) Missing(attrId);
    return v->Raw;
}

void TExXMLTag::ReqCellRef(int attrId, int& col, int& row) const {
    const TValue* v = Find(attrId);
    if (!v) Missing(attrId);
    if (!ParseRef(v->Raw, col, row)) Invalid(attrId, v->Raw);
}

void TExXMLTag::ReqArea(int attrId, int& col1, int& row1, int& col2, int& row2) const {
    const TValue* v = Find(attrId);
    if (!v) Missing(attrId);
    std::string_view s = v->Raw;
    size_t colon = s.find(':');
    bool ok = colon == s.npos
                  ? ParseRef(s, col1, row1)
                  : ParseRef(s.substr(0, colon), col1, row1) && ParseRef(s.substr(colon + 1), col2, row2);
    if (!ok) Invalid(attrId, s);
    if (colon == s.npos) {
        col2 = col1;
        row2 = row1;
    }
    if (col1 > col2) std::swap(col1, col2);
    if (row1 > row2) std::swap(row1, row2);
}

TExXMLTag* TExXMLTag::FindChild(int elementId) const {
    for (TExXMLTag* c : Children)
        if (c->Id == elementId) return c;
    return nullptr;
}

TExXMLTag* TExXMLTag::FindChildByName(std::string_view localName) const {
    for (TExXMLTag* c : Children)
        if (LocalPart(c->Name) == localName) return c;
    return nullptr;
}

std::string_view TExXMLTag::RawNamed(std::string_view name) const {
    for (const TValue& v : Values)
        if (v.Name == name) return v.Raw;
    return {};
}

std::string_view LocalPart(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

const TExXMLTag::TValue* TExXMLTag::FindChildValue(int elementId, int attrId) const {
    for (TExXMLTag* c : Children)
        if (c->Id == elementId)
            if (const TValue* v = c->Find(attrId)) return v;
    return nullptr;
}

bool TExXMLTag::GetTextBool() const {
    std::string_view t = Text;
    while (!t.empty() && uint8_t(t.front()) <= 0x20) t.remove_prefix(1);
    while (!t.empty() && uint8_t(t.back()) <= 0x20) t.remove_suffix(1);
    return t == "1" || t == "true";
}

int64_t TExXMLTag::GetTextInt() const {
    int64_t n;
    return ParseXMLInt(Text, n) ? n : 0;
}

double TExXMLTag::GetTextFloat() const {
    double d;
    return ParseXMLFloat(Text, d) ? d : 0;
}

TExXMLTag* TExXMLTag::NextChild() {
    if (cursor >= Children.size()) {
        expected = -1;
        cursor = 0;
        return nullptr;
    }
    TExXMLTag* c = Children[cursor++];
    if (expected >= 0 && c->Id != expected)
        throw XLSError("Unexpected tag " + std::to_string(c->Id) + ", " + std::string(c->Name));
    return c;
}

namespace {
// Pieces of a kept text: short texts join the last piece, long ones stand
// as pieces of their own.
constexpr size_t KeptPieceBytes = size_t(64) << 10;
void AppendPiece(std::vector<std::string>& pieces, std::string&& text) {
    if (text.empty()) return;
    if (!pieces.empty() && pieces.back().size() + text.size() <= KeptPieceBytes)
        pieces.back() += text;
    else
        pieces.push_back(std::move(text));
}
} // namespace

size_t TExXMLTag::HeadBytes() const {
    size_t bytes = 1 + Name.size();
    // A value read from single quotes may hold a double quote: "&quot;".
    for (const TValue& v : Values)
        bytes += 4 + v.Name.size() + v.Raw.size() + 5 * size_t(std::count(v.Raw.begin(), v.Raw.end(), '"'));
    return bytes;
}

void TExXMLTag::AppendHead(std::string& out) const {
    out += '<';
    out += Name;
    for (const TValue& v : Values) {
        out += ' ';
        out += v.Name;
        out += "=\"";
        std::string_view raw = v.Raw;
        for (size_t quote; (quote = raw.find('"')) != raw.npos; raw.remove_prefix(quote + 1)) {
            out += raw.substr(0, quote);
            out += "&quot;";
        }
        out += raw;
        out += '"';
    }
}

uint64_t TExXMLTag::KeptBytes() const {
    uint64_t bytes = 0;
    for (const std::string& piece : keptText) bytes += piece.size();
    return bytes;
}

uint64_t TExXMLTag::TextBytes() const {
    uint64_t bytes = HeadBytes();
    if (Text.empty() && keptText.empty() && Children.empty()) return bytes + 2;
    bytes += 1 + Text.size() + KeptBytes() + 3 + Name.size();
    for (const TExXMLTag* c : Children) bytes += c->TextBytes();
    return bytes;
}

void TExXMLTag::AppendText(std::string& out) const {
    AppendHead(out);
    if (Text.empty() && keptText.empty() && Children.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    out += Text;
    for (const std::string& piece : keptText) out += piece;
    for (const TExXMLTag* c : Children) c->AppendText(out);
    out += "</";
    out += Name;
    out += '>';
}

std::string TExXMLTag::ToText() const {
    std::string out;
    out.reserve(size_t(TextBytes()));
    AppendText(out);
    return out;
}

std::string TExXMLTag::TakeText() {
    std::string out;
    out.reserve(size_t(TextBytes()));
    AppendHead(out);
    if (Text.empty() && keptText.empty() && Children.empty()) {
        out += "/>";
        return out;
    }
    out += '>';
    out += Text;
    for (std::string& piece : keptText) {
        out += piece;
        std::string().swap(piece);
    }
    keptText.clear();
    for (const TExXMLTag* c : Children) c->AppendText(out);
    out += "</";
    out += Name;
    out += '>';
    return out;
}

void TExXMLTag::MoveTextTo(std::vector<std::string>& to) {
    std::string head;
    head.reserve(HeadBytes() + 2 + Text.size());
    AppendHead(head);
    if (Text.empty() && keptText.empty() && Children.empty()) {
        head += "/>";
        AppendPiece(to, std::move(head));
        return;
    }
    head += '>';
    head += Text;
    AppendPiece(to, std::move(head));
    for (std::string& piece : keptText) AppendPiece(to, std::move(piece));
    std::vector<std::string>().swap(keptText);
    std::string tail;
    for (const TExXMLTag* c : Children) c->AppendText(tail);
    tail += "</";
    tail += Name;
    tail += '>';
    AppendPiece(to, std::move(tail));
}

// ---------------------------------------------------------------------------
// Tree

TXLSExcelXmlReader::TXLSExcelXmlReader() {
    root = NewTag();
    root->Name = "PARENT";
    current = root;
}

TXLSExcelXmlReader::~TXLSExcelXmlReader() = default;

TExXMLTag* TXLSExcelXmlReader::NewTag() {
    if (!spare.empty()) {
        TExXMLTag* t = spare.back();
        spare.pop_back();
        return t;
    }
    all.push_back(std::make_unique<TExXMLTag>());
    return all.back().get();
}

void TXLSExcelXmlReader::Release(TExXMLTag* tag) {
    for (TExXMLTag* c : tag->Children) Release(c);
    // Spare elements hold no room beyond the usual: what an element held
    // goes with it.
    constexpr size_t usual = 16;
    if (tag->Children.capacity() > usual)
        std::vector<TExXMLTag*>().swap(tag->Children);
    else
        tag->Children.clear();
    if (tag->Values.capacity() > usual)
        std::vector<TExXMLTag::TValue>().swap(tag->Values);
    else
        tag->Values.clear();
    if (tag->ownText.capacity() > usual) std::string().swap(tag->ownText);
    tag->ownText.clear();
    if (tag->keptText.capacity() > 0) std::vector<std::string>().swap(tag->keptText);
    if (!tag->ownCopies.empty()) tag->ownCopies.clear();
    treeBytes -= tag->cost;
    tag->cost = 0;
    tag->keptChildren = 0;
    tag->hold = 0;
    tag->Text = {};
    tag->Parent = nullptr;
    tag->expected = -1;
    tag->cursor = 0;
    spare.push_back(tag);
}

void TXLSExcelXmlReader::DropChildren(TExXMLTag& tag) {
    for (TExXMLTag* c : tag.Children) Release(c);
    tag.Children.clear();
    tag.keptChildren = 0;
    tag.cursor = 0;
}

void TXLSExcelXmlReader::Reset() {
    DropChildren(*root);
    current = root;
    pending.clear();
    heldBytes = 0;
    heldPast = false;
    treeBytes = 0;
    mainPrefixes.clear();
    relPrefixes.clear();
    Level = 0;
}

void TXLSExcelXmlReader::ReadPartAndDrop(std::string_view data, std::string_view name) {
    try {
        ReadPart(data, name);
    } catch (...) {
        DropChildren(Root());
        throw;
    }
    DropChildren(Root());
}

void TXLSExcelXmlReader::ReadPart(std::string_view data, std::string_view name) {
    Reset();
    SetSource(data);
    ParseDocument(name);
}

void TXLSExcelXmlReader::ReadPart(TPieceSource fill, std::string_view name, size_t pieceSize) {
    Reset();
    SetSource(std::move(fill), pieceSize);
    ParseDocument(name);
}

// The open elements (current and its ancestors) and what they hold keep
// views into the piece; closed children are copied once and then passed over.
void TXLSExcelXmlReader::OnBufferMoving(std::string_view bytes) {
    KeepTexts(*root, bytes, true);
}

void TXLSExcelXmlReader::KeepTexts(TExXMLTag& tag, std::string_view bytes, bool open) {
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data()), end = begin + bytes.size();
    auto keep = [&](std::string_view& text) {
        const auto at = reinterpret_cast<uintptr_t>(text.data());
        if (text.empty() || at < begin || at >= end) return;
        text = tag.ownCopies.emplace_front(text);
        Count(tag, text.size() + sizeof(std::string) + 16);
    };
    keep(tag.Name);
    for (TExXMLTag::TValue& v : tag.Values) {
        keep(v.Name);
        keep(v.Raw);
    }
    const auto at = reinterpret_cast<uintptr_t>(tag.Text.data());
    if (!tag.Text.empty() && at >= begin && at < end) {
        tag.ownText.assign(tag.Text);
        tag.Text = tag.ownText;
        Count(tag, tag.ownText.capacity());
    }
    if (tag.keptChildren > tag.Children.size()) tag.keptChildren = 0;
    for (size_t i = open ? tag.keptChildren : 0; i < tag.Children.size(); ++i) {
        TExXMLTag* child = tag.Children[i];
        // Only an open element's last child can be open.
        bool childOpen = false;
        if (open && i + 1 == tag.Children.size())
            for (const TExXMLTag* t = current; t && !childOpen; t = t->Parent) childOpen = t == child;
        KeepTexts(*child, bytes, childOpen);
        if (open && !childOpen && i == tag.keptChildren) ++tag.keptChildren;
    }
}

std::string_view TXLSExcelXmlReader::LocalName(std::string_view name) const {
    size_t colon = name.find(':');
    if (colon == name.npos) return name;
    std::string_view prefix = name.substr(0, colon);
    for (const std::string& p : mainPrefixes)
        if (p == prefix) return name.substr(colon + 1);
    return name;
}

void TXLSExcelXmlReader::OnAttribute(std::string_view name, std::string_view value) {
    int id = -1;
    size_t colon = name.find(':');
    if (colon != name.npos && name.substr(colon + 1) == "id") {
        std::string_view prefix = name.substr(0, colon);
        for (const std::string& p : relPrefixes)
            if (p == prefix) id = ear_id;
    }
    if (id < 0) id = AttributeId(name);
    if (id >= 0)
        for (const TExXMLTag::TValue& v : pending)
            if (v.Id == id)
                throw XLSError("Duplicate tag value: " + std::string(name) + "; Doc=" + DocumentName() +
                               "; Tag=" + std::string(TagName));
    pending.push_back({id, name, value});
}

// Prefixes the element declares for the namespaces whose names the
// vocabularies hold without prefix.
void TXLSExcelXmlReader::NoteNamespaces() {
    for (const TExXMLTag::TValue& v : current->Values) {
        if (v.Name.substr(0, 6) != "xmlns:") continue;
        std::string prefix(v.Name.substr(6));
        for (std::string_view ns : MainNamespaces)
            if (v.Raw == ns) mainPrefixes.push_back(prefix);
        for (std::string_view ns : RelNamespaces)
            if (v.Raw == ns && prefix != "r") relPrefixes.push_back(prefix);
    }
}

void TXLSExcelXmlReader::OnBeginTag(std::string_view name, std::string_view text, bool /*isEmpty*/) {
    TExXMLTag* tag = NewTag();
    tag->Parent = current;
    tag->Name = name;
    tag->Values.swap(pending);
    pending.clear();
    current->Children.push_back(tag);
    current = tag;
    bool declares = false;
    for (const auto& v : tag->Values)
        if (v.Id == eaxmlns_r || (v.Id < 0 && v.Name.substr(0, 5) == "xmlns")) declares = true;
    if (declares) {
        NoteNamespaces();
        // "P:id" whose prefix the same element binds to the relationships.
        for (auto& v : tag->Values) {
            size_t colon = v.Name.find(':');
            if (v.Id >= 0 || colon == v.Name.npos || v.Name.substr(colon + 1) != "id") continue;
            for (const std::string& p : relPrefixes)
                if (p == v.Name.substr(0, colon)) v.Id = ear_id;
        }
    }
    tag->Id = ElementId(LocalName(name));
    // Below the document's root each element whose parent is modelled says
    // what the tree keeps of its subtree; the elements under the others
    // hold as their parent does.
    const TExXMLTag* parent = tag->Parent;
    if (parent == root) {
        tag->hold = uint8_t(THold::Model);
    } else if (THold(parent->hold) == THold::Model) {
        tag->hold = uint8_t(HoldOf(tag->Id, *tag));
        if (THold(tag->hold) == THold::Keep) {
            heldBytes = 0;
            heldPast = false;
        }
    } else {
        tag->hold = parent->hold;
    }
    // Text joined around comments lives in the tokenizer's buffer until the
    // next text: the node keeps its own copy.
    tag->Text = text;
    if (!text.empty() && TextWasJoined()) {
        tag->ownText.assign(text);
        tag->Text = tag->ownText;
    }
    // The node, its slot in its parent and in the pool, its attributes and
    // its text.
    Count(*tag, sizeof(TExXMLTag) + 2 * sizeof(void*) + 16 +
                    tag->Values.capacity() * sizeof(TExXMLTag::TValue) + tag->ownText.capacity());
    if (treeBytes > TreeBudget)
        throw XLSError("XML part holds more than " +
                       std::to_string((TreeBudget + (uint64_t(1) << 20) - 1) >> 20) +
                       " MiB of elements at once");
    if (tag->Id != etUnknown) OnTagStart(tag->Id, *tag);
}

void TXLSExcelXmlReader::OnEndTag(std::string_view name) {
    if (!current || current == root) throw XLSError("CurrTag is Nil: " + std::string(name));
    TExXMLTag* tag = current;
    current = tag->Parent;
    bool consumed = OnTag(tag->Id, *tag);
    if (consumed) {
        DropChildren(*current);
        return;
    }
    const auto hold = THold(tag->hold);
    if (hold == THold::Model || current == root) return;
    // The element kept stays for its reader, as the text of its subtree.
    if (hold == THold::Keep && THold(current->hold) != THold::Keep) return;
    if (hold == THold::Keep && !heldPast) KeepAsText(*tag);
    // Left in the tree it would only go with the element it belongs to.
    current->Children.pop_back();
    current->keptChildren = std::min(current->keptChildren, current->Children.size());
    Release(tag);
}

void TXLSExcelXmlReader::KeepAsText(TExXMLTag& tag) {
    // Its children's text counted as they ended.
    heldBytes += tag.TextBytes() - tag.KeptBytes();
    if (heldBytes <= KeepLeft) {
        tag.MoveTextTo(tag.Parent->keptText);
        return;
    }
    heldPast = true;
    // The element being kept is left out: what its subtree became goes now.
    for (TExXMLTag* t = &tag; t && THold(t->hold) == THold::Keep; t = t->Parent)
        std::vector<std::string>().swap(t->keptText);
}

void TXLSExcelXmlReader::Count(TExXMLTag& tag, uint64_t bytes) {
    tag.cost += bytes;
    treeBytes += bytes;
}

std::string TXLSExcelXmlReader::RootAttributeText(const TExXMLTag& tag) const {
    std::string out;
    for (const auto& v : tag.Values) {
        if (v.Name == "xmlns" || v.Name == "xmlns:r") continue;
        out += ' ';
        out += v.Name;
        out += "=\"";
        out += v.Raw;
        out += '"';
    }
    return out;
}

// ---------------------------------------------------------------------------
// Style children

bool ReadOnOff(const TExXMLTag& parent, int elementId) {
    const TExXMLTag* t = parent.FindChild(elementId);
    if (!t) return false;
    return t->GetBool(eaval, true) || t->GetText(eaval) == "on";
}

int ReadChildInt(const TExXMLTag& parent, int elementId, int defaultValue) {
    const TExXMLTag* t = parent.FindChild(elementId);
    return t ? int(std::clamp<int64_t>(t->GetInt(eaval, defaultValue), INT32_MIN, INT32_MAX)) : defaultValue;
}

TExtColor ReadColor(const TExXMLTag* tag, const TThemeColors& theme) {
    TExtColor c;
    c.Kind = eckNotSet;
    if (!tag) return c;
    if (tag->HasValue(eaauto)) {
        c.Kind = eckAuto;
        c.Value = tag->GetBool(eaauto, false) ? 1 : 0;
    } else if (tag->HasValue(eaindexed)) {
        c.Kind = eckIndexed;
        c.Index = uint8_t(std::clamp<int64_t>(tag->GetInt(eaindexed, 64), 0, 255));
    } else if (tag->HasValue(eargb)) {
        c.Kind = eckRGB;
        c.Value = HexToInt(tag->GetText(eargb));
    } else if (tag->HasValue(eatheme)) {
        c.Kind = eckTheme;
        c.Value = uint32_t(std::clamp<int64_t>(tag->GetInt(eatheme, 0), 0, 255));
    }
    c.Tint = std::clamp(tag->GetFloat(eatint, 0), -1.0, 1.0);
    c.RGB = ResolveExtColor(c, theme);
    if (c.RGB != AutomaticColorMarker) c.RGB &= 0xFFFFFF;
    return c;
}

void ReadFont(const TExXMLTag& tag, TXFont& font, const TThemeColors& theme) {
    font.Style = uint8_t((ReadOnOff(tag, etb) ? xfsBold : 0) | (ReadOnOff(tag, eti) ? xfsItalic : 0) |
                         (ReadOnOff(tag, etstrike) ? xfsStrikeOut : 0));
    font.Charset = uint8_t(ReadChildInt(tag, etcharset, 0));
    font.Family = uint8_t(ReadChildInt(tag, etfamily, 0));
    const TExXMLTag* name = tag.FindChild(etname);
    if (!name) name = tag.FindChild(etrFont);
    font.Name = name ? DecodeXString(name->GetTextW(eaval, u"Arial")) : std::u16string(u"Arial");
    double size = 8.0;
    if (const TExXMLTag* sz = tag.FindChild(etsz)) size = sz->GetFloat(eaval, 8.0);
    font.Height = uint32_t(std::lround(std::clamp(size, 1.0, 409.0) * 20));
    font.Underline = 0;
    if (const TExXMLTag* u = tag.FindChild(etu)) {
        std::string_view v = u->GetText(eaval, "single");
        font.Underline = v == "none"               ? 0
                         : v == "double"           ? 2
                         : v == "singleAccounting" ? 3
                         : v == "doubleAccounting" ? 4
                                                   : 1;
    }
    font.SubSuperscript = 0;
    if (const TExXMLTag* va = tag.FindChild(etvertAlign)) {
        std::string_view v = va->GetText(eaval);
        font.SubSuperscript = v == "superscript" ? 1 : v == "subscript" ? 2 : 0;
    }
    TExtColor color = ReadColor(tag.FindChild(etcolor), theme);
    font.ColorIndex = color.Kind == eckIndexed ? color.Index
                      : color.Kind == eckNotSet || color.RGB == AutomaticColorMarker
                          ? 64
                          : uint8_t(NearestPaletteIndexOfRGB(color.RGB));
    if (auto* ex = dynamic_cast<TXFontEx12*>(&font)) {
        ex->Color12 = color;
        uint8_t scheme = 0;
        if (const TExXMLTag* s = tag.FindChild(etscheme)) {
            std::string_view v = s->GetText(eaval);
            scheme = v == "minor" ? 1 : v == "major" ? 2 : 0;
        }
        ex->Extra = {uint8_t(ReadOnOff(tag, etoutline)), uint8_t(ReadOnOff(tag, etshadow)),
                     uint8_t(ReadOnOff(tag, etcondense)), uint8_t(ReadOnOff(tag, etextend)), scheme};
    }
    font.ResetHash();
}

uint8_t ReadApplyMask(const TExXMLTag& xf) {
    static constexpr int attrs[] = {eaapplyNumberFormat, eaapplyFont,      eaapplyFill,
                                    eaapplyBorder,       eaapplyAlignment, eaapplyProtection};
    uint8_t mask = 0;
    for (int i = 0; i < 6; ++i)
        if (xf.GetBool(attrs[i], false)) mask |= uint8_t(1 << i);
    return mask;
}

// ---------------------------------------------------------------------------
// Writer

void TXLSExcelXmlWriter::WriteColor(std::string_view prefix, const TExtColor& color) {
    std::string& out = Buffer();
    if (color.Kind > eckTheme) return;
    out += '<';
    if (prefix.empty()) {
        out += "color";
    } else {
        out += prefix;
        out += "Color";
    }
    switch (color.Kind) {
    case eckAuto:
        out += " auto=\"1\"";
        break;
    case eckIndexed:
        out += " indexed=\"";
        AppendXMLInt(out, color.Index);
        out += '"';
        break;
    case eckRGB: {
        char hex[9];
        static constexpr char digits[] = "0123456789ABCDEF";
        // An RGB value without alpha is opaque.
        uint32_t v = color.Value > 0xFFFFFF ? color.Value : color.Value | 0xFF000000u;
        for (int i = 0; i < 8; ++i) hex[i] = digits[(v >> (28 - 4 * i)) & 15];
        hex[8] = 0;
        out += " rgb=\"";
        out += hex;
        out += '"';
        break;
    }
    default:
        out += " theme=\"";
        AppendXMLInt(out, color.Value);
        out += '"';
    }
    if (color.Tint != 0) {
        out += " tint=\"";
        AppendXMLNumber(out, color.Tint);
        out += '"';
    }
    out += "/>";
}

TExtColor FontColor(const TXFont& font) {
    if (auto* ex = dynamic_cast<const TXFontEx12*>(&font); ex && ex->Color12.Kind != eckNotSet)
        return ex->Color12;
    TExtColor c;
    if (font.ColorIndex >= 64) {
        c.Kind = eckNotSet; // the automatic font colour needs no element
    } else {
        c.Kind = eckIndexed;
        c.Index = font.ColorIndex;
    }
    return c;
}

void TXLSExcelXmlWriter::WriteFont(const TXFont& font, bool inRun) {
    std::string& out = Buffer();
    const auto* ex = dynamic_cast<const TXFontEx12*>(&font);
    out += inRun ? "<rPr>" : "<font>";
    if (font.Style & xfsBold) out += "<b/>";
    if (font.Style & xfsItalic) out += "<i/>";
    if (font.Style & xfsStrikeOut) out += "<strike/>";
    if (ex) {
        static constexpr std::string_view flags[] = {"outline", "shadow", "condense", "extend"};
        for (int i = 0; i < 4; ++i)
            if (ex->Extra[size_t(i)]) WriteValBool(flags[i], true);
    }
    WriteColor("", FontColor(font));
    // Readers take no font below 1 point.
    WriteValFloat("sz", std::max<uint32_t>(font.Height, 20) / 20.0);
    static constexpr std::string_view underlines[] = {"single", "double", "singleAccounting",
                                                      "doubleAccounting"};
    if (font.Underline >= 1 && font.Underline <= 4) WriteValStr("u", underlines[font.Underline - 1]);
    if (font.SubSuperscript == 1) WriteValStr("vertAlign", "superscript");
    if (font.SubSuperscript == 2) WriteValStr("vertAlign", "subscript");
    WriteValText(inRun ? "rFont" : "name", font.Name);
    if (font.Family != 0 && font.Family <= 14) WriteValInt("family", font.Family);
    if (font.Charset != 0) WriteValInt("charset", font.Charset);
    if (ex && ex->Extra[4] == 1) WriteValStr("scheme", "minor");
    if (ex && ex->Extra[4] == 2) WriteValStr("scheme", "major");
    out += inRun ? "</rPr>" : "</font>";
}

} // namespace xls

// ---------------------------------------------------------------------------
// Saved tags

namespace xls {

void TXLSSavedTags::AddMarker(int elementId, std::string_view attributeText) {
    std::string text = "<" + std::string(ElementName(elementId));
    if (!attributeText.empty()) text += " " + std::string(attributeText);
    text += "/>";
    Add(std::move(text), elementId);
}

bool TXLSSavedTags::HasMarker(int elementId) const {
    for (const TItem& i : items)
        if (i.Id == elementId) return true;
    return false;
}

void TXLSSavedTags::InsertMarker(int elementId, std::span<const int> order) {
    auto rank = [&](int id) { return std::find(order.begin(), order.end(), id) - order.begin(); };
    const auto mine = rank(elementId);
    size_t at = 0;
    while (at < items.size() && rank(items[at].Id) <= mine) ++at;
    items.insert(items.begin() + std::ptrdiff_t(at),
                 {"<" + std::string(ElementName(elementId)) + "/>", elementId});
}

} // namespace xls
