// Charts as the tree of their BIFF records: an embedded chart (the object of
// a shape of OBJ type 5) and a chart sheet are each read from a chart
// substream (BOF .. EOF) into a tree whose children are the records between
// a record's BEGIN and END, and written back from it; what no model binds
// passes through unchanged. The workbook's chart sheets, and the built-in
// record sequences a new chart is made of.
#pragma once

#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xls {

class TEscherDrawing;
class TEscherGroup;
class TXFont;
class TXFonts;

namespace chartid {
constexpr uint16_t BOF = 0x0809;
constexpr uint16_t EOF_RECORD = 0x000A;
constexpr uint16_t MSODRAWING = 0x00EC;
constexpr uint16_t SERIES = 0x1003;
constexpr uint16_t DATAFORMAT = 0x1006;
constexpr uint16_t LINEFORMAT = 0x1007;
constexpr uint16_t MARKERFORMAT = 0x1009;
constexpr uint16_t AREAFORMAT = 0x100A;
constexpr uint16_t PIEFORMAT = 0x100B;
constexpr uint16_t ATTACHEDLABEL = 0x100C;
constexpr uint16_t SERIESTEXT = 0x100D;
constexpr uint16_t CHART = 0x1002;
constexpr uint16_t LEGEND = 0x1015;
constexpr uint16_t CHARTFORMAT = 0x1014;
constexpr uint16_t BAR = 0x1017;
constexpr uint16_t LINE = 0x1018;
constexpr uint16_t PIE = 0x1019;
constexpr uint16_t AREA = 0x101A;
constexpr uint16_t SCATTER = 0x101B;
constexpr uint16_t AXIS = 0x101D;
constexpr uint16_t TICK = 0x101E;
constexpr uint16_t VALUERANGE = 0x101F;
constexpr uint16_t CATSERRANGE = 0x1020;
constexpr uint16_t DEFAULTTEXT = 0x1024;
constexpr uint16_t TEXT = 0x1025;
constexpr uint16_t FONTX = 0x1026;
constexpr uint16_t OBJECTLINK = 0x1027;
constexpr uint16_t FRAME = 0x1032;
constexpr uint16_t BEGIN = 0x1033;
constexpr uint16_t END = 0x1034;
constexpr uint16_t CHART3D = 0x103A;
constexpr uint16_t RADAR = 0x103E;
constexpr uint16_t SURFACE = 0x103F;
constexpr uint16_t RADARAREA = 0x1040;
constexpr uint16_t AXISPARENT = 0x1041;
constexpr uint16_t SHTPROPS = 0x1044;
constexpr uint16_t POS = 0x104F;
constexpr uint16_t AI = 0x1051;
constexpr uint16_t CHART3DBARSHAPE = 0x105F;
constexpr uint16_t FBI = 0x1060;
constexpr uint16_t BOPPOP = 0x1061;
constexpr uint16_t GELFRAME = 0x1066;
constexpr uint16_t Root = 0xFFFA;
} // namespace chartid

// One record of a chart and the records nested under it.
class TChartRecord {
public:
    TChartRecord(TChartRecord* parent, uint16_t id, std::vector<uint8_t> body = {});
    ~TChartRecord();
    TChartRecord(const TChartRecord&) = delete;
    TChartRecord& operator=(const TChartRecord&) = delete;

    uint16_t Id;
    // The body; a GELFRAME's holds the bodies of its continuations joined.
    std::vector<uint8_t> Body;
    // FONTX and FBI: the workbook font they name (nullptr when the index
    // they give lies beyond the pool: FileFont is written then).
    TXFont* Font = nullptr;
    int FileFont = 0;
    // The font pool of a FONTX that releases its font with the tree.
    TXFonts* ReleasesFontIn = nullptr;
    // An MSODRAWING that stands for the chart's own drawing.
    bool DrawingMarker = false;
    // Run before the record is written, to build its body from a model.
    std::function<void(TChartRecord&)> OnUpdate;

