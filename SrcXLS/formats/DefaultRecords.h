// The record lists of the workbook globals and of a worksheet with their
// default sets, so that a workbook made from scratch is a complete BIFF8
// file, and typed access to the bodies of the default records.
#pragma once

#include "SrcXLS/formats/RecordStorage.h"

#include <string>

namespace xls {

namespace biff {
constexpr uint16_t BOF = 0x0809;
constexpr uint16_t EOF_RECORD = 0x000A;
constexpr uint16_t CALCCOUNT = 0x000C;
constexpr uint16_t CALCMODE = 0x000D;
constexpr uint16_t PRECISION = 0x000E;
constexpr uint16_t REFMODE = 0x000F;
constexpr uint16_t DELTA = 0x0010;
constexpr uint16_t ITERATION = 0x0011;
constexpr uint16_t PROTECT = 0x0012;
constexpr uint16_t PASSWORD = 0x0013;
constexpr uint16_t WINDOWPROTECT = 0x0019;
constexpr uint16_t SELECTION = 0x001D;
constexpr uint16_t DATEMODE = 0x0022;
constexpr uint16_t PRINTHEADERS = 0x002A;
constexpr uint16_t PRINTGRIDLINES = 0x002B;
constexpr uint16_t WINDOW1 = 0x003D;
constexpr uint16_t BACKUP = 0x0040;
constexpr uint16_t CODEPAGE = 0x0042;
constexpr uint16_t DEFCOLWIDTH = 0x0055;
constexpr uint16_t WRITEACCESS = 0x005C;
constexpr uint16_t SAVERECALC = 0x005F;
constexpr uint16_t GUTS = 0x0080;
constexpr uint16_t WSBOOL = 0x0081;
constexpr uint16_t GRIDSET = 0x0082;
constexpr uint16_t HCENTER = 0x0083;
constexpr uint16_t VCENTER = 0x0084;
constexpr uint16_t COUNTRY = 0x008C;
constexpr uint16_t HIDEOBJ = 0x008D;
constexpr uint16_t FNGROUPCOUNT = 0x009C;
constexpr uint16_t SETUP = 0x00A1;
constexpr uint16_t BOOKBOOL = 0x00DA;
constexpr uint16_t TABID = 0x013D;
constexpr uint16_t DSF = 0x0161;
constexpr uint16_t PROT4REV = 0x01AF;
constexpr uint16_t REFRESHALL = 0x01B7;
constexpr uint16_t RECALCID = 0x01C1;
constexpr uint16_t DIMENSIONS = 0x0200;
constexpr uint16_t DEFAULTROWHEIGHT = 0x0225;
constexpr uint16_t WINDOW2 = 0x023E;
} // namespace biff

class TRecordStorageGlobals : public TRecordStorageDefault {
public:
    TRecordStorageGlobals() { SetDefaults(); }
    int AfterRead() override { return 0; }

    bool GetBackup() const { return GetBool(biff::BACKUP); }
    void SetBackup(bool v) { SetBool(biff::BACKUP, v); }
    bool GetBookBool() const { return GetBool(biff::BOOKBOOL); }
    void SetBookBool(bool v) { SetBool(biff::BOOKBOOL, v); }
    // 0 show all objects, 1 placeholders, 2 hide all.
    uint16_t GetHideObj() const { return GetWord(biff::HIDEOBJ, 0); }
    void SetHideObj(uint16_t v) { SetWord(biff::HIDEOBJ, 0, v); }
    bool GetPrecision() const { return GetBool(biff::PRECISION); }
    void SetPrecision(bool v) { SetBool(biff::PRECISION, v); }
    bool GetRefreshAll() const { return GetBool(biff::REFRESHALL); }
    void SetRefreshAll(bool v) { SetBool(biff::REFRESHALL, v); }
    bool GetWindowProtect() const { return GetBool(biff::WINDOWPROTECT); }
    void SetWindowProtect(bool v) { SetBool(biff::WINDOWPROTECT, v); }
    // True for the 1904 date system.
    bool GetDateMode() const { return GetBool(biff::DATEMODE); }
    void SetDateMode(bool v) { SetBool(biff::DATEMODE, v); }

    std::u16string GetUserName() const;
    void SetUserName(std::u16string_view name);

