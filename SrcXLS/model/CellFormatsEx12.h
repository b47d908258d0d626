// The 2007 style model beside the BIFF8 XF body: fills and borders shared
// between cell formats, colours by palette index, value or theme number with
// a tint, cell styles, and the cell format entry that holds them. The BIFF8
// body of such an entry mirrors what it can express, so that everything
// reading a format through the body sees the nearest BIFF values.
#pragma once

#include "SrcXLS/XLSColors.h"
#include "SrcXLS/model/CellFormats.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xls {

struct TGradientStop {
    double Position = 0;
    TExtColor Color;
};

class TGradientFill {
public:
    enum TEdge { geLeft, geRight, geTop, geBottom };
    std::vector<TGradientStop> Stops;
    bool Path = false; // a path gradient, else linear at Degree
    double Degree = 0;
    void SetLeft(double v) { SetEdge(geLeft, v); }
    void SetRight(double v) { SetEdge(geRight, v); }
    void SetTop(double v) { SetEdge(geTop, v); }
    void SetBottom(double v) { SetEdge(geBottom, v); }
    void SetEdge(int i, double v) {
        edges[size_t(i)] = v;
        edgeSet[size_t(i)] = true;
    }
    bool IsEdgeSet(int i) const { return edgeSet[size_t(i)]; }
    double Edge(int i) const { return edges[size_t(i)]; }
    bool operator==(const TGradientFill& o) const;

private:
    std::array<double, 4> edges{};
    std::array<bool, 4> edgeSet{};
};

class TFill {
public:
    TFill();
    // Pattern with fore and back colours by palette index.
    static std::unique_ptr<TFill> CreatePattern(int pattern, int foreIndex, int backIndex);
    TFill(const TFill&) = delete;
    TFill& operator=(const TFill&) = delete;

    int UsageCount = 0;
    int Index = 0;
    uint8_t PatternType = 0; // 0 none, 1 solid, ..., 17 gray125, 18 gray0625
    TExtColor FgColor;
    TExtColor BgColor;
    std::unique_ptr<TGradientFill> Gradient;

    bool IsGradient() const { return bool(Gradient); }
    void SetGradient(bool on);
    bool SameAs(const TFill& other) const;
};

// One side of a 2007 border: its line style (0 none .. 13) and colour.
struct TBorderLine {
    TExtColor Color;
    uint8_t Style = 0;
    bool Present = false; // the side's element was there
    bool operator==(const TBorderLine&) const = default;
};

class TBorder {
public:
    enum TSide { bsLeft, bsTop, bsRight, bsBottom, bsDiagonal, bsVertical, bsHorizontal, bsCount };
    enum TFlags : uint8_t { bfDiagonalDown = 1, bfDiagonalUp = 2, bfOutline = 4 };
    TBorder();
    TBorder(const TBorder&) = delete;
    TBorder& operator=(const TBorder&) = delete;

    int UsageCount = 0;
    int Index = 0;
    uint8_t Flags = 0;
    std::array<TBorderLine, bsCount> Sides;
    bool SameAs(const TBorder& other) const { return Flags == other.Flags && Sides == other.Sides; }
};

class TFills {
public:
    int Count() const { return int(items.size()); }
    TFill* GetItem(int i) const { return i >= 0 && i < Count() ? items[size_t(i)].get() : nullptr; }
    TFill* Add();
    TFill* Add(std::unique_ptr<TFill> fill);
    // "none" and "gray125", the two fills every package starts with.
    void AddDefaults();
    bool StartsWithDefaults() const;
    void Renumber();
    void Clear() { items.clear(); }

private:
    std::vector<std::unique_ptr<TFill>> items;
};

class TBorders {
public:
    int Count() const { return int(items.size()); }
    TBorder* GetItem(int i) const { return i >= 0 && i < Count() ? items[size_t(i)].get() : nullptr; }
    TBorder* Add();
    // One empty border.
    void AddDefaults();
    bool StartsWithDefaults() const;
    void Renumber();
    void Clear() { items.clear(); }

private:
    std::vector<std::unique_ptr<TBorder>> items;
};

struct TEx12CellStyle {
    std::u16string Name;
    int XfId = 0;
    int BuiltinId = -1;
    int ILevel = -1;
    bool CustomBuiltin = false;
    bool Hidden = false;
};

class TEx12CellStyles {
public:
    int Count() const { return int(items.size()); }
    TEx12CellStyle& Add() { return items.emplace_back(); }
    const TEx12CellStyle& GetItem(int i) const { return items[size_t(i)]; }
    void Clear() { items.clear(); }

private:
    std::vector<TEx12CellStyle> items;
};

enum TApplyBits : uint8_t {
    abNumberFormat = 1,
    abFont = 2,
    abFill = 4,
    abBorder = 8,
    abAlignment = 16,
    abProtection = 32,
};

class TCellFormatEx12 : public TCellFormat {
public:
    explicit TCellFormatEx12(TCellFormats* pool) : TCellFormat(pool) {}
    ~TCellFormatEx12() override;

