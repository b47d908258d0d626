// The embedded charts of a sheet as a program reads and changes them: each
// chart's series, default texts, labels, plot area with its chart style and
// axes. Every object is bound to a record of the chart's record tree and
// reads and writes that record, so whatever the objects do not cover is
// written back as it was read.
#pragma once

#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/drawing/ShapeAnchors.h"
#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xls {

class TEscherDrawing;
class IFormulaServices;
class TFormulaHandler;
class TShape;
class TXFont;
class TXFonts;

class TRecordObject {
public:
    virtual ~TRecordObject() = default;
    virtual void Bind(TChartRecord& record) { rec = &record; }
    TChartRecord* Record() const { return rec; }

protected:
    TChartRecord* rec = nullptr;
};

class TLineFormat : public TRecordObject {};
class TAreaFormat : public TRecordObject {};
class TMarkerFormat : public TRecordObject {};
class TTickFormat : public TRecordObject {};
class TCatSerAxisScaling : public TRecordObject {};
class TValueAxisScaling : public TRecordObject {};
class TChart3D : public TRecordObject {};

class TChartText : public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    // The workbook font of its FONTX, nullptr when it has none.
    TXFont* Font() const { return font; }

private:
    TXFont* font = nullptr;
};

// The OPT inside a GELFRAME, held as a property table and written back
// from it.
class TGelFrame : public TRecordObject {
public:
    // Raises "First MSO record in Gelframe is not OPT".
    void Bind(TChartRecord& record) override;
    TOPT& Opt() const { return state->Opt; }

private:
    // Shared with the record's update event, which may outlive this object.
    struct TState {
        TOPT Opt;
        // Drawing records of the body after its OPT, kept as read.
        std::vector<uint8_t> Rest;
    };
    std::shared_ptr<TState> state = std::make_shared<TState>();
};

class TPaintFrame : public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    TLineFormat LineFormat;
    TAreaFormat AreaFormat;
    // nullptr when the frame has no GELFRAME.
    std::unique_ptr<TGelFrame> GelFrame;
};

class TChartLegend : public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    TPaintFrame Frame;
};

class TChartAxis : public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    TTickFormat TickFormat;
};

class TCategoryAxis : public TChartAxis {
public:
    void Bind(TChartRecord& record) override;
    TCatSerAxisScaling Scaling;
};

class TSerieAxis : public TCategoryAxis {};

class TValueAxis : public TChartAxis {
public:
    void Bind(TChartRecord& record) override;
    TValueAxisScaling Scaling;
};

class TDataPoint : public TRecordObject {
public:
    // Raises "DATAFORMAT has no child records".
    void Bind(TChartRecord& record) override;
    TLineFormat LineFormat;
    TAreaFormat AreaFormat;
    TMarkerFormat MarkerFormat;
    TChartRecord* PieFormat = nullptr;
    TChartRecord* AttachedLabel = nullptr;
};

class TChartStyle : public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    // 3 bar and column, 1 area, 0 the others.
    virtual uint8_t StyleCode() const { return 0; }
    TChart3D Chart3D;
    TChartLegend Legend;
    // nullptr when the group has no default data format.
    std::unique_ptr<TDataPoint> DefDataPoint;
};

class TChartStyleBarColumn : public TChartStyle {
public:
    uint8_t StyleCode() const override { return 3; }
};
class TChartStyleLine : public TChartStyle {};
class TChartStylePie : public TChartStyle {};
class TChartStyleArea : public TChartStyle {
public:
    uint8_t StyleCode() const override { return 1; }
};
class TChartStyleScatter : public TChartStyle {};
class TChartStyleRadar : public TChartStyle {};
class TChartStyleSurface : public TChartStyle {};
class TChartStyleRadarArea : public TChartStyle {};
class TChartStyleBopPop : public TChartStyle {};

class TChartPlotArea : public TRecordObject {
public:
    // Raises "Chart style record is missing", "Unknown chart style %.4X"
    // and "Unknown axis type %d".
    void Bind(TChartRecord& record) override;
    std::unique_ptr<TCategoryAxis> CategoryAxis;
    std::unique_ptr<TSerieAxis> SerieAxis;
    std::unique_ptr<TValueAxis> ValueAxis;
    TPaintFrame Frame;
    // The first chart group's style; nullptr when there is none.
    std::unique_ptr<TChartStyle> Style;
};

class TChartLabel : public TCollectionItem, public TRecordObject {
public:
    void Bind(TChartRecord& record) override;
    TChartRecord* Pos = nullptr;
    TChartRecord* AI = nullptr;
    TChartRecord* ObjectLink = nullptr;
    TChartRecord* SeriesText = nullptr;
};

class TChartLabels : public TCollection<TChartLabel> {};

