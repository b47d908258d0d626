// Shape anchors: the client anchor that places a top-level shape by the
// cells under its corners and offsets inside them, the child anchor of a
// shape inside a group, and the item through which a program reads and moves
// a drawing object in cell terms.
#pragma once

#include "SrcXLS/model/Collection.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace xls {

class TDrawingOut;
class TShapeClientAnchor;

// Column offsets count 1/1024 of the column width, row offsets 1/256 of
// the row height.
constexpr int ColOffsetUnits = 1024;
constexpr int RowOffsetUnits = 256;
// A stored offset as a fraction.
double OffsetToFraction(int32_t stored, int units);
// A fraction clamped to 0..1 (not a number gives 0), scaled and rounded
// half to even.
int32_t FractionToOffset(double fraction, int units);

// The 18-byte ClientAnchor body, each field held as a 32-bit integer.
class TMSOObjCLIENTANCHOR {
public:
    int32_t Flags = 0;
    int32_t Col1 = 0, Col1Offset = 0, Row1 = 0, Row1Offset = 0;
    int32_t Col2 = 0, Col2Offset = 0, Row2 = 0, Row2Offset = 0;

    // body holds at least 18 bytes.
    void Read(std::span<const uint8_t> body);
    // Header and body; only into a BIFF8 stream ("Unhandled excel version").
    void Write(TDrawingOut& out) const;
    void Assign(const TMSOObjCLIENTANCHOR& source) { *this = source; }
};

// A drawing object of a sheet as the program sees it: its name and the
// shape it stands for.
class TDrwAnchor : public TCollectionItem {
public:
    virtual std::u16string GetDisplayName() const { return Name; }
    virtual void SetShape(TShapeClientAnchor* shape) { this->shape = shape; }
    TShapeClientAnchor* Shape() const { return shape; }

    std::u16string Name;

    int GetCol1() const;
    void SetCol1(int v);
    double GetCol1Offset() const;
    void SetCol1Offset(double v);
    int GetCol2() const;
    void SetCol2(int v);
    double GetCol2Offset() const;
    void SetCol2Offset(double v);
    int GetRow1() const;
    void SetRow1(int v);
    double GetRow1Offset() const;
    void SetRow1Offset(double v);
    int GetRow2() const;
    void SetRow2(int v);
    double GetRow2Offset() const;
    void SetRow2Offset(double v);
    bool GetFlipHorizontal() const;
    void SetFlipHorizontal(bool v);
    bool GetFlipVertical() const;
    void SetFlipVertical(bool v);
    uint32_t GetSpId() const;

private:
    TMSOObjCLIENTANCHOR& Anchor() const;
    void SetFlag(uint32_t flag, bool on);
    TShapeClientAnchor* shape = nullptr;
};

} // namespace xls
