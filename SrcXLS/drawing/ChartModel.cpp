#include "SrcXLS/drawing/ChartModel.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FormulaValues.h"
#include "SrcXLS/model/CellStorage.h"

#include <algorithm>
#include <cstdio>

namespace xls {

namespace {

[[noreturn]] void NoData() {
    throw XLSError("Property has no data");
}

// Calls bind for every child of the record with that id.
template <class F> void ForChildren(TChartRecord& record, uint16_t id, F bind) {
    for (int i = 0; i < record.Count(); ++i)
        if (record.Child(i).Id == id) bind(record.Child(i));
}

uint16_t U16At(const TChartRecord& r, size_t offset) {
    return r.Body.size() >= offset + 2 ? GetU16(r.Body.data() + offset) : 0;
}

} // namespace

// ---- record objects

void TChartText::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    TChartRecord* fontx = record.Find(chartid::FONTX);
    font = fontx ? fontx->Font : nullptr;
}

void TGelFrame::Bind(TChartRecord& record) {
    const std::vector<uint8_t>& body = record.Body;
    if (body.size() < 8 || GetU16(body.data() + 2) != mso::OPT)
        throw XLSError("First MSO record in Gelframe is not OPT");
    const uint32_t length = GetU32(body.data() + 4);
    if (length > body.size() - 8) throw XLSError("Bad record in file");
    auto fresh = std::make_shared<TState>();
    fresh->Opt.Parse(std::span(body).subspan(8, length), uint16_t(GetU16(body.data()) >> 4));
    fresh->Rest.assign(body.begin() + 8 + length, body.end());
    state = fresh;
    TRecordObject::Bind(record);
    record.OnUpdate = [fresh](TChartRecord& r) {
        std::vector<uint8_t> out(8);
        PutU16(out.data(), uint16_t(0x0003 | (fresh->Opt.Items.size() << 4)));
        PutU16(out.data() + 2, mso::OPT);
        PutU32(out.data() + 4, fresh->Opt.Size());
        fresh->Opt.AppendBody(out);
        out.insert(out.end(), fresh->Rest.begin(), fresh->Rest.end());
        r.Body = std::move(out);
    };
}

void TPaintFrame::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    GelFrame.reset();
    ForChildren(record, chartid::LINEFORMAT, [&](TChartRecord& r) { LineFormat.Bind(r); });
    ForChildren(record, chartid::AREAFORMAT, [&](TChartRecord& r) { AreaFormat.Bind(r); });
    ForChildren(record, chartid::GELFRAME, [&](TChartRecord& r) {
        GelFrame = std::make_unique<TGelFrame>();
        GelFrame->Bind(r);
    });
}

void TChartLegend::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    ForChildren(record, chartid::FRAME, [&](TChartRecord& r) { Frame.Bind(r); });
}

void TChartAxis::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    ForChildren(record, chartid::TICK, [&](TChartRecord& r) { TickFormat.Bind(r); });
}

void TCategoryAxis::Bind(TChartRecord& record) {
    TChartAxis::Bind(record);
    ForChildren(record, chartid::CATSERRANGE, [&](TChartRecord& r) { Scaling.Bind(r); });
}

void TValueAxis::Bind(TChartRecord& record) {
    TChartAxis::Bind(record);
    ForChildren(record, chartid::VALUERANGE, [&](TChartRecord& r) { Scaling.Bind(r); });
}

void TDataPoint::Bind(TChartRecord& record) {
    if (record.Count() == 0) throw XLSError("DATAFORMAT has no child records");
    TRecordObject::Bind(record);
    ForChildren(record, chartid::LINEFORMAT, [&](TChartRecord& r) { LineFormat.Bind(r); });
    ForChildren(record, chartid::AREAFORMAT, [&](TChartRecord& r) { AreaFormat.Bind(r); });
    ForChildren(record, chartid::MARKERFORMAT, [&](TChartRecord& r) { MarkerFormat.Bind(r); });
    PieFormat = record.Find(chartid::PIEFORMAT);
    AttachedLabel = record.Find(chartid::ATTACHEDLABEL);
}

