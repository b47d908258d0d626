#include "SrcXLS/drawing/ChartRecords.h"

#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <string_view>

namespace xls {

namespace {

// Chart records nest a few levels deep; deeper files are refused.
constexpr int MaxChartDepth = 64;
// An MSODRAWING of this size or less holds a drawing without shapes.
constexpr uint32_t EmptyDrawing = 80;

std::vector<uint8_t> Hex(std::string_view text) {
    std::vector<uint8_t> out;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(uint8_t(digit(text[i]) << 4 | digit(text[i + 1])));
    return out;
}

} // namespace

// ---- the tree

TChartRecord::TChartRecord(TChartRecord* parent, uint16_t id, std::vector<uint8_t> body)
    : Id(id), Body(std::move(body)), parent(parent) {}

TChartRecord::~TChartRecord() = default;

TChartRecord& TChartRecord::Insert(std::unique_ptr<TChartRecord> record, int index) {
    record->parent = this;
    if (index < 0 || index > Count()) index = Count();
    return **children.insert(children.begin() + index, std::move(record));
}

TChartRecord& TChartRecord::Add(uint16_t id, std::vector<uint8_t> body) {
    return Insert(std::make_unique<TChartRecord>(this, id, std::move(body)));
}

void TChartRecord::Delete(int index) {
    if (index >= 0 && index < Count()) children.erase(children.begin() + index);
}

int TChartRecord::IndexOf(const TChartRecord* child) const {
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i].get() == child) return int(i);
    return -1;
}

TChartRecord* TChartRecord::Find(uint16_t id) const {
    for (const auto& c : children)
        if (c->Id == id) return c.get();
    return nullptr;
}

TChartRecord& TChartRecord::Root() {
    TChartRecord* r = this;
    while (r->parent && r->Id != chartid::Root) r = r->parent;
    return *r;
}

TChartRecord* TChartRecord::FindFBI(int fontIndex) {
    TChartRecord& root = Root();
    for (const auto& c : root.children)
        if (c->Id == chartid::FBI && c->Body.size() >= 10 && GetU16(c->Body.data() + 8) == fontIndex)
            return c.get();
    return nullptr;
}

void TChartRecord::Grow(int delta) {
    Body.resize(size_t(std::max<int64_t>(0, int64_t(Body.size()) + delta)));
}

// ---- reading

namespace {

std::vector<uint8_t> ReadBody(TXLSStream& stream, const TBIFFHeader& h) {
    std::vector<uint8_t> body(h.Length);
    int got = IsBOFId(h.Id) ? stream.ReadUnencrypted(body.data(), h.Length)
                            : stream.ReadRecordData(body.data(), h.Length);
    if (got != h.Length) throw XLSError("Bad record in file");
    return body;
}

// The workbook font at a file's index, nullptr beyond the pool.
TXFont* PoolFont(TXFonts* fonts, int index) {
    return fonts ? fonts->GetItem(index) : nullptr;
}

} // namespace