    TChartRecord* Parent() const { return parent; }
    int Count() const { return int(children.size()); }
    TChartRecord& Child(int index) const { return *children[size_t(index)]; }
    // At the end for index -1.
    TChartRecord& Insert(std::unique_ptr<TChartRecord> record, int index = -1);
    TChartRecord& Add(uint16_t id, std::vector<uint8_t> body = {});
    void Delete(int index);
    int IndexOf(const TChartRecord* child) const;
    // The first child with that id, nullptr when none.
    TChartRecord* Find(uint16_t id) const;
    TChartRecord& Root();
    // Among the root's children the FBI of a font index, nullptr when none.
    TChartRecord* FindFBI(int fontIndex);
    // Changes the body's length by delta.
    void Grow(int delta);

private:
    TChartRecord* parent;
    std::vector<std::unique_ptr<TChartRecord>> children;
};

// Where a chart's own drawing lives: the chart object of an embedded chart,
// or a chart sheet.
class TChartDrawingOwner {
public:
    virtual ~TChartDrawingOwner() = default;
    // A new drawing for an MSODRAWING read in the chart.
    virtual TEscherDrawing& NewChartDrawing() = 0;
    virtual const TEscherDrawing* ChartDrawing() const = 0;
};

struct TChartReadContext {
    TXFonts* Fonts = nullptr;
    TChartDrawingOwner* Owner = nullptr;
};

// Reads records up to and including the EOF (nesting at BEGIN and END);
// raises on a substream that ends before its EOF or nests past any file.
void ReadChartRecords(TChartRecord& root, TXLSStream& stream, const TChartReadContext& context);
void WriteChartRecords(const TChartRecord& parent, TXLSStream& stream, const TChartDrawingOwner* owner);

// The built-in sequences: 0 the whole default chart, 1 a text block, 2 the
// records of one series, 3 a data format's children, 4 area, 5 bar, 6 line,
// 7 pie, 8 radar, 9 scatter, 10 surface chart groups.
void InsertDefaultChartRecords(TChartRecord& node, int kind, TXFonts* fonts);

// The object of an embedded chart: the chart's record tree.
class TShapeOutsideMsoChart : public TShapeOutsideMso, public TChartDrawingOwner {
public:
    TShapeOutsideMsoChart(uint16_t objectId, TEscherGroup& group, TXFonts* fonts,
                          std::vector<uint8_t> objBody);
    ~TShapeOutsideMsoChart() override;

    std::vector<uint8_t> ObjBody;
    TChartRecord Root{nullptr, chartid::Root};

    // "Chart Assign not implemented".
    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    void ReadFollowing(TXLSStream& stream) override;
    void Write(TDrawingOut& out) const override;
    int ObjectType() const override { return objtype::Chart; }
    void SetObjectId(uint16_t id) override;

    TEscherDrawing& NewChartDrawing() override;
    const TEscherDrawing* ChartDrawing() const override { return drawing.get(); }

private:
    TEscherGroup& group;
    TXFonts* fonts;
    std::unique_ptr<TEscherDrawing> drawing;
};

// A chart sheet of the workbook.
class TSheetChart : public TCollectionItem, public TChartDrawingOwner {
public:
    TSheetChart(TEscherGroup& group, TXFonts* fonts);
    ~TSheetChart() override;
    // Position among all sheets.
    int SheetIndex = 0;
    std::u16string Name = u"Chart";
    uint8_t Hidden = 0;
    TChartRecord Root{nullptr, chartid::Root};
    TEscherDrawing* Drawing() const { return drawing.get(); }

    TEscherDrawing& NewChartDrawing() override;
    const TEscherDrawing* ChartDrawing() const override { return drawing.get(); }

private:
    TEscherGroup& group;
    TXFonts* fonts;
    std::unique_ptr<TEscherDrawing> drawing;
};

class TSheetCharts : public TCollection<TSheetChart> {
public:
    TSheetCharts(TEscherGroup& group, TXFonts* fonts) : group(group), fonts(fonts) {}
    // The stream stands after the chart sheet's BOF, whose body is given.
    TSheetChart& ReadChart(TXLSStream& stream, std::u16string_view name, int sheetIndex,
                           std::span<const uint8_t> bofBody);
    void WriteChart(int index, TXLSStream& stream) const;
    TSheetChart& Items(int index) const { return GetItem(index); }

private:
    TEscherGroup& group;
    TXFonts* fonts;
};

} // namespace xls