void TChartStyle::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    DefDataPoint.reset();
    ForChildren(record, chartid::CHART3D, [&](TChartRecord& r) { Chart3D.Bind(r); });
    ForChildren(record, chartid::LEGEND, [&](TChartRecord& r) { Legend.Bind(r); });
    ForChildren(record, chartid::DATAFORMAT, [&](TChartRecord& r) {
        if (U16At(r, 4) <= 0xF000) return;
        DefDataPoint = std::make_unique<TDataPoint>();
        DefDataPoint->Bind(r);
    });
}

namespace {

std::unique_ptr<TChartStyle> NewStyle(uint16_t id) {
    switch (id) {
    case chartid::BAR:
        return std::make_unique<TChartStyleBarColumn>();
    case chartid::LINE:
        return std::make_unique<TChartStyleLine>();
    case chartid::PIE:
        return std::make_unique<TChartStylePie>();
    case chartid::AREA:
        return std::make_unique<TChartStyleArea>();
    case chartid::SCATTER:
        return std::make_unique<TChartStyleScatter>();
    case chartid::RADAR:
        return std::make_unique<TChartStyleRadar>();
    case chartid::SURFACE:
        return std::make_unique<TChartStyleSurface>();
    case chartid::RADARAREA:
        return std::make_unique<TChartStyleRadarArea>();
    case chartid::BOPPOP:
        return std::make_unique<TChartStyleBopPop>();
    default: {
        char text[40];
        std::snprintf(text, sizeof text, "Unknown chart style %.4X", id);
        throw XLSError(text);
    }
    }
}

} // namespace

void TChartPlotArea::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    CategoryAxis.reset();
    SerieAxis.reset();
    ValueAxis.reset();
    Style.reset();
    for (int i = 0; i < record.Count(); ++i) {
        TChartRecord& r = record.Child(i);
        if (r.Id == chartid::CHARTFORMAT) {
            if (r.Count() == 0) throw XLSError("Chart style record is missing");
            auto style = NewStyle(r.Child(0).Id);
            style->Bind(r);
            // A chart of several groups publishes its first.
            if (!Style) Style = std::move(style);
        } else if (r.Id == chartid::AXIS) {
            switch (U16At(r, 0)) {
            case 0:
                CategoryAxis = std::make_unique<TCategoryAxis>();
                CategoryAxis->Bind(r);
                break;
            case 1:
                ValueAxis = std::make_unique<TValueAxis>();
                ValueAxis->Bind(r);
                break;
            case 2:
                SerieAxis = std::make_unique<TSerieAxis>();
                SerieAxis->Bind(r);
                break;
            default:
                throw XLSError("Unknown axis type " + std::to_string(U16At(r, 0)));
            }
        } else if (r.Id == chartid::FRAME) {
            Frame.Bind(r);
        }
    }
}

void TChartLabel::Bind(TChartRecord& record) {
    TRecordObject::Bind(record);
    Pos = record.Find(chartid::POS);
    AI = record.Find(chartid::AI);
    ObjectLink = record.Find(chartid::OBJECTLINK);
    SeriesText = record.Find(chartid::SERIESTEXT);
}

// ---- series formulas

TFormulaHandler& TChartFormulas::Handler() const {
    if (!handler) throw XLSError("Chart has no formula handler");
    return *handler;
}

std::u16string TChartFormulas::Decode(std::span<const uint8_t> tokens) const {
    const char* head = "Series formula does not decode: ";
    // The decoder shows tokens it cannot read as text; a range is not made of them.
    TTokenWalker walker(tokens, TTokenLayout::BIFF8, false);
    TToken token;
    for (TWalkStatus status; (status = walker.Next(token)) != TWalkStatus::End;) {
        if (status == TWalkStatus::Unknown) throw XLSError(head + TokenMessage("Unknown ptg", token.Id));
        if (status == TWalkStatus::Truncated)
            throw XLSError(head + TokenMessage("ptg", token.Id, " runs past the end"));
    }
    try {
        return Handler().DecodeFormula(tokens, tokens.size(), {});
    } catch (const XLSError& e) {
        throw XLSError(head + std::string(e.what()));
    }
}

