#include "SrcXLS/drawing/ShapeAnchors.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/drawing/Shapes.h"

#include <cmath>

namespace xls {

double OffsetToFraction(int32_t stored, int units) {
    return double(stored) / double(units);
}

int32_t FractionToOffset(double fraction, int units) {
    if (!(fraction > 0)) fraction = 0; // NaN too
    if (fraction > 1) fraction = 1;
    return int32_t(std::nearbyint(fraction * units)); // the default rounding: halves to even
}

void TMSOObjCLIENTANCHOR::Read(std::span<const uint8_t> body) {
    TByteReader r(body);
    int32_t* fields[] = {&Flags, &Col1,       &Col1Offset, &Row1,      &Row1Offset,
                         &Col2,  &Col2Offset, &Row2,       &Row2Offset};
    for (int32_t* f : fields) *f = r.U16("client anchor");
}

void TMSOObjCLIENTANCHOR::Write(TDrawingOut& out) const {
    if (out.Stream().Version() != TExcelVersion::xvExcel97) throw XLSError("Unhandled excel version");
    out.Header(0, 0, mso::ClientAnchor, 18);
    for (int32_t f : {Flags, Col1, Col1Offset, Row1, Row1Offset, Col2, Col2Offset, Row2, Row2Offset})
        out.U16(uint16_t(f));
}

// ---- the published item

TMSOObjCLIENTANCHOR& TDrwAnchor::Anchor() const {
    if (!shape) throw XLSError("The drawing object has no shape");
    return shape->Anchor;
}

int TDrwAnchor::GetCol1() const {
    return Anchor().Col1;
}
void TDrwAnchor::SetCol1(int v) {
    Anchor().Col1 = v;
}
double TDrwAnchor::GetCol1Offset() const {
    return OffsetToFraction(Anchor().Col1Offset, ColOffsetUnits);
}
void TDrwAnchor::SetCol1Offset(double v) {
    Anchor().Col1Offset = FractionToOffset(v, ColOffsetUnits);
}
int TDrwAnchor::GetCol2() const {
    return Anchor().Col2;
}
void TDrwAnchor::SetCol2(int v) {
    Anchor().Col2 = v;
}
double TDrwAnchor::GetCol2Offset() const {
    return OffsetToFraction(Anchor().Col2Offset, ColOffsetUnits);
}
void TDrwAnchor::SetCol2Offset(double v) {
    Anchor().Col2Offset = FractionToOffset(v, ColOffsetUnits);
}
int TDrwAnchor::GetRow1() const {
    return Anchor().Row1;
}
void TDrwAnchor::SetRow1(int v) {
    Anchor().Row1 = v;
}
double TDrwAnchor::GetRow1Offset() const {
    return OffsetToFraction(Anchor().Row1Offset, RowOffsetUnits);
}
void TDrwAnchor::SetRow1Offset(double v) {
    Anchor().Row1Offset = FractionToOffset(v, RowOffsetUnits);
}
int TDrwAnchor::GetRow2() const {
    return Anchor().Row2;
}
void TDrwAnchor::SetRow2(int v) {
    Anchor().Row2 = v;
}
double TDrwAnchor::GetRow2Offset() const {
    return OffsetToFraction(Anchor().Row2Offset, RowOffsetUnits);
}
void TDrwAnchor::SetRow2Offset(double v) {
    Anchor().Row2Offset = FractionToOffset(v, RowOffsetUnits);
}

bool TDrwAnchor::GetFlipHorizontal() const {
    return shape && (shape->Flags & sfFlipH);
}
bool TDrwAnchor::GetFlipVertical() const {
    return shape && (shape->Flags & sfFlipV);
}

// False clears the bit: a setter that kept a flip once set would do nothing.
void TDrwAnchor::SetFlag(uint32_t flag, bool on) {
    Anchor();
    if (on)
        shape->Flags |= flag;
    else
        shape->Flags &= ~flag;
}
void TDrwAnchor::SetFlipHorizontal(bool v) {
    SetFlag(sfFlipH, v);
}
void TDrwAnchor::SetFlipVertical(bool v) {
    SetFlag(sfFlipV, v);
}

uint32_t TDrwAnchor::GetSpId() const {
    return shape ? shape->ShapeId : 0;
}

} // namespace xls