void ReadChartRecords(TChartRecord& root, TXLSStream& stream, const TChartReadContext& context) {
    TChartRecord* current = &root;
    int depth = 0;
    // Substreams inside this one end with EOFs of their own.
    bool haveBof = root.Count() > 0 && IsBOFId(root.Child(0).Id);
    int nested = 0;
    TBIFFHeader h;
    while (stream.ReadHeader(h) == 4) {
        if (IsBOFId(h.Id)) {
            if (haveBof) ++nested;
            haveBof = true;
        }
        switch (h.Id) {
        case chartid::BEGIN: {
            ReadBody(stream, h);
            if (++depth > MaxChartDepth) throw XLSError("Chart records nested too deeply");
            if (current->Count() > 0) current = &current->Child(current->Count() - 1);
            continue;
        }
        case chartid::END:
            ReadBody(stream, h);
            // An END at the top has nothing to close: the chart goes on.
            if (depth > 0) {
                --depth;
                current = current->Parent() ? current->Parent() : &root;
            }
            continue;
        case chartid::EOF_RECORD:
            if (nested > 0) {
                --nested;
                break;
            }
            // Levels left open close here: the EOF ends the substream.
            root.Add(h.Id, ReadBody(stream, h));
            return;
        case chartid::MSODRAWING:
            if (h.Length > EmptyDrawing && context.Owner && !context.Owner->ChartDrawing()) {
                current->Add(h.Id).DrawingMarker = true;
                TEscherDrawing& drawing = context.Owner->NewChartDrawing();
                drawing.ReadDrawing(stream, h.Length);
                // What it left out is told among the workbook's warnings.
                for (const std::string& w : drawing.TakeReadWarnings())
                    if (drawing.Group().OnWarning) drawing.Group().OnWarning("a chart's " + w);
                continue;
            }
            if (h.Length > EmptyDrawing && !context.Owner)
                throw XLSError("Chart record parent is not of excpected type");
            break;
        case chartid::FONTX: {
            std::vector<uint8_t> body = ReadBody(stream, h);
            TChartRecord& node = current->Add(h.Id, body);
            node.FileFont = body.size() >= 2 ? GetU16(body.data()) : 0;
            TChartRecord* fbi = node.FindFBI(node.FileFont);
            node.Font = fbi ? fbi->Font : PoolFont(context.Fonts, node.FileFont);
            continue;
        }
        case chartid::FBI: {
            std::vector<uint8_t> body = ReadBody(stream, h);
            TChartRecord& node = current->Add(h.Id, body);
            node.FileFont = body.size() >= 10 ? GetU16(body.data() + 8) : 0;
            node.Font = PoolFont(context.Fonts, node.FileFont);
            // Cell formats never share or release a chart's font.
            if (node.Font) node.Font->IsDefault = true;
            continue;
        }
        case chartid::GELFRAME: {
            std::vector<uint8_t> body = ReadBody(stream, h);
            while (stream.PeekRecordId() == chartid::GELFRAME || stream.PeekRecordId() == biff::CONTINUE) {
                TBIFFHeader more;
                stream.ReadHeader(more);
                std::vector<uint8_t> piece = ReadBody(stream, more);
                body.insert(body.end(), piece.begin(), piece.end());
            }
            // Two frames in a row (records between them that the tree does
            // not keep, such as an END without its BEGIN) are one, as they
            // are written next to each other and read back.
            if (const int n = current->Count(); n > 0 && current->Child(n - 1).Id == chartid::GELFRAME &&
                                                current->Child(n - 1).Count() == 0) {
                std::vector<uint8_t>& joined = current->Child(n - 1).Body;
                joined.insert(joined.end(), body.begin(), body.end());
            } else {
                current->Add(h.Id, std::move(body));
            }
            continue;
        }
        default:
            break;
        }
        current->Add(h.Id, ReadBody(stream, h));
    }
    throw XLSError("Chart substream ends before its EOF");
}

// ---- writing

void WriteChartRecords(const TChartRecord& parent, TXLSStream& stream, const TChartDrawingOwner* owner) {
    for (int i = 0; i < parent.Count(); ++i) {
        TChartRecord& r = parent.Child(i);
        if (r.OnUpdate) r.OnUpdate(r);
        if (r.DrawingMarker) {
            const TEscherDrawing* drawing = owner ? owner->ChartDrawing() : nullptr;
            if (!owner) throw XLSError("Chart record parent is not of excpected type");
            if (drawing) drawing->WriteDrawing(stream);
        } else if (r.Id == chartid::FONTX) {
            stream.WriteHeader(r.Id, 2);
            stream.WriteWord(uint16_t(r.Font ? r.Font->PoolIndex : r.FileFont));
        } else if (r.Id == chartid::FBI) {
            std::vector<uint8_t> body = r.Body;
            body.resize(std::max<size_t>(body.size(), 10));
            PutU16(body.data() + 8, uint16_t(r.Font ? r.Font->PoolIndex : r.FileFont));
            stream.WriteRawRecord(r.Id, body.data(), 10);
        } else if (r.Id == chartid::GELFRAME) {
            stream.WriteLongRecord(r.Id, r.Body.data(), r.Body.size());
        } else {
            if (r.Body.size() > 0xFFFF) throw XLSError("Chart record too long");
            stream.WriteRawRecord(r.Id, r.Body.data(), uint16_t(r.Body.size()));
        }
        if (r.Count() > 0) {
            stream.WriteHeader(chartid::BEGIN, 0);
            WriteChartRecords(r, stream, owner);
            stream.WriteHeader(chartid::END, 0);
        }
    }
}