std::vector<uint8_t> TChartFormulas::Encode(std::u16string_view text, size_t maxSize) const {
    TFormulaEncoding how;
    how.Class = 0x20;
    how.MaxSize = maxSize;
    how.BIFF8 = true;
    how.UserText = true;
    TEncodedFormula f = Handler().EncodeFormula(text, how);
    return std::move(f.Data);
}

std::u16string TChartFormulas::Value(std::span<const uint8_t> tokens) const {
    TFormulaValue value;
    try {
        Handler().Calculate(tokens, -1, -1, -1, value);
    } catch (const XLSError&) {
        // Tokens the evaluator cannot run: the name shows its formula.
        return Decode(tokens);
    }
    return ValueText(value);
}

// ---- series

void TXLSChartSerie::Bind(TChartRecord& record, const TChartFormulas* formulas) {
    series = &record;
    this->formulas = formulas;
    std::fill(std::begin(aiIndex), std::end(aiIndex), -1);
    geometry = nullptr;
    DataPoints.clear();
    DefDataPoint.reset();
    for (int i = 0; i < record.Count(); ++i) {
        TChartRecord& r = record.Child(i);
        if (r.Id == chartid::AI && !r.Body.empty() && r.Body[0] <= 3) {
            aiIndex[r.Body[0]] = i;
        } else if (r.Id == chartid::DATAFORMAT && U16At(r, 0) < 0xFFFF) {
            DataPoints.push_back(std::make_unique<TDataPoint>());
            DataPoints.back()->Bind(r);
        } else if (r.Id == chartid::DATAFORMAT) {
            DefDataPoint = std::make_unique<TDataPoint>();
            DefDataPoint->Bind(r);
            if (r.Child(0).Id == chartid::CHART3DBARSHAPE) geometry = &r.Child(0);
        }
    }
}

TChartRecord& TXLSChartSerie::AIRecord(int kind) const {
    if (!series || aiIndex[kind] < 0) NoData();
    return series->Child(aiIndex[kind]);
}

namespace {

// The formula of an AI: its length at byte 6, the tokens from byte 8.
std::span<const uint8_t> AITokens(const TChartRecord& ai) {
    if (ai.Body.size() < 8) throw XLSError("Series formula does not decode: record too short");
    const size_t length = GetU16(ai.Body.data() + 6);
    if (length > ai.Body.size() - 8) throw XLSError("Series formula does not decode: formula too long");
    return std::span(ai.Body).subspan(8, length);
}

// Cells of an area given as one area token, 0 for any other formula.
int AreaCells(const std::vector<uint8_t>& tokens) {
    auto cells = [](uint16_t r1, uint16_t r2, uint16_t c1, uint16_t c2) {
        const int rows = std::abs(int(r2) - int(r1)) + 1;
        const int cols = std::abs(int(c2 & 0x3FFF) - int(c1 & 0x3FFF)) + 1;
        return rows * cols;
    };
    const uint8_t ptg = tokens.empty() ? 0 : uint8_t(tokens[0] & 0x9F);
    const uint8_t* p = tokens.data();
    if (ptg == 0x1B && tokens.size() == 11)
        return cells(GetU16(p + 3), GetU16(p + 5), GetU16(p + 7), GetU16(p + 9));
    if (ptg == 0x05 && tokens.size() == 9)
        return cells(GetU16(p + 1), GetU16(p + 3), GetU16(p + 5), GetU16(p + 7));
    return 0;
}

// The record after the AI holds at most 8224 bytes: 8 of them are the AI's own.
constexpr size_t MaxAITokens = 8224 - 8;

} // namespace