    // Takes one use of each.
    void SetFill(TFill* fill);
    void SetBorder(TBorder* border);
    TFill* Fill() const { return fill; }
    TBorder* Border() const { return border; }
    void SetHeldFont(TXFont* font);
    // The body mirrors the fill and the border in palette colours.
    void MirrorToBody();

    // Position of the parent style in the style-format list, -1 for none.
    int StyleXfId = -1;
    uint8_t ApplyMask = 0;
    bool QuotePrefix = false;
    bool PivotButton = false;
    bool JustifyLastLine = false;
    int RelativeIndent = 0;
    // The whole indent (the body keeps four bits of it).
    int Indent = 0;
    // Only the alignment attributes the package gave are written back.
    bool HasAlignment = false;
    bool HasProtection = false;

    int GetBorderLeftColor() const override { return SideIndex(TBorder::bsLeft); }
    int GetBorderRightColor() const override { return SideIndex(TBorder::bsRight); }
    int GetBorderTopColor() const override { return SideIndex(TBorder::bsTop); }
    int GetBorderBottomColor() const override { return SideIndex(TBorder::bsBottom); }
    int GetBorderDiagColor() const override { return 64; }
    int GetBorderDiagLines() const override { return 0; }
    int GetBorderDiagStyle() const override { return 0; }
    int GetBorderLeftStyle() const override { return SideStyle(TBorder::bsLeft); }
    int GetBorderRightStyle() const override { return SideStyle(TBorder::bsRight); }
    int GetBorderTopStyle() const override { return SideStyle(TBorder::bsTop); }
    int GetBorderBottomStyle() const override { return SideStyle(TBorder::bsBottom); }
    void SetBorderLeftColor(int c) override { SetSideIndex(TBorder::bsLeft, c); }
    void SetBorderRightColor(int c) override { SetSideIndex(TBorder::bsRight, c); }
    void SetBorderTopColor(int c) override { SetSideIndex(TBorder::bsTop, c); }
    void SetBorderBottomColor(int c) override { SetSideIndex(TBorder::bsBottom, c); }
    void SetBorderDiagColor(int c) override { SetSideIndex(TBorder::bsDiagonal, c); }
    void SetBorderLeftStyle(int) override {}
    void SetBorderRightStyle(int) override {}
    void SetBorderTopStyle(int) override {}
    void SetBorderBottomStyle(int) override {}
    void SetBorderDiagStyle(int) override {}
    void SetBorderDiagLines(int) override {}

    int GetFillPattern() const override { return fill ? fill->PatternType : 0; }
    int GetFillForeColor() const override;
    int GetFillBackColor() const override;
    uint32_t GetFillForeColorRGB() const override { return fill ? fill->FgColor.RGB : 0; }
    uint32_t GetFillBackColorRGB() const override { return fill ? fill->BgColor.RGB : 0; }
    void SetCellColorRGB(uint32_t rgb) override;
    uint32_t GetBorderLeftColorRGB() const override { return SideRGB(TBorder::bsLeft); }
    uint32_t GetBorderRightColorRGB() const override { return SideRGB(TBorder::bsRight); }
    uint32_t GetBorderTopColorRGB() const override { return SideRGB(TBorder::bsTop); }
    uint32_t GetBorderBottomColorRGB() const override { return SideRGB(TBorder::bsBottom); }
    uint32_t GetBorderDiagColorRGB() const override { return SideRGB(TBorder::bsDiagonal); }
    void SetBorderLeftColorRGB(uint32_t rgb) override { SetSideRGB(TBorder::bsLeft, rgb); }
    void SetBorderRightColorRGB(uint32_t rgb) override { SetSideRGB(TBorder::bsRight, rgb); }
    void SetBorderTopColorRGB(uint32_t rgb) override { SetSideRGB(TBorder::bsTop, rgb); }
    void SetBorderBottomColorRGB(uint32_t rgb) override { SetSideRGB(TBorder::bsBottom, rgb); }
    void SetBorderDiagColorRGB(uint32_t rgb) override { SetSideRGB(TBorder::bsDiagonal, rgb); }
    void SetFillBackColorRGB(uint32_t rgb) override;

    TXFont* GetFont() const override { return font ? font : TCellFormat::GetFont(); }
    bool IsDateFormat() const override { return false; }
    bool HasFill() const override { return false; }
    bool HasBorder() const override { return false; }
    bool HasCustomFont() const override { return false; }
    bool Equal(const TCellFormat&) const override { return false; }
    void Assign(const TCellFormat& other) override;

private:
    TBorderLine* Side(int side) const { return border ? &border->Sides[size_t(side)] : nullptr; }
    int SideIndex(int side) const;
    int SideStyle(int side) const;
    uint32_t SideRGB(int side) const;
    void SetSideIndex(int side, int index);
    void SetSideRGB(int side, uint32_t rgb);

    TFill* fill = nullptr;
    TBorder* border = nullptr;
    TXFont* font = nullptr;
};

// The palette index of a 2007 colour (64 for automatic and unset).
int ExtColorIndex(const TExtColor& color);

} // namespace xls