// ---- built-in sequences

namespace {

constexpr uint16_t TextBlock = 0xF001;

struct TEntry {
    uint16_t Id;
    const char* Body;
};

// The whole default chart; its series part (kind 2) starts at entry 22.
constexpr TEntry DefaultChart[] = {
    {0x0809, "000620004618CD07C180000006020000"},
    {0x0014, ""},
    {0x0015, ""},
    {0x0083, "0000"},
    {0x0084, "0000"},
    {0x00A1, "09006400010001000100000058025802000000000000E03F000000000000E03F0100"},
    {0x0033, "0300"},
    {0x1060, "08165712A0000000F00000000000"},
    {0x1060, "08165712A0000100F10000000000"},
    {0x0012, "0000"},
    {0x1001, "0000"},
    {0x1002, "0000000000000000E87F21010040BF00"},
    {0x1033, ""},
    {0x00A0, "01000100"},
    {0x1064, "0000010000000100"},
    {0x1032, "00000200"},
    {0x1033, ""},
    {0x1007, "000000000000000009004D00"},
    {0x100A, "FFFFFF0000000000010001004E004D00"},
    {0x1034, ""},
    {0x1003, "010001000A000A0001000000"},
    {0x1033, ""},
    {0x1051, "0001000000000000"},
    {0x1051, "0102000000000B003B00000000090000000000"},
    {0x1051, "0200000000000000"},
    {0x1051, "0301000000000000"},
    {0x1006, "FFFF000000000000"},
    {0x1033, ""},
    {0x105F, "0000"},
    {0x1034, ""},
    {0x1045, "0000"},
    {0x1034, ""},
    {0x1044, "0A000000"},
    {0x1024, "0200"},
    {0x1025, "0202010000000000CBFFFFFFAEFFFFFF0000000000000000B1004D00A0090000"},
    {0x1033, ""},
    {0x104F, "0200020000000000000000000000000000000000"},
    {0x1026, "F000"},
    {0x1051, "0001000000000000"},
    {0x1034, ""},
    {0x1024, "0300"},
    {0x1025, "0202010000000000CBFFFFFFAEFFFFFF0000000000000000B1004D00A0090000"},
    {0x1033, ""},
    {0x104F, "0200020000000000000000000000000000000000"},
    {0x1026, "F100"},
    {0x1051, "0001000000000000"},
    {0x1034, ""},
    {0x1046, "0100"},
    {0x1041, "00009401000047010000230B0000FD0B0000"},
    {0x1033, ""},
    {0x104F, "020002006A000000A30000004D0C0000590E0000"},
    {0x101D, "000000000000000000000000000000000000"},
    {0x1033, ""},
    {0x1020, "0100010001000100"},
    {0x1062, "00000000010000000100000000000000EF00"},
    {0x101E, "02000301000000000000000000000000000000000000000023004D000000"},
    {0x1034, ""},
    {0x101D, "010000000000000000000000000000000000"},
    {0x1033, ""},
    {0x101F, "000000000000000000000000000000000000000000000000000000000000000000000000000000001F01"},
    {0x101E, "02000301000000000000000000000000000000000000000023004D000000"},
    {0x1021, "0100"},
    {0x1007, "000000000000FFFF09004D00"},
    {0x1034, ""},
    {0x1035, ""},
    {0x1032, "00000300"},
    {0x1033, ""},
    {0x1007, "808080000000000000001700"},
    {0x100A, "C0C0C000000000000100000016004F00"},
    {0x1034, ""},
    {0x1014, "0000000000000000000000000000000000000000"},
    {0x1033, ""},
    {0x1017, "000096000000"},
    {0x1022, "00000000000000000F00"},
    {0x1015, "DB0D0000AB06000085010000F400000003011F00"},
    {TextBlock, ""},
    {0x1034, ""},
    {0x1034, ""},
    {0x1034, ""},
    {0x1065, "0200"},
    {0x1065, "0100"},
    {0x1065, "0300"},
    {0x000A, ""},
};

constexpr TEntry TextBlockEntries[] = {
    {0x1033, ""},
    {0x104F, "05000200DB0D0000AB0600000000000000000000"},
    {0x1025, "0202010000000000AFFFFFFF86FFFFFF0000000000000000B1004D00A0150000"},
    {0x1033, ""},
    {0x104F, "0200020000000000000000000000000000000000"},
    {0x1051, "0001000000000000"},
    {0x1034, ""},
    {0x1034, ""},
};

constexpr TEntry DataFormatChildren[] = {
    {0x105F, "0000"},
    {0x1007, "000000000000000001004F00"},
    {0x100A, "CCFFCC00FFFFFF00010000002A000900"},
    {0x100B, "0000"},
    {0x1009, "0000000000000000020001004D004D003C000000"},
};

// Kinds 4 to 10: the group record, then the legend and its text; the
// groups of kinds 4, 8, 9 and 10 add a default data format.
constexpr TEntry GroupRecords[] = {
    {0x101A, "0000"},     {0x1017, "000096000100"}, {0x1018, "0000"}, {0x1019, "000000000200"},
    {0x103E, "01001200"}, {0x101B, "640001000000"}, {0x103F, "0100"},
};

constexpr TEntry GroupTail[] = {
    {0x1022, "00000000000000000F00"},
    {0x1015, "DB0D0000AB06000085010000F400000003011F00"},
    {TextBlock, ""},
};

constexpr TEntry GroupDataFormat[] = {
    {0x1006, "00000000FDFF0000"},
    {0x1033, ""},
    {0x105F, "0000"},
    {0x1007, "000000000000FFFF09004D00"},
    {0x100A, "FFFFFF0000000000010001004E004D00"},
    {0x100B, "0000"},
    {0x1009, "0000000000000000000000004D004D003C000000"},
    {0x1034, ""},
};

void InsertEntries(TChartRecord& node, std::span<const TEntry> entries, TXFonts* fonts) {
    TChartRecord* current = &node;
    int depth = 0;
    for (const TEntry& e : entries) {
        switch (e.Id) {
        case chartid::BEGIN:
            if (current->Count() == 0) throw XLSError("[int] BEGIN without a record before it");
            current = &current->Child(current->Count() - 1);
            ++depth;
            continue;
        case chartid::END:
            if (depth == 0) return;
            --depth;
            current = current->Parent();
            continue;
        case chartid::EOF_RECORD:
            current->Add(e.Id);
            return;
        case TextBlock:
            InsertEntries(*current, TextBlockEntries, fonts);
            continue;
        case chartid::FONTX: {
            TChartRecord& r = current->Add(e.Id, Hex(e.Body));
            r.FileFont = GetU16(r.Body.data());
            if (TChartRecord* fbi = r.FindFBI(r.FileFont)) r.Font = fbi->Font;
            continue;
        }
        case chartid::FBI: {
            TChartRecord& r = current->Add(e.Id, Hex(e.Body));
            r.FileFont = GetU16(r.Body.data() + 8);
            if (fonts) {
                r.Font = fonts->Add();
                r.Font->IsDefault = true;
            }
            continue;
        }
        default:
            current->Add(e.Id, Hex(e.Body));
        }
    }
}

} // namespace