std::u16string TXLSChartSerie::GetRange(int kind) const {
    std::span<const uint8_t> tokens = AITokens(AIRecord(kind));
    if (tokens.empty()) return {};
    if (!formulas) NoData();
    return formulas->Decode(tokens);
}

void TXLSChartSerie::SetFormula(TChartRecord& ai, std::u16string_view text) {
    std::vector<uint8_t> tokens;
    if (!text.empty()) {
        if (!formulas) NoData();
        tokens = formulas->Encode(text, MaxAITokens);
    }
    ai.Body.resize(8);
    PutU16(ai.Body.data() + 6, uint16_t(tokens.size()));
    ai.Body[1] = tokens.empty() ? 1 : 2;
    ai.Body.insert(ai.Body.end(), tokens.begin(), tokens.end());
}

void TXLSChartSerie::SetRange(int kind, std::u16string_view text) {
    SetFormula(AIRecord(kind), text);
}

void TXLSChartSerie::SetValues(std::u16string_view text) {
    TChartRecord& ai = AIRecord(1);
    SetFormula(ai, text);
    const std::span<const uint8_t> tokens = AITokens(ai);
    const int cells = AreaCells({tokens.begin(), tokens.end()});
    // The count is 16 bits: larger areas are counted as its largest value.
    if (cells > 0 && series->Body.size() >= 8)
        PutU16(series->Body.data() + 6, uint16_t(std::min(cells, 0xFFFF)));
}

std::u16string TXLSChartSerie::GetSerieName() const {
    TChartRecord& ai = AIRecord(0);
    if (ai.Body.size() >= 2 && ai.Body[1] == 1) {
        const int next = aiIndex[0] + 1;
        if (next >= series->Count() || series->Child(next).Id != chartid::SERIESTEXT) return {};
        const std::vector<uint8_t>& b = series->Child(next).Body;
        if (b.size() < 4 || b[2] == 0) return {};
        const bool wide = b[3] & 1;
        const size_t count = std::min<size_t>(b[2], (b.size() - 4) / (wide ? 2 : 1));
        std::u16string name;
        for (size_t k = 0; k < count; ++k)
            name += wide ? char16_t(GetU16(b.data() + 4 + 2 * k)) : char16_t(b[4 + k]);
        return u"\"" + name + u"\"";
    }
    std::span<const uint8_t> tokens = AITokens(ai);
    if (tokens.empty()) return {};
    if (!formulas) NoData();
    return formulas->Value(tokens);
}

void TXLSChartSerie::SetSerieName(std::u16string_view text) {
    TChartRecord& ai = AIRecord(0);
    if (text.empty() || text.front() != u'"') {
        SetFormula(ai, text);
        return;
    }
    text.remove_prefix(1);
    if (!text.empty() && text.back() == u'"') text.remove_suffix(1);
    const int next = aiIndex[0] + 1;
    if (next >= series->Count()) return;
    if (series->Child(next).Id != chartid::SERIESTEXT) {
        series->Insert(
            std::make_unique<TChartRecord>(series, chartid::SERIESTEXT, std::vector<uint8_t>(3, 0)), next);
        for (int& index : aiIndex)
            if (index >= next) ++index;
    }
    // A short string: at most 255 characters.
    const size_t count = std::min<size_t>(text.size(), 255);
    std::vector<uint8_t> body = {0, 0, uint8_t(count), 1};
    for (size_t k = 0; k < count; ++k) {
        body.push_back(uint8_t(text[k]));
        body.push_back(uint8_t(text[k] >> 8));
    }
    series->Child(next).Body = std::move(body);
    // A literal name has no formula beside it.
    ai.Body.resize(8);
    PutU16(ai.Body.data() + 6, 0);
    ai.Body[1] = 1;
}

