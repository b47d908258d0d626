// The drawing group of a workbook: the cluster table that hands out drawing
// ids and blocks of shape ids to the sheet drawings, the default shape
// properties, two colour lists and the picture store whose entries the
// picture shapes of all sheets refer to by position. Written as one
// MSODRAWINGGROUP record in the workbook globals.
#pragma once

#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/drawing/PictureFiles.h"
#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace xls {

class TEscherDrawing;

// One cluster of 1024 shape ids: entry k holds the ids from (k + 1) x 1024.
// A cluster of no drawing has drawing id 0.
struct TDGGData {
    uint32_t DrawingId = 0;
    uint32_t ShapesUsed = 0;
    TEscherDrawing* Drawing = nullptr;
    bool Changed = false;
};

class TDGG {
public:
    uint32_t HighestShapeId = 0;
    uint32_t TotalShapesSaved = 0;
    uint32_t DrawingsSaved = 0;
    std::vector<TDGGData> Entries;

    // The totals brought up to date, then the Dgg record.
    void Write(std::vector<uint8_t>& out);
    uint32_t RecordSize() const { return 24 + 8 * uint32_t(Entries.size()); }
};

class TMSOPicture : public TCollectionItem {
public:
    std::vector<uint8_t> Data;
    uint8_t PictureType = pictype::Error;
    uint32_t RefCount = 0;
    std::u16string Name;
    TMD4 UID{};
    int FileNumber = -1;
    // Of a metafile read from a file: its 34-byte header, written back
    // with the sizes brought up to date.
    std::vector<uint8_t> MetaHeader;
    // A metafile whose stream could not be inflated keeps its bytes as
    // read, compressed.
    bool KeptCompressed = false;
    // The name stood in the store entry read (and is written there again).
    bool StoreName = false;
    // Read from an entry whose reference count was 0.
    bool Unreferenced = false;
    // Blip record type and instance of a type the library does not name, as read.
    uint16_t BlipType = 0;
    uint16_t BlipInstance = 0;

    std::u16string GetDisplayName() const;
    // The picture's data from bytes of a file with this name and type: a
    // BMP of more than 255 bytes becomes a PNG (its name ending in "png"),
    // a smaller one a DIB without its 14-byte file header.
    void LoadFromBytes(std::vector<uint8_t> bytes, std::u16string_view name, uint8_t type);
    void LoadFromFile(const std::filesystem::path& file);
};

class TEscherGroup : public TCollection<TMSOPicture> {
public:
    TEscherGroup() = default;

    TDGG Dgg;
    TOPT DefaultProperties;
    std::vector<uint32_t> SplitMenuColors;
    std::vector<uint32_t> ColorMRU;
    TMSORecords Kept;
    uint32_t ShapeIdBase = 0;
    // Told what a read leaves behind (one line of English each).
    std::function<void(std::string)> OnWarning;

    TMSOPicture& Items(int index) const { return GetItem(index); }
    // Empties the clusters, the defaults, the colours of the split menu,
    // the kept records and the pictures, and starts the budget of a read
    // anew; the base and totals stay.
    void Clear();
    bool HasDrawings() const { return !DefaultProperties.Items.empty(); }

    // A new drawing: its id and first shape id.
    std::pair<uint16_t, uint32_t> NewDrawing(TEscherDrawing& drawing);
    // A further block of shape ids for a drawing whose block is used up.
    uint32_t NewCluster(TEscherDrawing& drawing);
    // Whether the block of that shape id belongs to the drawing.
    bool OwnsCluster(uint32_t drawingId, uint32_t shapeId) const;
    // A drawing read from a file takes its cluster entries. Answers its
    // drawing id, and the first id of a new block when the id was another
    // drawing's and it got a new one (else 0).
    std::pair<uint16_t, uint32_t> RegisterDrawing(TEscherDrawing& drawing);
    void TouchDrawing(uint32_t drawingId);
    void ReleaseDrawing(uint32_t drawingId);
    // A drawing that goes away leaves its clusters as read.
    void DetachDrawing(const TEscherDrawing& drawing);
    uint32_t NextShapeIdBlock();

    // The stream stands after the MSODRAWINGGROUP header, with CONTINUE
    // joining on.
    void ReadDrawingGroup(TXLSStream& stream, uint32_t recordLength);
    // The MSODRAWINGGROUP record (the caller opens the 8224-byte split).
    void WriteDrawingGroup(TXLSStream& stream);

    // The pictures read with a reference count of 0 that no shape uses
    // (used: positions in the file read) go.
    void DropUnreferenced(const std::set<int>& used);
    // Each picture's position in the file read, in collection order.
    void ListFileBlipIds(std::vector<int>& list) const;
    // A new picture from a file ("A picture with this name already exists."
    // when a picture of that name is there).
    TMSOPicture& AddPictureFile(const std::filesystem::path& file);

private:
    void SetUpDefaults();
    // The cluster entry at index, added (free) as needed.
    TDGGData& ClusterAt(size_t index);
    void ReadBlipStore(TByteReader& r);
    bool ReadBlip(TByteReader& r, TMSOPicture& picture, int fileNumber);
    void Warn(std::string text) const;

    // What the pictures of the workbook being read may still inflate to,
    // over all its drawing groups; set by the first group a read meets.
    uint64_t inflateBudget = 0;
    uint64_t budgetTotal = 0;
    bool budgetSet = false;
    int storeEntries = 0; // read so far

    void WriteBlip(const TMSOPicture& picture, std::vector<uint8_t>& out) const;
};

class TMSOPictures : public TEscherGroup {};

} // namespace xls