void InsertDefaultChartRecords(TChartRecord& node, int kind, TXFonts* fonts) {
    switch (kind) {
    case 0:
        InsertEntries(node, DefaultChart, fonts);
        return;
    case 1:
        InsertEntries(node, TextBlockEntries, fonts);
        return;
    case 2:
        InsertEntries(node, std::span<const TEntry>(DefaultChart).subspan(22), fonts);
        return;
    case 3:
        InsertEntries(node, DataFormatChildren, fonts);
        return;
    default:
        break;
    }
    if (kind < 4 || kind > 10) throw XLSError("Unknown chart kind");
    std::vector<TEntry> entries{GroupRecords[kind - 4]};
    entries.insert(entries.end(), std::begin(GroupTail), std::end(GroupTail));
    if (kind == 4 || kind >= 8)
        entries.insert(entries.end(), std::begin(GroupDataFormat), std::end(GroupDataFormat));
    InsertEntries(node, entries, fonts);
}

// ---- embedded charts

TShapeOutsideMsoChart::TShapeOutsideMsoChart(uint16_t objectId, TEscherGroup& group, TXFonts* fonts,
                                             std::vector<uint8_t> objBody)
    : TShapeOutsideMso(okChart), ObjBody(std::move(objBody)), group(group), fonts(fonts) {
    WritesOwnObj = true;
    ObjectId = objectId;
    if (ObjBody.size() >= 10) CmoFlags = GetU16(ObjBody.data() + 8);
}