bool TXLSChartSerie::GetHasDefDataPoint() const {
    return DefDataPoint && DefDataPoint->Record()->Count() >= 3;
}

void TXLSChartSerie::SetHasDefDataPoint(bool on) {
    if (!on || !DefDataPoint || GetHasDefDataPoint()) return;
    TChartRecord& record = *DefDataPoint->Record();
    InsertDefaultChartRecords(record, 3, nullptr);
    DefDataPoint->Bind(record);
    if (record.Child(0).Id == chartid::CHART3DBARSHAPE) geometry = &record.Child(0);
}

namespace {

constexpr uint16_t GeometryValues[] = {0x0000, 0x0001, 0x0100, 0x0200, 0x0101, 0x0201};

} // namespace

TSerieItemGeomtery TXLSChartSerie::GetGeomtery() const {
    if (!geometry) return TSerieItemGeomtery::sigDefault;
    const uint16_t value = U16At(*geometry, 0);
    for (size_t i = 0; i < std::size(GeometryValues); ++i)
        if (GeometryValues[i] == value) return TSerieItemGeomtery(i);
    return TSerieItemGeomtery::sigDefault;
}

void TXLSChartSerie::SetGeomtery(TSerieItemGeomtery value) {
    if (!geometry || value >= TSerieItemGeomtery::sigLast) return;
    geometry->Body.resize(std::max<size_t>(geometry->Body.size(), 2));
    PutU16(geometry->Body.data(), GeometryValues[size_t(value)]);
}

void RewriteChartFormulas(TChartRecord& root,
                          const std::function<bool(std::vector<uint8_t>& tokens)>& rewrite) {
    for (int i = 0; i < root.Count(); ++i) {
        TChartRecord& r = root.Child(i);
        if (r.Id == chartid::AI && r.Body.size() >= 8 && GetU16(r.Body.data() + 6) <= r.Body.size() - 8) {
            std::vector<uint8_t> tokens(r.Body.begin() + 8, r.Body.begin() + 8 + GetU16(r.Body.data() + 6));
            if (!tokens.empty() && rewrite(tokens) && tokens.size() <= MaxAITokens) {
                r.Body.resize(8);
                PutU16(r.Body.data() + 6, uint16_t(tokens.size()));
                r.Body.insert(r.Body.end(), tokens.begin(), tokens.end());
            }
        }
        RewriteChartFormulas(r, rewrite);
    }
}

// ---- charts

TDrwChart::TDrwChart() = default;
TDrwChart::~TDrwChart() = default;

TChartRecord& TDrwChart::Rec() const {
    if (!chart) NoData();
    return chart->Root;
}

void TDrwChart::Bind() {
    Series.Clear();
    Labels.Clear();
    chartRecord = shtProps = nullptr;
    TChartRecord& root = Rec();
    if (root.Count() == 0 || root.Child(0).Id != chartid::BOF) throw XLSError("Can not find CHART record.");
    chartRecord = root.Find(chartid::CHART);
    if (!chartRecord) throw XLSError("Can not find CHART record.");
    bool havePlotArea = false;
    for (int i = 0; i < chartRecord->Count(); ++i) {
        TChartRecord& r = chartRecord->Child(i);
        switch (r.Id) {
        case chartid::SERIES: {
            auto serie = std::make_unique<TXLSChartSerie>();
            serie->Bind(r, formulas);
            Series.Insert(std::move(serie));
            break;
        }
        case chartid::DEFAULTTEXT: {
            if (i + 1 >= chartRecord->Count() || chartRecord->Child(i + 1).Id != chartid::TEXT)
                throw XLSError("Excpected Chart record missing: TEXT");
            TChartRecord& text = chartRecord->Child(++i);
            if (U16At(r, 0) == 2) DefaultTextA.Bind(text);
            if (U16At(r, 0) == 3) DefaultTextB.Bind(text);
            break;
        }
        case chartid::TEXT: {
            auto label = std::make_unique<TChartLabel>();
            label->Bind(r);
            Labels.Insert(std::move(label));
            break;
        }
        case chartid::FRAME:
            Frame.Bind(r);
            break;
        case chartid::AXISPARENT:
            // The secondary axes' parent follows the primary one.
            if (!havePlotArea) PlotArea.Bind(r);
            havePlotArea = true;
            break;
        case chartid::SHTPROPS:
            shtProps = &r;
            break;
        default:
            break;
        }
    }
}

