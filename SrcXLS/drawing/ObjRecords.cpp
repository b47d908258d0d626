#include "SrcXLS/drawing/ObjRecords.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/FormControls.h"

#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <cstdio>

namespace xls {

namespace {

// Object types whose OBJ records are kept as read: embedded charts.
bool KeptObjectType(int type) {
    return type == objtype::Chart;
}

constexpr size_t TxoSize = 18;
constexpr size_t TextPiece = 8222; // bytes of UTF-16 text per CONTINUE

std::vector<uint8_t> ReadContinue(TXLSStream& stream) {
    return ReadBiffRecord(stream, biff::CONTINUE, "Expected record missing: CONTINUE");
}

} // namespace

// ---- attached objects

std::unique_ptr<TShapeOutsideMso> TShapeOutsideMso::Copy() const {
    throw XLSError("Can not assign this interface");
}

void TShapeOutsideMso::ReadFollowing(TXLSStream&) {}

bool TShapeOutsideMso::ReadText(TXLSStream&) {
    return false;
}

void TShapeOutsideMso::Write(TDrawingOut&) const {}

TShapeOutsideMsoBaseText::TShapeOutsideMsoBaseText(uint16_t objectId, uint8_t kind)
    : TShapeOutsideMso(kind), Txo(TxoSize, 0) {
    ObjectId = objectId;
}

TShapeOutsideMsoBaseText::~TShapeOutsideMsoBaseText() {
    if (runFont) fontPool->ReleaseUse(runFont->PoolIndex);
}

void TShapeOutsideMsoBaseText::HoldRunFont(TXFonts& pool, TXFont& font) {
    if (runFont) fontPool->ReleaseUse(runFont->PoolIndex);
    fontPool = &pool;
    runFont = &font;
    pool.AddUse(font.PoolIndex);
    if (Runs.empty()) Runs.assign(2, TTXORun{});
    Runs.front().Font = uint16_t(font.PoolIndex);
}

void TShapeOutsideMsoBaseText::SetDefaultText() {
    Txo.assign(TxoSize, 0);
    PutU16(Txo.data(), 0x0212);
    Text.clear();
    Runs.assign(2, TTXORun{});
    HasTxo = true;
}

void TShapeOutsideMsoBaseText::SetText(std::u16string_view text) {
    Text = text.substr(0, 0xFFFF);
    HasTxo = true;
}

void TShapeOutsideMsoBaseText::CopyTextTo(TShapeOutsideMsoBaseText& dest) const {
    dest.ObjectId = ObjectId;
    dest.CmoFlags = CmoFlags;
    dest.Txo = Txo;
    dest.Text = Text;
    dest.Runs = Runs;
    dest.HasTxo = HasTxo;
    if (runFont) dest.HoldRunFont(*fontPool, *runFont);
}

std::unique_ptr<TShapeOutsideMso> TShapeOutsideMsoBaseText::Copy() const {
    auto copy = std::make_unique<TShapeOutsideMsoBaseText>(ObjectId, Kind);
    CopyTextTo(*copy);
    return copy;
}

std::unique_ptr<TShapeOutsideMso> TShapeOutsideMsoNote::Copy() const {
    auto copy = std::make_unique<TShapeOutsideMsoNote>(ObjectId);
    CopyTextTo(*copy);
    copy->Col = Col;
    copy->Row = Row;
    copy->NoteFlags = NoteFlags;
    copy->Author = Author;
    copy->Bound = Bound;
    copy->WithoutRecord = WithoutRecord;
    return copy;
}

// The TXO, then the text in CONTINUE records until all its characters are
// there (each piece says by its own flag whether it holds 8-bit or 16-bit
// characters), then the runs in CONTINUE records until all their bytes are.
bool TShapeOutsideMsoBaseText::ReadText(TXLSStream& stream) {
    Txo = ReadBiffRecord(stream, biff::TXO, "Excpected record missing: TXO");
    HasTxo = true;
    TByteReader head(Txo);
    head.Skip(10, "TXO");
    const size_t chars = head.U16("TXO text length");
    const size_t runBytes = head.U16("TXO runs length");
    Text.clear();
    Runs.clear();
    while (Text.size() < chars) {
        std::vector<uint8_t> piece = ReadContinue(stream);
        if (piece.empty()) continue;
        const bool wide = piece[0] & 1;
        const size_t have = wide ? (piece.size() - 1) / 2 : piece.size() - 1;
        const size_t take = std::min(have, chars - Text.size());
        for (size_t i = 0; i < take; ++i)
            Text += wide ? char16_t(GetU16(piece.data() + 1 + 2 * i)) : char16_t(piece[1 + i]);
    }
    if (runBytes == 0 || (chars == 0 && stream.PeekRecordId() != biff::CONTINUE)) return true;
    std::vector<uint8_t> runs;
    while (runs.size() < runBytes) {
        std::vector<uint8_t> piece = ReadContinue(stream);
        runs.insert(runs.end(), piece.begin(), piece.end());
    }
    for (size_t p = 0; p + 8 <= std::min(runs.size(), runBytes); p += 8)
        Runs.push_back({GetU16(&runs[p]), GetU16(&runs[p + 2]), GetU32(&runs[p + 4])});
    return true;
}

void TShapeOutsideMsoBaseText::Write(TDrawingOut& out) const {
    if (!HasTxo) return;
    // The ClientTextbox goes into an MSODRAWING of its own.
    out.Header(0, 0, mso::ClientTextbox, 0);
    TXLSStream& stream = out.Biff();

    std::vector<TTXORun> runs = Runs;
    if (runFont && !runs.empty()) runs.front().Font = uint16_t(runFont->PoolIndex);
    if (!Text.empty() && runs.size() < 2) {
        uint16_t font = runs.empty() ? 0 : runs.front().Font;
        runs = {TTXORun{0, font, 0}, TTXORun{}};
    }
    if (!runs.empty()) runs.back().FirstChar = uint16_t(Text.size());
    std::vector<uint8_t> txo = Txo;
    if (txo.size() < TxoSize) txo.resize(TxoSize);
    PutU16(txo.data() + 10, uint16_t(Text.size()));
    PutU16(txo.data() + 12, Text.empty() ? 0 : uint16_t(8 * runs.size()));
    stream.WriteRawRecord(biff::TXO, txo.data(), uint16_t(txo.size()));
    if (Text.empty()) return;

    std::vector<uint8_t> piece;
    for (size_t at = 0; at < Text.size();) {
        size_t n = std::min(TextPiece / 2, Text.size() - at);
        piece.assign(1, 1);
        TByteWriter w(piece);
        for (size_t i = 0; i < n; ++i) w.U16(Text[at + i]);
        stream.WriteRawRecord(biff::CONTINUE, piece.data(), uint16_t(piece.size()));
        at += n;
    }
    std::vector<uint8_t> runBytes;
    TByteWriter w(runBytes);
    for (const auto& r : runs) {
        w.U16(r.FirstChar);
        w.U16(r.Font);
        w.U32(r.Reserved);
    }
    // Many runs need several records.
    for (size_t at = 0; at < runBytes.size(); at += 8224) {
        size_t n = std::min<size_t>(8224, runBytes.size() - at);
        stream.WriteRawRecord(biff::CONTINUE, runBytes.data() + at, uint16_t(n));
    }
}

// ---- controls and charts kept as read

TShapeOutsideMsoKept::TShapeOutsideMsoKept(int objectType, std::vector<uint8_t> objBody)
    : TShapeOutsideMso(objectType == objtype::Chart ? okChart : okOther), ObjBody(std::move(objBody)),
      objectType(objectType) {
    WritesOwnObj = true;
    if (ObjBody.size() >= 10) {
        ObjectId = GetU16(ObjBody.data() + 6);
        CmoFlags = GetU16(ObjBody.data() + 8);
    }
}

void TShapeOutsideMsoKept::SetObjectId(uint16_t id) {
    ObjectId = id;
    if (ObjBody.size() >= 8) PutU16(ObjBody.data() + 6, id);
}

// An embedded chart's substream follows its OBJ: kept whole, nested
// substreams included.
void TShapeOutsideMsoKept::ReadFollowing(TXLSStream& stream) {
    if (objectType != objtype::Chart || stream.PeekRecordId() != biff::BOF) return;
    int depth = 0;
    do {
        TBIFFHeader h;
        if (stream.ReadHeader(h) != 4) throw XLSError("Bad record in file");
        std::vector<uint8_t> body(h.Length);
        int got = IsBOFId(h.Id) ? stream.ReadUnencrypted(body.data(), h.Length)
                                : stream.ReadRecordData(body.data(), h.Length);
        if (got != h.Length) throw XLSError("Bad record in file");
        if (IsBOFId(h.Id)) ++depth;
        if (h.Id == biff::EOF_RECORD) --depth;
        Following.push_back({h.Id, std::move(body)});
    } while (depth > 0);
}

bool TShapeOutsideMsoKept::ReadText(TXLSStream& stream) {
    Caption = std::make_unique<TShapeOutsideMsoBaseText>(ObjectId, okOther);
    return Caption->ReadText(stream);
}

void TShapeOutsideMsoKept::Write(TDrawingOut& out) const {
    out.Biff().WriteRawRecord(biff::OBJ, ObjBody.data(), uint16_t(ObjBody.size()));
    if (Caption) Caption->Write(out);
    for (const auto& r : Following) out.Biff().WriteRawRecord(r.Id, r.Body.data(), uint16_t(r.Body.size()));
}

// ---- the OBJ record

std::vector<uint8_t> CmoBody(uint16_t objectType, uint16_t objectId, uint16_t flags) {
    std::vector<uint8_t> body(18, 0);
    PutU16(body.data(), objectType);
    PutU16(body.data() + 2, objectId);
    PutU16(body.data() + 4, flags);
    return body;
}

namespace {
// Bytes after the ftEnd that are not zero are damage, left out.
void TrimAfterEnd(std::vector<uint8_t>& body) {
    for (size_t at = 0; at + 4 <= body.size(); at += 4 + GetU16(body.data() + at + 2))
        if (GetU16(body.data() + at) == ft::End) {
            if (std::any_of(body.begin() + std::ptrdiff_t(at + 4), body.end(),
                            [](uint8_t b) { return b != 0; }))
                body.resize(at + 4);
            return;
        }
}
} // namespace

std::unique_ptr<TShapeOutsideMso> ReadObjRecord(TShape& shape, TXLSStream& stream, uint16_t& highestObjectId,
                                                const TObjContext& context) {
    std::vector<uint8_t> body = ReadBiffRecord(stream, biff::OBJ, "Expected record missing: OBJ");
    TrimAfterEnd(body);
    shape.ObjSubRecords.clear();
    shape.ObjTail.clear();
    // The first sub-record is the ftCmo that names the object.
    if (body.size() >= 10 && GetU16(body.data()) == ft::Cmo && GetU16(body.data() + 2) >= 4) {
        highestObjectId = std::max(highestObjectId, GetU16(body.data() + 6));
        int type = GetU16(body.data() + 4);
        if (KeptObjectType(type) && context.Group)
            return std::make_unique<TShapeOutsideMsoChart>(GetU16(body.data() + 6), *context.Group,
                                                           context.Fonts, std::move(body));
        if (KeptObjectType(type)) return std::make_unique<TShapeOutsideMsoKept>(type, std::move(body));
    }
    TByteReader r(body);
    int objectType = -1;
    while (!r.AtEnd()) {
        if (r.Remaining() < 4) break;
        const uint16_t type = r.U16(), cb = r.U16();
        if (type == ft::LbsData) {
            // Its cb is not to be trusted: a list box's data runs to the end
            // of the record, any other's to the ftEnd before it.
            size_t n = objectType == objtype::ListBox ? r.Remaining()
                                                      : r.Remaining() - std::min<size_t>(4, r.Remaining());
            auto data = r.Bytes(n);
            shape.ObjSubRecords.push_back({type, {data.begin(), data.end()}, cb});
            if (objectType == objtype::ListBox) {
                shape.ObjSubRecords.push_back({ft::End, {}});
                break;
            }
            continue;
        }
        if (type == ft::End) {
            shape.ObjSubRecords.push_back({ft::End, {}});
            break;
        }
        if (type < 0x04 || type > 0x15) {
            char message[40];
            std::snprintf(message, sizeof message, "Unknown OBJ record %.2X", unsigned(type));
            throw XLSError(message);
        }
        auto data = r.Bytes(cb, "OBJ sub-record");
        if (type == ft::Cmo && cb >= 4) {
            objectType = GetU16(data.data());
            highestObjectId = std::max(highestObjectId, GetU16(data.data() + 2));
        }
        shape.ObjSubRecords.push_back({type, {data.begin(), data.end()}});
    }
    // Zero bytes after the ftEnd are reserved; others are damage, left out.
    auto tail = r.Bytes(r.Remaining());
    if (std::all_of(tail.begin(), tail.end(), [](uint8_t b) { return b == 0; }))
        shape.ObjTail.assign(tail.begin(), tail.end());
    // A control takes its fields from the sub-records and writes its OBJ itself.
    if (auto control = CreateControl(objectType, shape.ObjSubRecords, context.Names)) {
        shape.ObjSubRecords.clear();
        shape.ObjTail.clear();
        return control;
    }
    return nullptr;
}

void WriteObjRecord(const TShape& shape, TXLSStream& stream) {
    std::vector<uint8_t> body;
    TByteWriter w(body);
    for (const auto& s : shape.ObjSubRecords) {
        w.U16(s.Ft);
        w.U16(uint16_t(s.Body.size()));
        w.Bytes(s.Body.data(), s.Body.size());
    }
    w.Bytes(shape.ObjTail.data(), shape.ObjTail.size());
    if (body.size() > 0xFFFF) throw XLSError("OBJ record too long");
    stream.WriteRawRecord(biff::OBJ, body.data(), uint16_t(body.size()));
}

std::unique_ptr<TShapeOutsideMso> CreateAttachedObject(const TShape& shape) {
    const int type = shape.ObjectType();
    const uint16_t id = uint16_t(std::max(shape.ObjectId(), 0));
    std::unique_ptr<TShapeOutsideMso> object;
    if (type == objtype::Note) {
        object = std::make_unique<TShapeOutsideMsoNote>(id);
    } else if (type == objtype::Text) {
        object = std::make_unique<TShapeOutsideMsoBaseText>(id, okTextBox);
    } else if (shape.Opt.Find(128)) {
        uint8_t kind = type == objtype::Label       ? okLabel
                       : type == objtype::GroupBox  ? okGroupBox
                       : type == objtype::AutoShape ? okAutoShapeText
                                                    : okOther;
        object = std::make_unique<TShapeOutsideMsoBaseText>(id, kind);
    }
    if (object && shape.Cmo()) object->CmoFlags = GetU16(shape.Cmo()->data() + 4);
    return object;
}

// ---- NOTE

TNoteRecord DecodeNote(std::span<const uint8_t> body) {
    TByteReader r(body);
    TNoteRecord n;
    n.Row = r.U16("NOTE");
    n.Col = r.U16("NOTE");
    n.Flags = r.U16("NOTE");
    n.ObjectId = r.U16("NOTE");
    if (r.Remaining() < 2) return n;
    size_t chars = r.U16();
    if (chars == 0 || r.AtEnd()) return n;
    const bool wide = r.U8() & 1;
    // An author past the end of the record keeps what the record holds.
    if ((wide ? 2 * chars : chars) > r.Remaining()) {
        chars = wide ? r.Remaining() / 2 : r.Remaining();
        n.AuthorCut = true;
    }
    auto bytes = r.Bytes(wide ? 2 * chars : chars, "NOTE author");
    for (size_t i = 0; i < chars; ++i)
        n.Author += wide ? char16_t(GetU16(bytes.data() + 2 * i)) : char16_t(bytes[i]);
    return n;
}

void AddOldNote(std::vector<TOldNote>& notes, std::span<const uint8_t> body, int codePage) {
    TByteReader r(body);
    const uint16_t row = r.U16("NOTE"), col = r.U16("NOTE");
    const size_t chars = r.U16("NOTE");
    auto text = r.Bytes(std::min(chars, r.Remaining()));
    std::u16string wide =
        CodePageToWide(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), codePage);
    if (row == 0xFFFF && !notes.empty())
        notes.back().Text += wide;
    else if (row != 0xFFFF)
        notes.push_back({row, col, std::move(wide)});
}

std::vector<uint8_t> EncodeNote(const TNoteRecord& note) {
    std::vector<uint8_t> body;
    TByteWriter w(body);
    w.U16(note.Row);
    w.U16(note.Col);
    w.U16(note.Flags);
    w.U16(note.ObjectId);
    std::u16string_view author = std::u16string_view(note.Author).substr(0, 0xFFFF);
    w.U16(uint16_t(author.size()));
    w.U8(author.empty() ? 0 : 1);
    for (char16_t c : author) w.U16(c);
    return body;
}

} // namespace xls