TShapeOutsideMsoChart::~TShapeOutsideMsoChart() = default;

std::unique_ptr<TShapeOutsideMso> TShapeOutsideMsoChart::Copy() const {
    throw XLSError("Chart Assign not implemented");
}

void TShapeOutsideMsoChart::SetObjectId(uint16_t id) {
    ObjectId = id;
    if (ObjBody.size() >= 8) PutU16(ObjBody.data() + 6, id);
}

TEscherDrawing& TShapeOutsideMsoChart::NewChartDrawing() {
    drawing = std::make_unique<TEscherDrawing>(group, fonts);
    return *drawing;
}

void TShapeOutsideMsoChart::ReadFollowing(TXLSStream& stream) {
    if (!IsBOFId(stream.PeekRecordId())) return;
    ReadChartRecords(Root, stream, {fonts, this});
}

void TShapeOutsideMsoChart::Write(TDrawingOut& out) const {
    TXLSStream& stream = out.Biff();
    stream.WriteRawRecord(biff::OBJ, ObjBody.data(), uint16_t(ObjBody.size()));
    WriteChartRecords(Root, stream, this);
}

// ---- chart sheets

TSheetChart::TSheetChart(TEscherGroup& group, TXFonts* fonts) : group(group), fonts(fonts) {}

TSheetChart::~TSheetChart() = default;

TEscherDrawing& TSheetChart::NewChartDrawing() {
    drawing = std::make_unique<TEscherDrawing>(group, fonts);
    return *drawing;
}

TSheetChart& TSheetCharts::ReadChart(TXLSStream& stream, std::u16string_view name, int sheetIndex,
                                     std::span<const uint8_t> bofBody) {
    TSheetChart& chart = Insert(std::make_unique<TSheetChart>(group, fonts));
    chart.Name = name;
    chart.SheetIndex = sheetIndex;
    chart.Root.Add(chartid::BOF, {bofBody.begin(), bofBody.end()});
    ReadChartRecords(chart.Root, stream, {fonts, &chart});
    return chart;
}

void TSheetCharts::WriteChart(int index, TXLSStream& stream) const {
    const TSheetChart& chart = GetItem(index);
    WriteChartRecords(chart.Root, stream, &chart);
}

} // namespace xls