// What series formulas are made of and read back with: the workbook's
// formula handler in BIFF8 layout and file syntax.
class TChartFormulas {
public:
    explicit TChartFormulas(TFormulaHandler* handler) : handler(handler) {}
    // Raises "Series formula does not decode: " + the decoder's message.
    std::u16string Decode(std::span<const uint8_t> tokens) const;
    std::vector<uint8_t> Encode(std::u16string_view text, size_t maxSize) const;
    // What a formula shows: its value, computed by the workbook's
    // evaluator, as text.
    std::u16string Value(std::span<const uint8_t> tokens) const;
    bool HasHandler() const { return handler != nullptr; }

private:
    TFormulaHandler& Handler() const;
    TFormulaHandler* handler;
};

enum class TSerieItemGeomtery : uint8_t {
    sigDefault,
    sigCylinder,
    sigPyramid,
    sigChoppedPyramid,
    sigCone,
    sigChoppedCone,
    sigLast,
};

class TXLSChartSerie : public TCollectionItem {
public:
    void Bind(TChartRecord& series, const TChartFormulas* formulas);
    TChartRecord* Record() const { return series; }

    // Range texts ("Sheet1!$A$1:$A$10"); each raises "Property has no data"
    // when the series lacks its AI record.
    std::u16string GetValues() const { return GetRange(1); }
    // Also sets the series' value count to the cells of an area.
    void SetValues(std::u16string_view text);
    std::u16string GetValues2() const { return GetRange(3); }
    void SetValues2(std::u16string_view text) { SetRange(3, text); }
    std::u16string GetCategory() const { return GetRange(2); }
    void SetCategory(std::u16string_view text) { SetRange(2, text); }
    // A literal name in double quotes, else the value of the name's formula.
    std::u16string GetSerieName() const;
    void SetSerieName(std::u16string_view text);

    std::vector<std::unique_ptr<TDataPoint>> DataPoints;
    // nullptr when the series has no default data format.
    std::unique_ptr<TDataPoint> DefDataPoint;
    bool GetHasDefDataPoint() const;
    // True adds the default data format's children; false adds nothing.
    void SetHasDefDataPoint(bool on);
    TSerieItemGeomtery GetGeomtery() const;
    void SetGeomtery(TSerieItemGeomtery geometry);

private:
    // By AI kind: 0 name, 1 values, 2 categories, 3 second values.
    TChartRecord& AIRecord(int kind) const;
    std::u16string GetRange(int kind) const;
    void SetRange(int kind, std::u16string_view text);
    void SetFormula(TChartRecord& ai, std::u16string_view text);

    TChartRecord* series = nullptr;
    const TChartFormulas* formulas = nullptr;
    int aiIndex[4] = {-1, -1, -1, -1};
    TChartRecord* geometry = nullptr;
};

class TXLSChartSeries : public TCollection<TXLSChartSerie> {};

enum TChartSheetOption : uint8_t { csoOnlyVisibleCells = 1, csoDoNotSize = 2 };
using TChartSheetOptions = uint8_t;

class TDrwChart : public TDrwAnchor {
public:
    TDrwChart();
    ~TDrwChart() override;
    // Binds the model to the record tree, after a read or after records
    // were inserted into the tree.
    void Bind();

    TChartText DefaultTextA;
    TChartText DefaultTextB;
    TChartLabels Labels;
    TXLSChartSeries Series;
    TChartPlotArea PlotArea;
    TPaintFrame Frame;
    // Raise "Property has no data" without a SHTPROPS record.
    TChartSheetOptions GetSheetOptions() const;
    void SetSheetOptions(TChartSheetOptions options);
    TChartRecord& Rec() const;

private:
    friend class TDrwCharts;
    TShapeOutsideMsoChart* chart = nullptr;
    const TChartFormulas* formulas = nullptr;
    TChartRecord* chartRecord = nullptr;
    TChartRecord* shtProps = nullptr;
};

// Hands the tokens of every series and label formula in the tree (AI
// records) to rewrite, which answers whether it changed them; changed
// tokens are stored back with their new length.
void RewriteChartFormulas(TChartRecord& root,
                          const std::function<bool(std::vector<uint8_t>& tokens)>& rewrite);

class TDrwCharts : public TCollection<TDrwChart> {
public:
    // Series formulas go through formulas when it is the workbook's formula
    // handler.
    TDrwCharts(TEscherDrawing& drawing, IFormulaServices* formulas, TXFonts* fonts);
    ~TDrwCharts() override;
    // A new chart shape holding the default chart: one series, a bar group;
    // the series takes the values of its sheet's $A$1:$A$10 when the sheet
    // is known.
    TDrwChart& Add();
    // The name of the sheet the charts stand on.
    std::function<std::u16string()> SheetName;
    // An item for a chart shape read from a file, bound to its records;
    // false for other shapes.
    bool AddShape(TShape& shape);
    void Delete(int index);
    void Clear();
    void Forget(const TShape& shape);

private:
    TDrwChart& Take(TShapeClientAnchor& shape);
    TEscherDrawing& drawing;
    TChartFormulas formulas;
    TXFonts* fonts;
};

} // namespace xls