    // Bodies for the component's properties, at least as long as the defaults.
    std::span<uint8_t> Window1Data() { return FullBody(biff::WINDOW1); }
    std::span<uint8_t> BOFData() { return FullBody(biff::BOF); }
    std::span<uint8_t> CountryData() { return FullBody(biff::COUNTRY); }
    std::span<uint8_t> RecalcIdData() { return FullBody(biff::RECALCID); }

protected:
    const std::vector<TDefaultBody>& DefaultSet() const override;
    bool IsPlaceholder(uint16_t id) const override { return id >= 0x8001 && id <= 0x8005; }
    bool RenamesBOF() const override { return false; }
};

class TRecordStorageSheet : public TRecordStorageDefault {
public:
    TRecordStorageSheet() { SetDefaults(); }
    int AfterRead() override { return -1; }

    uint16_t GetCalcMode() const { return GetWord(biff::CALCMODE, 0); }
    void SetCalcMode(uint16_t v) { SetWord(biff::CALCMODE, 0, v); }
    uint16_t GetCalcCount() const { return GetWord(biff::CALCCOUNT, 0); }
    void SetCalcCount(uint16_t v) { SetWord(biff::CALCCOUNT, 0, v); }
    uint16_t GetRefMode() const { return GetWord(biff::REFMODE, 0); }
    void SetRefMode(uint16_t v) { SetWord(biff::REFMODE, 0, v); }
    bool GetIteration() const { return GetBool(biff::ITERATION); }
    void SetIteration(bool v) { SetBool(biff::ITERATION, v); }
    bool GetSaveRecalc() const { return GetBool(biff::SAVERECALC); }
    void SetSaveRecalc(bool v) { SetBool(biff::SAVERECALC, v); }
    double GetDelta() const { return GetDouble(biff::DELTA, 0); }
    void SetDelta(double v) { SetDouble(biff::DELTA, 0, v); }
    bool GetPrintGridLines() const { return GetBool(biff::PRINTGRIDLINES); }
    void SetPrintGridLines(bool v) { SetBool(biff::PRINTGRIDLINES, v); }
    bool GetPrintHeaders() const { return GetBool(biff::PRINTHEADERS); }
    void SetPrintHeaders(bool v) { SetBool(biff::PRINTHEADERS, v); }
    bool GetHCenter() const { return GetBool(biff::HCENTER); }
    void SetHCenter(bool v) { SetBool(biff::HCENTER, v); }
    bool GetVCenter() const { return GetBool(biff::VCENTER); }
    void SetVCenter(bool v) { SetBool(biff::VCENTER, v); }
    uint16_t GetWSBool() const { return GetWord(biff::WSBOOL, 0); }
    void SetWSBool(uint16_t v) { SetWord(biff::WSBOOL, 0, v); }
    uint16_t GetDefColWidth() const { return GetWord(biff::DEFCOLWIDTH, 0); }
    void SetDefColWidth(uint16_t v) { SetWord(biff::DEFCOLWIDTH, 0, v); }
    uint16_t GetProtect() const { return GetWord(biff::PROTECT, 0); }
    void SetProtect(uint16_t v) { SetWord(biff::PROTECT, 0, v); }

    // Bodies for the sheet, print settings and selection, at least as long
    // as the defaults (a shorter record read from a file is grown).
    std::span<uint8_t> SetupData() { return FullBody(biff::SETUP); }
    std::span<uint8_t> DefaultRowHeightData() { return FullBody(biff::DEFAULTROWHEIGHT); }
    std::span<uint8_t> GutsData() { return FullBody(biff::GUTS); }
    std::span<uint8_t> DimensionsData() { return FullBody(biff::DIMENSIONS); }
    std::span<uint8_t> Window2Data() { return FullBody(biff::WINDOW2); }
    std::span<uint8_t> SelectionData() { return FullBody(biff::SELECTION); }
    std::span<uint8_t> BOFData() { return FullBody(biff::BOF); }

protected:
    const std::vector<TDefaultBody>& DefaultSet() const override;
    bool IsPlaceholder(uint16_t id) const override { return id >= 0x8101 && id <= 0x8106; }
    bool RenamesBOF() const override { return true; }
};

} // namespace xls
