#include "SrcXLS/drawing/DrawingGroup.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/EscherDrawing.h"

#include <algorithm>
#include <set>

namespace xls {

namespace {

constexpr uint16_t MSODRAWINGGROUP = 0x00EB;
constexpr uint32_t ClusterSize = 1024;
// Shape ids stay below this.
constexpr uint32_t MaxShapeId = 0x03FFD7FF;
constexpr size_t BSESize = 36;
constexpr size_t MetaHeaderSize = 34;

// Blip instances of the picture types (one UID).
uint16_t BlipInstanceOf(uint8_t type) {
    switch (type) {
    case pictype::EMF:
        return 0x3D4;
    case pictype::WMF:
        return 0x216;
    case pictype::PICT:
        return 0x542;
    case pictype::JPEG:
        return 0x46A;
    case pictype::PNG:
        return 0x6E0;
    case pictype::DIB:
        return 0x7A8;
    default:
        return 0;
    }
}

[[noreturn]] void GroupLength() {
    throw XLSError("Error while reading MSODRAWINGGROUP. Length < 0");
}

} // namespace

// ---- clusters

void TDGG::Write(std::vector<uint8_t>& out) {
    std::set<const TEscherDrawing*> drawings;
    TotalShapesSaved = 0;
    for (size_t k = 0; k < Entries.size(); ++k) {
        TDGGData& e = Entries[k];
        // A cluster of a drawing kept as read (an embedded chart's) or not
        // written (one without shapes) counts the shapes it says it has.
        if (!e.Drawing || e.Drawing->ShapeCount() == 0) {
            if (e.DrawingId) TotalShapesSaved += e.ShapesUsed;
            continue;
        }
        if (drawings.insert(e.Drawing).second) TotalShapesSaved += uint32_t(e.Drawing->ShapeCount()) + 1;
        if (!e.Changed) continue;
        // Ids used in this block, so that a writer adding shapes later
        // takes ids above them.
        const int64_t start = int64_t(k + 1) * ClusterSize;
        e.ShapesUsed =
            uint32_t(std::clamp<int64_t>(int64_t(e.Drawing->NextFreeShapeId()) - start, 0, ClusterSize));
        HighestShapeId = std::max(HighestShapeId, e.Drawing->NextFreeShapeId());
    }
    TMSOHeader{0, 0, mso::Dgg, RecordSize() - 8}.AppendTo(out);
    TByteWriter w(out);
    w.U32(HighestShapeId);
    w.U32(uint32_t(Entries.size()) + 1);
    w.U32(TotalShapesSaved);
    w.U32(DrawingsSaved);
    for (const auto& e : Entries) {
        w.U32(e.DrawingId);
        w.U32(e.ShapesUsed);
    }
}

void TEscherGroup::Clear() {
    Dgg.Entries.clear();
    DefaultProperties.Clear();
    SplitMenuColors.clear();
    Kept = {};
    budgetSet = false;
    storeEntries = 0;
    TCollection<TMSOPicture>::Clear();
}

void TEscherGroup::SetUpDefaults() {
    DefaultProperties.Clear();
    DefaultProperties.Add(191, 0x00080008);
    DefaultProperties.Add(385, 0x08000041);
    DefaultProperties.Add(448, 0x08000040);
    DefaultProperties.FixCount();
    SplitMenuColors = {0x0800000D, 0x0800000C, 0x08000017, 0x100000F7};
    Dgg.TotalShapesSaved = 1;
}

TDGGData& TEscherGroup::ClusterAt(size_t index) {
    if (index >= Dgg.Entries.size()) Dgg.Entries.resize(index + 1);
    return Dgg.Entries[index];
}

// A block no cluster entry has yet: the clusters stay in step with the
// blocks of ids, entry k holding the ids from (k + 1) x 1024.
uint32_t TEscherGroup::NextShapeIdBlock() {
    ShapeIdBase = std::max<uint32_t>(ShapeIdBase, uint32_t(Dgg.Entries.size()) * ClusterSize);
    if (ShapeIdBase > MaxShapeId - 2 * ClusterSize) throw XLSError("Too many drawing shapes in the workbook");
    ShapeIdBase += ClusterSize;
    return ShapeIdBase;
}

std::pair<uint16_t, uint32_t> TEscherGroup::NewDrawing(TEscherDrawing& drawing) {
    if (Dgg.Entries.empty()) SetUpDefaults();
    // Above every id in use: a released drawing in the middle leaves a gap.
    uint32_t id = 0;
    for (const auto& e : Dgg.Entries) id = std::max(id, e.DrawingId);
    if (id >= 0xFFFF) throw XLSError("Too many drawings in the workbook");
    ++id;
    const uint32_t first = NextShapeIdBlock();
    ClusterAt(first / ClusterSize - 1) = {id, 0, &drawing, true};
    ++Dgg.DrawingsSaved;
    return {uint16_t(id), first};
}

uint32_t TEscherGroup::NewCluster(TEscherDrawing& drawing) {
    const uint32_t first = NextShapeIdBlock();
    ClusterAt(first / ClusterSize - 1) = {drawing.DrawingId(), 0, &drawing, true};
    return first;
}

bool TEscherGroup::OwnsCluster(uint32_t drawingId, uint32_t shapeId) const {
    if (shapeId < ClusterSize || drawingId == 0) return false;
    size_t index = shapeId / ClusterSize - 1;
    return index < Dgg.Entries.size() && Dgg.Entries[index].DrawingId == drawingId;
}

std::pair<uint16_t, uint32_t> TEscherGroup::RegisterDrawing(TEscherDrawing& drawing) {
    const uint32_t id = drawing.DrawingId();
    if (id == 0) return {0, 0};
    // Another drawing of the workbook has this id (a file that gives two
    // sheets one id): this one gets an id and a block of its own.
    for (const auto& e : Dgg.Entries)
        if (e.DrawingId == id && e.Drawing && e.Drawing != &drawing) return NewDrawing(drawing);
    bool found = false;
    for (auto& e : Dgg.Entries)
        if (e.DrawingId == id) {
            e.Drawing = &drawing;
            e.Changed = false;
            found = true;
        }
    if (!found) {
        // The cluster of its root's block when that is free, else one more.
        TDGGData entry{id, uint32_t(drawing.ShapeCount()) + 1, &drawing, false};
        const uint32_t rootId = drawing.Root().ShapeId;
        const size_t index = rootId / ClusterSize;
        const size_t count = Dgg.Entries.size();
        if (index > 0 && index <= count + 16 && (index > count || Dgg.Entries[index - 1].DrawingId == 0))
            ClusterAt(index - 1) = entry;
        else
            Dgg.Entries.push_back(entry);
    }
    std::set<uint32_t> ids;
    for (const auto& e : Dgg.Entries)
        if (e.DrawingId) ids.insert(e.DrawingId);
    Dgg.DrawingsSaved = std::max<uint32_t>(Dgg.DrawingsSaved, uint32_t(ids.size()));
    return {uint16_t(id), 0};
}

void TEscherGroup::TouchDrawing(uint32_t drawingId) {
    bool found = false;
    for (auto& e : Dgg.Entries)
        if (e.DrawingId == drawingId && drawingId != 0) e.Changed = found = true;
    if (!found) throw XLSError("Can not update FIDCL for DgId #" + std::to_string(drawingId));
}

void TEscherGroup::DetachDrawing(const TEscherDrawing& drawing) {
    for (auto& e : Dgg.Entries)
        if (e.Drawing == &drawing) e.Drawing = nullptr;
}

void TEscherGroup::ReleaseDrawing(uint32_t drawingId) {
    if (Dgg.Entries.empty()) return;
    bool found = false;
    for (auto& e : Dgg.Entries)
        if (e.DrawingId == drawingId && drawingId != 0) {
            e = TDGGData{};
            found = true;
        }
    if (!found) throw XLSError("Can not delete FIDCL for DgId #" + std::to_string(drawingId));
    while (!Dgg.Entries.empty() && Dgg.Entries.back().DrawingId == 0) Dgg.Entries.pop_back();
    if (Dgg.DrawingsSaved > 0) --Dgg.DrawingsSaved;
}

// ---- reading

void TEscherGroup::ReadDrawingGroup(TXLSStream& stream, uint32_t recordLength) {
    // The group runs on in CONTINUE (or further MSODRAWINGGROUP) records,
    // each piece with the length its own header gives.
    std::vector<uint8_t> data(recordLength);
    if (stream.ReadRecordData(data.data(), int(recordLength)) != int(recordLength))
        throw XLSError("Bad record in file");
    while (stream.PeekRecordId() == biff::CONTINUE || stream.PeekRecordId() == MSODRAWINGGROUP) {
        TBIFFHeader h;
        stream.ReadHeader(h);
        size_t at = data.size();
        data.resize(at + h.Length);
        if (stream.ReadRecordData(data.data() + at, h.Length) != h.Length)
            throw XLSError("Bad record in file");
    }
    if (data.size() < 8) throw XLSError("Expected record missing: DGGContainer");
    if (!budgetSet) {
        budgetTotal = inflateBudget = PictureInflateBudget(uint64_t(std::max<int64_t>(stream.Size(), 0)));
        budgetSet = true;
    }
    TMSOHeader container = TMSOHeader::Parse(data.data());
    if (container.Type != mso::DggContainer) throw XLSError("Expected record missing: DGGContainer");
    if (container.Length > data.size() - 8) GroupLength();
    TByteReader r(std::span<const uint8_t>(data).subspan(8, container.Length));
    while (!r.AtEnd()) {
        if (r.Remaining() < 8) throw XLSError("MSOHeader split in MSODRAWINGGROUP");
        TMSOHeader h = TMSOHeader::Parse(r.Bytes(8).data());
        if (h.Type == mso::CLSID) throw XLSError("CLSID in MSODRAWINGGROUP");
        if (h.IsContainer() && h.Type != mso::BStoreContainer) {
            Kept.Add(h, {});
            continue;
        }
        if (h.Length > r.Remaining()) GroupLength();
        TByteReader body(r.Bytes(h.Length));
        switch (h.Type) {
        case mso::BStoreContainer:
            ReadBlipStore(body);
            break;
        case mso::Dgg: {
            Dgg.HighestShapeId = body.U32("Dgg");
            const uint32_t clusters = body.U32("Dgg");
            Dgg.TotalShapesSaved = body.U32("Dgg");
            Dgg.DrawingsSaved = body.U32("Dgg");
            Dgg.Entries.clear();
            const size_t count = std::min<size_t>(clusters ? clusters - 1 : 0, body.Remaining() / 8);
            for (size_t i = 0; i < count; ++i) {
                TDGGData e;
                e.DrawingId = body.U32();
                e.ShapesUsed = body.U32();
                Dgg.Entries.push_back(e);
            }
            ShapeIdBase = std::min<uint32_t>(Dgg.HighestShapeId / ClusterSize * ClusterSize,
                                             uint32_t(Dgg.Entries.size()) * ClusterSize);
            break;
        }
        case mso::OPT: {
            auto bytes = body.Bytes(body.Remaining());
            DefaultProperties.Parse(bytes, h.Instance);
            break;
        }
        case mso::ColorMRU:
        case mso::SplitMenuColors: {
            std::vector<uint32_t>& list = h.Type == mso::ColorMRU ? ColorMRU : SplitMenuColors;
            list.clear();
            for (size_t i = 0; i < h.Instance && body.Remaining() >= 4; ++i) list.push_back(body.U32());
            break;
        }
        default: {
            if (h.Length > 8224) throw XLSError("Unknown FBT in MSODRAWINGGROUP to large");
            auto bytes = body.Bytes(body.Remaining());
            Kept.Add(h, {bytes.begin(), bytes.end()});
        }
        }
    }
}

void TEscherGroup::ReadBlipStore(TByteReader& r) {
    // Store entries count on over the groups of a workbook.
    int& counter = storeEntries;
    while (!r.AtEnd()) {
        if (r.Remaining() < 8) throw XLSError("MSOHeader split in MSODRAWINGGROUP");
        // A blip without its BSE is read over.
        TByteReader peek = r;
        TMSOHeader h = TMSOHeader::Parse(peek.Bytes(8).data());
        if (h.Type >= mso::BlipFirst && h.Type <= mso::BlipLast) {
            r.Skip(8);
            if (h.Length > r.Remaining()) GroupLength();
            r.Skip(h.Length);
            continue;
        }
        auto picture = std::make_unique<TMSOPicture>();
        if (ReadBlip(r, *picture, counter)) {
            picture->FileNumber = counter;
            Insert(std::move(picture));
        }
        ++counter;
    }
}

void TEscherGroup::Warn(std::string text) const {
    if (OnWarning) OnWarning(std::move(text));
}

namespace {
const char* PictureTypeName(uint8_t type) {
    switch (type) {
    case pictype::EMF:
        return "EMF";
    case pictype::WMF:
        return "WMF";
    default:
        return "PICT";
    }
}

std::string MiB(uint64_t bytes) {
    return std::to_string((bytes + (uint64_t(1) << 20) - 1) >> 20) + " MiB";
}
} // namespace

bool TEscherGroup::ReadBlip(TByteReader& r, TMSOPicture& picture, int fileNumber) {
    TMSOHeader h = TMSOHeader::Parse(r.Bytes(8).data());
    if (h.Type != mso::BSE) throw XLSError("Expected record missing: BSE");
    const char* mismatch = "Blip size in BSE don't match actually blip";
    if (h.Length > r.Remaining() || h.Length < BSESize) throw XLSError(mismatch);
    TByteReader bse(r.Bytes(h.Length));
    auto fixed = bse.Bytes(BSESize);
    const uint8_t type = fixed[0];
    const uint32_t blipSize = GetU32(fixed.data() + 20);
    picture.RefCount = GetU32(fixed.data() + 24);
    const size_t nameBytes = std::min<size_t>(fixed[33], bse.Remaining());
    picture.Name = WideBufToString(bse.Bytes(nameBytes));
    picture.StoreName = nameBytes > 0;
    // Only an entry with a blip holds a picture; the rest of the BSE is read over.
    if ((type == 0 && h.Length <= BSESize) || bse.Remaining() < 8) return false;
    TMSOHeader bh = TMSOHeader::Parse(bse.Bytes(8).data());
    const bool isBlip = bh.Type >= mso::BlipFirst && bh.Type <= mso::BlipLast;
    // An entry whose count says it is not used may still be a shape's
    // picture: it is read when it holds a sound blip, and kept only when a
    // shape refers to it.
    if (picture.RefCount == 0) {
        if (!isBlip || bh.Length + 8 != blipSize || bh.Length > bse.Remaining()) return false;
        picture.Unreferenced = true;
    }
    if (!isBlip) throw XLSError("Expected record missing: BLIP");
    // The entry is read over whole: a damaged one costs only its picture.
    if (bh.Length + 8 != blipSize || bh.Length > bse.Remaining()) {
        Warn("Picture " + std::to_string(fileNumber + 1) +
             " of the drawing group was left out: its BSE gives " + std::to_string(blipSize) +
             " bytes, its picture record " + std::to_string(uint64_t(bh.Length) + 8) + " and the BSE holds " +
             std::to_string(bse.Remaining() + 8));
        return false;
    }
    TByteReader blip(bse.Bytes(bh.Length));
    TMD4 uid{};
    std::copy_n(blip.Bytes(16, "blip").begin(), 16, uid.begin());
    // Odd instances carry a second UID.
    if (bh.Instance & 1) blip.Skip(16, "blip");
    picture.PictureType = type;
    picture.BlipType = bh.Type;
    picture.BlipInstance = uint16_t(bh.Instance & ~1u);
    if (IsMetafile(type)) {
        auto header = blip.Bytes(MetaHeaderSize, "metafile header");
        picture.MetaHeader.assign(header.begin(), header.end());
        const uint32_t inflated = GetU32(header.data());
        const uint32_t saved = GetU32(header.data() + 28);
        auto data = blip.Bytes(std::min<size_t>(saved, blip.Remaining()));
        // Past the workbook's budget (or a picture's own cap) a picture is
        // not inflated at all.
        const std::string name = "Picture " + std::to_string(fileNumber + 1) + " (" + PictureTypeName(type) +
                                 ", " + MiB(inflated) + " inflated)";
        const bool overCap = inflated > MaxInflatedSize, overBudget = inflated > inflateBudget;
        auto keepCompressed = [&](const std::string& why) {
            picture.Data.assign(data.begin(), data.end());
            picture.KeptCompressed = true;
            Warn(name + " of the drawing group is kept compressed: " + why);
        };
        if (header[32] == 0 && (overCap || overBudget)) {
            keepCompressed(overCap ? "a picture inflates to at most " + MiB(MaxInflatedSize)
                                   : "the pictures of this workbook inflate to at most " + MiB(budgetTotal) +
                                         " together");
        } else if (header[32] == 0) {
            // What a stream inflated counts whether it was whole or not.
            size_t produced = 0;
            auto out = InflateBounded(data, inflated, &produced);
            inflateBudget -= std::min<uint64_t>(produced, inflateBudget);
            if (out)
                picture.Data = std::move(*out);
            else
                keepCompressed("its compressed data is damaged");
        } else {
            picture.Data.assign(data.begin(), data.end());
        }
    } else {
        blip.Skip(1, "blip tag");
        auto data = blip.Bytes(blip.Remaining());
        picture.Data.assign(data.begin(), data.end());
    }
    picture.UID = picture.KeptCompressed ? uid : MD4Digest(picture.Data);
    return type != 0;
}

// ---- writing

void TEscherGroup::WriteBlip(const TMSOPicture& picture, std::vector<uint8_t>& out) const {
    std::vector<uint8_t> blip(picture.UID.begin(), picture.UID.end());
    if (IsMetafile(picture.PictureType)) {
        std::vector<uint8_t> packed = picture.KeptCompressed ? picture.Data : DeflateBytes(picture.Data);
        std::vector<uint8_t> header = picture.MetaHeader;
        if (header.size() != MetaHeaderSize) {
            header.assign(MetaHeaderSize, 0);
            PutU32(header.data() + 12, 100);
            PutU32(header.data() + 16, 100);
        }
        if (!picture.KeptCompressed) {
            PutU32(header.data(), uint32_t(picture.Data.size()));
            header[32] = 0;
        }
        PutU32(header.data() + 28, uint32_t(packed.size()));
        header[33] = 0xFE;
        blip.insert(blip.end(), header.begin(), header.end());
        blip.insert(blip.end(), packed.begin(), packed.end());
    } else {
        blip.push_back(0xFF);
        blip.insert(blip.end(), picture.Data.begin(), picture.Data.end());
    }
    const bool named = BlipInstanceOf(picture.PictureType) != 0;
    const uint16_t instance = named ? BlipInstanceOf(picture.PictureType) : picture.BlipInstance;
    const uint16_t recType =
        named || !picture.BlipType ? uint16_t(mso::BlipFirst + picture.PictureType) : picture.BlipType;
    const uint32_t blipRecord = 8 + uint32_t(blip.size());
    // A name read from a store entry goes back into it, NUL-terminated.
    std::vector<uint8_t> name;
    if (picture.StoreName) {
        for (char16_t c : std::u16string_view(picture.Name).substr(0, 126)) TByteWriter(name).U16(c);
        TByteWriter(name).U16(0);
    }
    TMSOHeader{2, picture.PictureType, mso::BSE, uint32_t(BSESize + name.size()) + blipRecord}.AppendTo(out);
    TByteWriter w(out);
    w.U8(picture.PictureType);
    w.U8(picture.PictureType);
    w.Bytes(picture.UID.data(), 16);
    w.U16(0x00FF);
    w.U32(blipRecord);
    w.U32(picture.RefCount);
    for (int i = 0; i < 5; ++i) w.U8(0);
    w.U8(uint8_t(name.size()));
    w.U16(0x0288);
    w.Bytes(name.data(), name.size());
    TMSOHeader{0, instance, recType, uint32_t(blip.size())}.AppendTo(out);
    w.Bytes(blip.data(), blip.size());
}

void TEscherGroup::WriteDrawingGroup(TXLSStream& stream) {
    std::vector<uint8_t> body;
    Dgg.Write(body);
    if (Count() > 0) {
        std::vector<uint8_t> store;
        for (int i = 0; i < Count(); ++i) WriteBlip(Items(i), store);
        TMSOHeader{15, uint16_t(Count()), mso::BStoreContainer, uint32_t(store.size())}.AppendTo(body);
        body.insert(body.end(), store.begin(), store.end());
    }
    std::vector<uint8_t> opt;
    DefaultProperties.AppendBody(opt);
    TMSOHeader{3, DefaultProperties.Count, mso::OPT, uint32_t(opt.size())}.AppendTo(body);
    body.insert(body.end(), opt.begin(), opt.end());
    Kept.AppendTo(body);
    TByteWriter w(body);
    if (!ColorMRU.empty()) {
        TMSOHeader{0, uint16_t(ColorMRU.size()), mso::ColorMRU, 4 * uint32_t(ColorMRU.size())}.AppendTo(body);
        for (uint32_t c : ColorMRU) w.U32(c);
    }
    TMSOHeader{0, uint16_t(SplitMenuColors.size()), mso::SplitMenuColors,
               4 * uint32_t(SplitMenuColors.size())}
        .AppendTo(body);
    for (uint32_t c : SplitMenuColors) w.U32(c);

    std::vector<uint8_t> container;
    TMSOHeader{15, 0, mso::DggContainer, uint32_t(body.size())}.AppendTo(container);
    stream.WriteHeader(MSODRAWINGGROUP, 0);
    stream.WriteRecordData(container.data(), container.size());
    stream.WriteRecordData(body.data(), body.size());
}

void TEscherGroup::DropUnreferenced(const std::set<int>& used) {
    for (int i = Count() - 1; i >= 0; --i)
        if (Items(i).Unreferenced && !used.count(Items(i).FileNumber)) Delete(i);
}

void TEscherGroup::ListFileBlipIds(std::vector<int>& list) const {
    for (int i = 0; i < Count(); ++i) list.push_back(Items(i).FileNumber);
}

TMSOPicture& TEscherGroup::AddPictureFile(const std::filesystem::path& file) {
    std::u16string name = file.u16string();
    std::u16string upper = UpperCaseWide(name);
    for (int i = 0; i < Count(); ++i)
        if (UpperCaseWide(Items(i).Name) == upper) throw XLSError("A picture with this name already exists.");
    auto picture = std::make_unique<TMSOPicture>();
    picture->LoadFromFile(file);
    return Insert(std::move(picture));
}

// ---- pictures

std::u16string TMSOPicture::GetDisplayName() const {
    return u"Picture " + Utf8ToWide(std::to_string(ID()));
}

void TMSOPicture::LoadFromBytes(std::vector<uint8_t> bytes, std::u16string_view name, uint8_t type) {
    std::u16string newName(name);
    size_t dot = name.rfind(u'.');
    const bool bmp = dot != name.npos && UpperCaseWide(name.substr(dot)) == u".BMP";
    if (bmp && bytes.size() > 255) {
        bytes = BitmapToPng(bytes);
        type = pictype::PNG;
        newName = newName.substr(0, newName.size() - 3) + u"png";
    } else if (type == pictype::DIB) {
        if (bytes.size() < 14) throw XLSError("Invalid bitmap: no BMP file header");
        bytes.erase(bytes.begin(), bytes.begin() + 14);
    }
    Name = std::move(newName);
    PictureType = type;
    RefCount = 0;
    Data = std::move(bytes);
    MetaHeader.clear();
    KeptCompressed = false;
    UID = MD4Digest(Data);
}

void TMSOPicture::LoadFromFile(const std::filesystem::path& file) {
    std::u16string name = file.u16string();
    uint8_t type = PictureTypeFromExt(name);
    LoadFromBytes(ReadWholeFile(file), name, type);
}

} // namespace xls
