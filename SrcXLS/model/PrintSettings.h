// A sheet's page setup. Most values live in the sheet's SETUP record and the
// small print records of its record list, so the model and the file stay one
// thing; margins, header, footer and manual page breaks are plain values that
// the writers turn into records.
#pragma once

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace xls {

// Paper codes as the SETUP record holds them.
enum class TPaperSize : uint8_t {
    psNone,
    psLetter,
    psLetterSmall,
    psTabloid,
    psLedger,
    psLegal,
    psStatement,
    psExecutive,
    psA3,
    psA4,
    psA4Small,
    psA5,
    psB4,
    psB5,
    psFolio,
    psQuarto,
    ps10X14,
    ps11X17,
    psNote,
    psEnv9,
    psEnv10,
    psEnv11,
    psEnv12,
    psEnv14,
    psCSheet,
    psDSheet,
    psESheet,
    psEnvDL,
    psEnvC5,
    psEnvC3,
    psEnvC4,
    psEnvC6,
    psEnvC65,
    psEnvB4,
    psEnvB5,
    psEnvB6,
    psEnvItaly,
    psEnvMonarch,
    psEnvPersonal,
    psFanfoldUS,
    psFanfoldStdGerman,
    psFanfoldLglGerman,
    psISO_B4,
    psJapanesePostcard,
    ps9X11,
    ps10X11,
    ps15X11,
    psEnvInvite,
    psReserved48,
    psReserved49,
    psLetterExtra,
    psLegalExtra,
    psTabloidExtra,
    psA4Extra,
    psLetterTransverse,
    psA4Transverse,
    psLetterExtraTransverse,
    psAPlus,
    psBPlus,
    psLetterPlus,
    psA4Plus,
    psA5Transverse,
    psB5Transverse,
    psA3Extra,
    psA5Extra,
    psB5Extra,
    psA2,
    psA3Transverse,
    psA3ExtraTransverse,
};

enum class TPrintSetupOption : uint8_t {
    psoLeftToRight,
    psoPortrait,
    psoNoColor,
    psoDraftQuality,
    psoNotes,
    psoRowColHeading,
    psoGridlines,
    psoHorizCenter,
    psoVertCenter,
};

// A set of print options, one bit per member in member order.
class TPrintSetupOptions {
public:
    TPrintSetupOptions() = default;
    TPrintSetupOptions(std::initializer_list<TPrintSetupOption> members) {
        for (TPrintSetupOption m : members) Include(m);
    }
    static TPrintSetupOptions FromBits(uint16_t bits) {
        TPrintSetupOptions s;
        s.bits = bits & 0x01FF;
        return s;
    }
    uint16_t Bits() const { return bits; }
    bool Contains(TPrintSetupOption m) const { return bits & Bit(m); }
    void Include(TPrintSetupOption m) { bits = uint16_t(bits | Bit(m)); }
    void Exclude(TPrintSetupOption m) { bits = uint16_t(bits & ~Bit(m)); }
    bool operator==(const TPrintSetupOptions&) const = default;

private:
    static uint16_t Bit(TPrintSetupOption m) { return uint16_t(1u << unsigned(m)); }
    uint16_t bits = 0;
};

// Positions are zero-based and signed: a break read from a file whose range
// starts at the first cell holds -1 there and is written back unchanged.
class THorizPagebreak : public TCollectionItem {
public:
    explicit THorizPagebreak(int maxColumn) : Col2(maxColumn) {}
    int Row = 0;
    int Col1 = 0;
    int Col2;
    void Assign(const THorizPagebreak& source);
};

class TVertPagebreak : public TCollectionItem {
public:
    explicit TVertPagebreak(int maxRow) : Row2(maxRow) {}
    int Col = 0;
    int Row1 = 0;
    int Row2;
    void Assign(const TVertPagebreak& source);
};

// New breaks span the whole sheet as far as the active limits reach.
template <class Item, int TLibraryState::*Limit> class TPagebreaks : public TCollection<Item> {
public:
    explicit TPagebreaks(const TLibraryState& limits) : limits(limits) {}
    Item& Add() { return this->Insert(std::make_unique<Item>(limits.*Limit)); }
    void Assign(const TPagebreaks& source) {
        if (&source == this) return;
        this->Clear();
        for (int i = 0; i < source.Count(); ++i) Add().Assign(source[i]);
    }

private:
    const TLibraryState& limits;
};

using THorizPagebreaks = TPagebreaks<THorizPagebreak, &TLibraryState::MaxColumn>;
using TVertPagebreaks = TPagebreaks<TVertPagebreak, &TLibraryState::MaxRow>;

class TPrintSettings {
public:
    explicit TPrintSettings(TRecordStorageSheet& records, const TLibraryState& limits = LibState());
    TPrintSettings(const TPrintSettings&) = delete;
    TPrintSettings& operator=(const TPrintSettings&) = delete;

    // Header, footer, margins and page breaks; the record-backed values stay
    // with each sheet's own records.
    void Assign(const TPrintSettings& source);
    void SetDefaults();

    const std::u16string& GetHeader() const { return header; }
    void SetHeader(std::u16string_view v) { header = v; }
    const std::u16string& GetFooter() const { return footer; }
    void SetFooter(std::u16string_view v) { footer = v; }

    // Left, right, top and bottom margins of a new sheet, in inches; also
    // what readers take where a file holds no margin record.
    static constexpr double DefaultMargins[4] = {0.75, 0.75, 1.0, 1.0};
    // Inches; a negative margin is unset and writes no record.
    double GetMarginLeft() const { return marginLeft; }
    void SetMarginLeft(double v) { marginLeft = v; }
    double GetMarginRight() const { return marginRight; }
    void SetMarginRight(double v) { marginRight = v; }
    double GetMarginTop() const { return marginTop; }
    void SetMarginTop(double v) { marginTop = v; }
    double GetMarginBottom() const { return marginBottom; }
    void SetMarginBottom(double v) { marginBottom = v; }
    double GetMarginLeftCm() const { return ToCm(marginLeft); }
    void SetMarginLeftCm(double v) { marginLeft = FromCm(v); }
    double GetMarginRightCm() const { return ToCm(marginRight); }
    void SetMarginRightCm(double v) { marginRight = FromCm(v); }
    double GetMarginTopCm() const { return ToCm(marginTop); }
    void SetMarginTopCm(double v) { marginTop = FromCm(v); }
    double GetMarginBottomCm() const { return ToCm(marginBottom); }
    void SetMarginBottomCm(double v) { marginBottom = FromCm(v); }

    double GetHeaderMargin() const { return Double(HeaderMarginAt); }
    void SetHeaderMargin(double inches) { SetDouble(HeaderMarginAt, inches); }
    double GetHeaderMarginCm() const { return ToCm(GetHeaderMargin()); }
    void SetHeaderMarginCm(double v) { SetHeaderMargin(FromCm(v)); }
    double GetFooterMargin() const { return Double(FooterMarginAt); }
    void SetFooterMargin(double inches) { SetDouble(FooterMarginAt, inches); }
    double GetFooterMarginCm() const { return ToCm(GetFooterMargin()); }
    void SetFooterMarginCm(double v) { SetFooterMargin(FromCm(v)); }

    // The SETUP record keeps a 16-bit field, of which only the low byte is
    // the paper.
    TPaperSize GetPaperSize() const;
    void SetPaperSize(TPaperSize v);
    uint16_t GetScalingFactor() const { return Word(ScaleAt); }
    void SetScalingFactor(uint16_t v) { SetWord(ScaleAt, v); }
    // Anything but 1 also tells the printer to use the number.
    uint16_t GetStartingPage() const { return Word(StartPageAt); }
    void SetStartingPage(uint16_t v);
    // A value outside 0..65535 stores 0.
    int GetFitWidth() const { return Word(FitWidthAt); }
    void SetFitWidth(int v) { SetWord(FitWidthAt, Fit(v)); }
    int GetFitHeight() const { return Word(FitHeightAt); }
    void SetFitHeight(int v) { SetWord(FitHeightAt, Fit(v)); }
    uint16_t GetResolution() const { return Word(ResolutionAt); }
    void SetResolution(uint16_t v) { SetWord(ResolutionAt, v); }
    uint16_t GetCopies() const { return Word(CopiesAt); }
    void SetCopies(uint16_t v) { SetWord(CopiesAt, v); }

    // Setting the options rebuilds the SETUP flag word from nothing: flags
    // the options do not name, the starting-page flag among them, are
    // cleared.
    TPrintSetupOptions GetOptions() const;
    void SetOptions(TPrintSetupOptions v);

    THorizPagebreaks& HorizPagebreaks() { return horizPagebreaks; }
    const THorizPagebreaks& HorizPagebreaks() const { return horizPagebreaks; }
    TVertPagebreaks& VertPagebreaks() { return vertPagebreaks; }
    const TVertPagebreaks& VertPagebreaks() const { return vertPagebreaks; }

    TRecordStorageSheet& Records() const { return records; }

    // Offsets into the SETUP body.
    static constexpr int PaperAt = 0;
    static constexpr int ScaleAt = 2;
    static constexpr int StartPageAt = 4;
    static constexpr int FitWidthAt = 6;
    static constexpr int FitHeightAt = 8;
    static constexpr int OptionsAt = 10;
    static constexpr int ResolutionAt = 12;
    static constexpr int HeaderMarginAt = 16;
    static constexpr int FooterMarginAt = 24;
    static constexpr int CopiesAt = 32;
    static constexpr uint16_t UseStartPage = 0x0080;

private:
    static double ToCm(double inches) { return inches * 2.54; }
    static double FromCm(double cm) { return cm / 2.54; }
    static uint16_t Fit(int v) { return v >= 0 && v <= 0xFFFF ? uint16_t(v) : 0; }
    uint16_t Word(int offset) const;
    void SetWord(int offset, uint16_t v);
    double Double(int offset) const;
    void SetDouble(int offset, double v);

    TRecordStorageSheet& records;
    std::u16string header;
    std::u16string footer;
    double marginLeft = 0.75;
    double marginRight = 0.75;
    double marginTop = 1.0;
    double marginBottom = 1.0;
    THorizPagebreaks horizPagebreaks;
    TVertPagebreaks vertPagebreaks;
};

} // namespace xls