TChartSheetOptions TDrwChart::GetSheetOptions() const {
    if (!shtProps || shtProps->Body.size() < 2) NoData();
    const uint16_t flags = GetU16(shtProps->Body.data());
    return TChartSheetOptions((flags & 0x0002 ? csoOnlyVisibleCells : 0) |
                              (flags & 0x0004 ? csoDoNotSize : 0));
}

void TDrwChart::SetSheetOptions(TChartSheetOptions options) {
    if (!shtProps || shtProps->Body.size() < 2) NoData();
    uint16_t flags = GetU16(shtProps->Body.data()) & ~0x0006;
    if (options & csoOnlyVisibleCells) flags |= 0x0002;
    if (options & csoDoNotSize) flags |= 0x0004;
    PutU16(shtProps->Body.data(), flags);
}

TDrwCharts::TDrwCharts(TEscherDrawing& drawing, IFormulaServices* formulas, TXFonts* fonts)
    : drawing(drawing), formulas(dynamic_cast<TFormulaHandler*>(formulas)), fonts(fonts) {}

TDrwCharts::~TDrwCharts() = default;

TDrwChart& TDrwCharts::Take(TShapeClientAnchor& shape) {
    auto item = std::make_unique<TDrwChart>();
    item->chart = dynamic_cast<TShapeOutsideMsoChart*>(shape.Attached.get());
    item->formulas = &formulas;
    TDrwChart& added = Insert(std::move(item));
    added.Name = u"Chart " + Utf8ToWide(std::to_string(added.ID()));
    added.SetShape(&shape);
    return added;
}

TDrwChart& TDrwCharts::Add() {
    TShapeClientAnchor& shape = drawing.AddChart();
    auto* chart = dynamic_cast<TShapeOutsideMsoChart*>(shape.Attached.get());
    InsertDefaultChartRecords(chart->Root, 0, fonts);
    TDrwChart& added = Take(shape);
    added.Bind();
    // The default series points at the chart's own sheet, through a link
    // table entry of its own.
    if (SheetName && formulas.HasHandler() && added.Series.Count() > 0)
        added.Series.GetItem(0).SetValues(QuoteSheetName(SheetName()) + u"!$A$1:$A$10");
    return added;
}

bool TDrwCharts::AddShape(TShape& shape) {
    auto* anchored = dynamic_cast<TShapeClientAnchor*>(&shape);
    if (!anchored || !dynamic_cast<TShapeOutsideMsoChart*>(shape.Attached.get())) return false;
    TDrwChart& added = Take(*anchored);
    try {
        added.Bind();
    } catch (...) {
        TCollection<TDrwChart>::Delete(Count() - 1);
        throw;
    }
    return true;
}

void TDrwCharts::Delete(int index) {
    TShape* shape = GetItem(index).Shape();
    TCollection<TDrwChart>::Delete(index);
    if (shape) drawing.DeleteShape(shape->ShapeId);
}

void TDrwCharts::Clear() {
    std::vector<TShape*> shapes;
    for (int i = 0; i < Count(); ++i)
        if (TShape* shape = GetItem(i).Shape()) shapes.push_back(shape);
    TCollection<TDrwChart>::Clear();
    drawing.DeleteShapes(shapes);
}

void TDrwCharts::Forget(const TShape& shape) {
    for (int i = Count() - 1; i >= 0; --i)
        if (GetItem(i).Shape() == &shape) TCollection<TDrwChart>::Delete(i);
}

} // namespace xls
