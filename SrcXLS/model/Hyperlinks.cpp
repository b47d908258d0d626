#include "SrcXLS/model/Hyperlinks.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSStream.h"

#include <algorithm>
#include <array>

namespace xls {

namespace {

using TGuid = std::array<uint8_t, 16>;

// {79EAC9D0-BAF9-11CE-8C82-00AA004BA90B}, {79EAC9E0-...}, {00000303-0000-0000-C000-000000000046}
constexpr TGuid StdLink = {0xD0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                           0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
constexpr TGuid URLMoniker = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                              0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
constexpr TGuid FileMoniker = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr int MaxBIFFCol = 255;
constexpr int MaxBIFFRow = 65535;
constexpr size_t MaxBody = 8224;

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           UpperCaseWide(text.substr(0, prefix.size())) == UpperCaseWide(prefix);
}

std::u16string CutAtZero(std::u16string text) {
    size_t zero = text.find(u'\0');
    if (zero != text.npos) text.resize(zero);
    return text;
}

std::u16string ReadUtf16(TByteReader& r, size_t chars, const char* what) {
    auto bytes = r.Bytes(2 * chars, what);
    std::u16string text(chars, u'\0');
    for (size_t i = 0; i < chars; ++i) text[i] = char16_t(GetU16(bytes.data() + 2 * i));
    return CutAtZero(std::move(text));
}

// u32 character count (the closing zero included) and the characters.
std::u16string ReadStringField(TByteReader& r, const char* what) {
    const uint32_t count = r.U32(what);
    if (count > r.Remaining() / 2)
        throw XLSError(std::string("Record too short: ") + what + " beyond the end");
    return ReadUtf16(r, count, what);
}

void WriteStringField(TByteWriter& w, std::u16string_view text) {
    w.U32(uint32_t(text.size() + 1));
    for (char16_t c : text) w.U16(c);
    w.U16(0);
}

void WriteGuid(TByteWriter& w, const TGuid& g) {
    w.Bytes(g.data(), g.size());
}

// A file moniker: up-levels, the 8-bit path, and the UTF-16 path when present.
std::u16string ReadFileMoniker(TByteReader& r) {
    const uint16_t upLevels = r.U16("up-level count");
    const uint32_t ansiLength = r.U32("path length");
    auto ansi = r.Bytes(ansiLength, "path");
    r.Skip(24, "file moniker");
    std::u16string path = CutAtZero(Latin1ToWide(ansi));
    if (const uint32_t rest = r.U32("path size"); rest > 0) {
        TByteReader unicode(r.Bytes(rest, "unicode path"));
        const uint32_t bytes = unicode.U32("unicode path size");
        unicode.Skip(2, "key value");
        if (bytes > unicode.Remaining()) throw XLSError("Record too short: unicode path beyond the end");
        path = ReadUtf16(unicode, bytes / 2, "unicode path");
    }
    std::u16string address;
    for (uint16_t i = 0; i < upLevels; ++i) address += u"..\\";
    return address + path;
}

// The type the option flags give; unknown kinds are kept raw.
THyperlinkType TypeOf(uint32_t flags) {
    using namespace hlink;
    const bool special = flags & (HasGUID | HasCreationTime | MonikerSavedAsString);
    if (!special && (flags & HasMoniker) && (flags & Absolute)) return THyperlinkType::hltURL;
    if (!special && (flags & HasMoniker)) return THyperlinkType::hltFile;
    if ((flags & 0x103) == 0x103 && !(flags & (HasGUID | HasCreationTime))) return THyperlinkType::hltUNC;
    if (flags & HasLocation) return THyperlinkType::hltWorkbook;
    return THyperlinkType::hltUnknown;
}

// A drive letter or a leading backslash: readers resolve other paths
// against the workbook's folder.
bool IsAbsolutePath(std::u16string_view path) {
    return (path.size() >= 2 && path[1] == u':') || (!path.empty() && path[0] == u'\\');
}

// The short 8-bit form of a path: the path itself when it is plain ASCII.
std::string ShortPath(std::u16string_view path) {
    std::string out;
    for (char16_t c : path.substr(0, 255)) {
        if (c >= 0x80) return {};
        out += char(c);
    }
    return out;
}

} // namespace

// ---- a link

void THyperlink::SetAddress(std::u16string_view value) {
    textMark.clear();
    if (StartsWithNoCase(value, u"http://") || StartsWithNoCase(value, u"https://") ||
        StartsWithNoCase(value, u"www.") || StartsWithNoCase(value, u"ftp://") ||
        StartsWithNoCase(value, u"mailto:")) {
        type = THyperlinkType::hltURL;
        encoding = THyperlinkEncoding::hleURL;
    } else if (value.substr(0, 2) == u"\\\\") {
        type = THyperlinkType::hltUNC;
        encoding = THyperlinkEncoding::hleUNC;
    } else if (owner && owner->CompilesAsFormula && owner->CompilesAsFormula(value)) {
        type = THyperlinkType::hltWorkbook;
        encoding = THyperlinkEncoding::hleWorkbook;
        textMark = value;
    } else {
        type = THyperlinkType::hltFile;
        encoding = THyperlinkEncoding::hleFile;
    }
    address = value;
    raw.clear();
    changed = true;
}

void THyperlink::SetLocation(std::u16string_view location) {
    textMark = location;
    // A link with nowhere else to go is a link into the workbook.
    if ((type == THyperlinkType::hltUnknown && raw.empty()) ||
        (type != THyperlinkType::hltUnknown && address.empty())) {
        type = THyperlinkType::hltWorkbook;
        encoding = THyperlinkEncoding::hleWorkbook;
    }
    if (type == THyperlinkType::hltWorkbook) address = location;
    changed = true;
}

bool THyperlink::HasTarget() const {
    return type == THyperlinkType::hltUnknown ? !raw.empty() : !address.empty() || !textMark.empty();
}

void THyperlink::SetDescription(std::u16string_view value) {
    description = value;
    changed = true;
}

void THyperlink::SetToolTip(std::u16string_view value) {
    toolTip = value;
    changed = true;
}

int THyperlink::SheetIndex() const {
    return owner ? owner->SheetIndex : 0;
}

void THyperlink::Assign(const THyperlink& s) {
    Col1 = s.Col1;
    Col2 = s.Col2;
    Row1 = s.Row1;
    Row2 = s.Row2;
    address = s.address;
    description = s.description;
    toolTip = s.toolTip;
    targetFrame = s.targetFrame;
    textMark = s.textMark;
    type = s.type;
    encoding = s.encoding;
    flags = s.flags;
    raw = s.raw;
    changed = true;
}

// ---- the collection

THyperlink& THyperlinks::Add() {
    THyperlink& link = Insert(std::make_unique<THyperlink>());
    link.owner = this;
    return link;
}

void THyperlinks::Assign(const THyperlinks& source) {
    Clear();
    SheetIndex = source.SheetIndex;
    for (int i = 0; i < source.Count(); ++i) Add().Assign(source.Items(i));
}

void THyperlinks::Clear() {
    TCollection<THyperlink>::Clear();
}

void THyperlinks::ReadHyperlink(std::span<const uint8_t> body, int sheetIndex) {
    SheetIndex = sheetIndex;
    auto link = std::make_unique<THyperlink>();
    link->owner = this;
    TByteReader r(body);
    link->Row1 = r.U16("first row");
    link->Row2 = r.U16("last row");
    link->Col1 = r.U16("first column");
    link->Col2 = r.U16("last column");
    r.Skip(20, "link header");
    link->flags = r.U32("link options");
    link->type = TypeOf(link->flags);
    auto keepRaw = [&] {
        link->type = THyperlinkType::hltUnknown;
        link->encoding = THyperlinkEncoding::hleUnknown;
        link->raw.assign(body.begin(), body.end());
        Insert(std::move(link));
    };
    if (link->type == THyperlinkType::hltUnknown) return keepRaw();
    link->encoding = THyperlinkEncoding(link->type);
    if (link->flags & hlink::HasDisplayName) link->description = ReadStringField(r, "description");
    if (link->flags & hlink::HasFrameName) link->targetFrame = ReadStringField(r, "target frame");
    switch (link->type) {
    case THyperlinkType::hltURL:
    case THyperlinkType::hltFile: {
        auto guid = r.Bytes(16, "class identifier");
        if (std::equal(guid.begin(), guid.end(), URLMoniker.begin())) {
            link->encoding = THyperlinkEncoding::hleURL;
            const uint32_t bytes = r.U32("address length");
            TByteReader url(r.Bytes(bytes, "address"));
            link->address = ReadUtf16(url, bytes / 2, "address");
        } else if (std::equal(guid.begin(), guid.end(), FileMoniker.begin())) {
            link->encoding = THyperlinkEncoding::hleFile;
            link->address = ReadFileMoniker(r);
        } else {
            return keepRaw(); // a moniker of another kind
        }
        break;
    }
    case THyperlinkType::hltUNC:
        link->address = ReadStringField(r, "address");
        break;
    default:
        break;
    }
    // The location has a field of its own; a writer that left it out put it
    // after a "#" in the description.
    if (link->flags & hlink::HasLocation) {
        if (!r.AtEnd()) {
            link->textMark = ReadStringField(r, "text mark");
        } else if (size_t hash = link->description.find(u'#'); hash != std::u16string::npos && hash > 0) {
            link->textMark = link->description.substr(hash + 1);
        }
    }
    if (link->type == THyperlinkType::hltWorkbook) link->address = link->textMark;
    Insert(std::move(link));
}

void THyperlinks::ReadToolTip(std::span<const uint8_t> body) {
    if (Count() == 0) return;
    TByteReader r(body);
    r.Skip(10, "tool tip header");
    Items(Count() - 1).toolTip = ReadUtf16(r, r.Remaining() / 2, "tool tip");
}

void THyperlinks::WriteHyperlinks(TXLSStream& stream, const std::function<void(std::string)>& warn) const {
    int targetless = 0;
    for (int i = 0; i < Count(); ++i) {
        const THyperlink& link = Items(i);
        if (link.Col1 > MaxBIFFCol || link.Row1 > MaxBIFFRow) continue;
        if (!link.HasTarget()) {
            ++targetless;
            continue;
        }
        std::vector<uint8_t> body;
        TByteWriter w(body);
        if (link.type == THyperlinkType::hltUnknown) {
            body = link.raw;
        } else {
            const auto& d = link.description;
            uint32_t flags = link.flags;
            if (link.changed) {
                switch (link.encoding) {
                case THyperlinkEncoding::hleURL:
                    flags = (flags & ~0x160u) | 0x03;
                    break;
                case THyperlinkEncoding::hleFile:
                    flags = (flags & ~0x163u) | 0x01 | (IsAbsolutePath(link.address) ? hlink::Absolute : 0);
                    break;
                case THyperlinkEncoding::hleUNC:
                    flags = (flags & ~0x60u) | 0x103;
                    break;
                default:
                    flags = (flags & ~0x163u) | 0x08;
                    break;
                }
            }
            // The flags say which fields follow: they follow the fields.
            flags = d.empty() ? flags & ~0x14u : flags | 0x14;
            flags = link.textMark.empty() ? flags & ~hlink::HasLocation : flags | hlink::HasLocation;
            flags = link.targetFrame.empty() ? flags & ~hlink::HasFrameName : flags | hlink::HasFrameName;
            w.U16(uint16_t(link.Row1));
            w.U16(uint16_t(std::min(link.Row2, MaxBIFFRow)));
            w.U16(uint16_t(link.Col1));
            w.U16(uint16_t(std::min(link.Col2, MaxBIFFCol)));
            WriteGuid(w, StdLink);
            w.U32(2);
            w.U32(flags);
            if (!d.empty()) WriteStringField(w, d);
            if (!link.targetFrame.empty()) WriteStringField(w, link.targetFrame);
            switch (link.encoding) {
            case THyperlinkEncoding::hleURL:
                WriteGuid(w, URLMoniker);
                w.U32(uint32_t(2 * link.address.size() + 2));
                for (char16_t c : link.address) w.U16(c);
                w.U16(0);
                break;
            case THyperlinkEncoding::hleFile: {
                std::u16string_view path = link.address;
                uint16_t upLevels = 0;
                while (path.substr(0, 3) == u"..\\") {
                    path.remove_prefix(3);
                    ++upLevels;
                }
                const std::string shortPath = ShortPath(path);
                WriteGuid(w, FileMoniker);
                w.U16(upLevels);
                w.U32(uint32_t(shortPath.size() + 1));
                w.Bytes(shortPath.data(), shortPath.size());
                w.U8(0);
                w.U16(0xFFFF);
                w.U16(0xDEAD);
                for (int k = 0; k < 20; ++k) w.U8(0);
                if (path.empty()) {
                    w.U32(0);
                } else {
                    w.U32(uint32_t(2 * path.size() + 6));
                    w.U32(uint32_t(2 * path.size()));
                    w.U16(3);
                    for (char16_t c : path) w.U16(c);
                }
                break;
            }
            case THyperlinkEncoding::hleUNC:
                WriteStringField(w, link.address);
                break;
            default:
                break;
            }
            if (!link.textMark.empty()) WriteStringField(w, link.textMark);
        }
        if (body.size() > MaxBody) throw XLSError("Hyperlink too long");
        stream.WriteHeader(hlink::HLINK, uint16_t(body.size()));
        stream.WriteRecordData(body.data(), body.size());
        if (link.toolTip.empty()) continue;
        std::vector<uint8_t> tip;
        TByteWriter t(tip);
        t.U16(hlink::HLINKTOOLTIP);
        t.U16(uint16_t(link.Row1));
        t.U16(uint16_t(std::min(link.Row2, MaxBIFFRow)));
        t.U16(uint16_t(link.Col1));
        t.U16(uint16_t(std::min(link.Col2, MaxBIFFCol)));
        for (char16_t c : link.toolTip) t.U16(c);
        t.U16(0);
        if (tip.size() > MaxBody) throw XLSError("Hyperlink too long");
        stream.WriteHeader(hlink::HLINKTOOLTIP, uint16_t(tip.size()));
        stream.WriteRecordData(tip.data(), tip.size());
    }
    if (targetless > 0 && warn) warn(TargetlessWarning(targetless, ".xls"));
}

std::string THyperlinks::TargetlessWarning(int count, std::string_view target) {
    return std::to_string(count) + (count == 1 ? " hyperlink" : " hyperlinks") +
           " without an address or place not written to " + std::string(target);
}

} // namespace xls
