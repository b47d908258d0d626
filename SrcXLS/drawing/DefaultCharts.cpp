// The shape of a chart that a program adds to a sheet: its record tree
// starts empty, for the chart model to fill.
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/EscherDrawing.h"

namespace xls {

TShapeClientAnchor& TEscherDrawing::AddChart() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 2, 1, 8, 16);
    for (auto [id, value] : std::initializer_list<std::pair<uint16_t, uint32_t>>{{127, 0x01040104},
                                                                                 {191, 0x00080008},
                                                                                 {385, 0x0800004E},
                                                                                 {387, 0x0800004D},
                                                                                 {447, 0x00100010},
                                                                                 {448, 0x0800004D},
                                                                                 {511, 0x00100010},
                                                                                 {575, 0x00020000}})
        shape.Opt.Add(id, value);
    shape.Opt.FixCount();
    const uint16_t id = NewObjectId();
    // ftCmo (type 5, flags 0x6011) and ftEnd: the chart writes its OBJ itself.
    std::vector<uint8_t> obj = {uint8_t(ft::Cmo), 0, 18, 0};
    const std::vector<uint8_t> cmo = CmoBody(objtype::Chart, id, 0x6011);
    obj.insert(obj.end(), cmo.begin(), cmo.end());
    obj.insert(obj.end(), 4, 0);
    shape.Attached = std::make_unique<TShapeOutsideMsoChart>(id, group, fonts, std::move(obj));
    return shape;
}

} // namespace xls
