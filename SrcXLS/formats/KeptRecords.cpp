#include "SrcXLS/formats/KeptRecords.h"

#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/XLSStream.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace xls {

namespace {

constexpr TExcelVersion V2 = TExcelVersion::xvExcel21;
constexpr TExcelVersion V3 = TExcelVersion::xvExcel30;
constexpr TExcelVersion V4 = TExcelVersion::xvExcel40;
constexpr TExcelVersion V5 = TExcelVersion::xvExcel50;
constexpr TExcelVersion V8 = TExcelVersion::xvExcel97;

constexpr uint16_t INTERFACEHDR = 0x00E1;

// Records whose layout is the same in every version from First to Last.
struct TSharedLayout {
    uint16_t Id;
    TExcelVersion First, Last;
};

constexpr TSharedLayout SharedLayouts[] = {
    {0x0012, V2, V8}, // PROTECT
    {0x0013, V2, V8}, // PASSWORD
    {0x0019, V2, V8}, // WINDOWPROTECT
    {0x0060, V2, V8}, // TEMPLATE, empty
    {0x001C, V2, V5}, // NOTE of the older layout
    {0x0086, V2, V8}, // WRITEPROT, empty
    {0x0081, V3, V8}, // WSBOOL
    {0x005E, V3, V8}, // UNCALCED
    {0x0063, V3, V8}, // OBJPROTECT
    {0x0099, V4, V8}, // STANDARDWIDTH
    {0x00C1, V5, V8}, // MMS
    {0x00DD, V5, V8}, // SCENPROTECT
    {0x00DE, V5, V8}, // OLESIZE
    {0x00E2, V5, V8}, // INTERFACEEND, empty
};

// Names of the records of BIFF5 and BIFF8 files that cross versions least
// well; ids of older files may mean other records.
struct TRecordName {
    uint16_t Id;
    const char* Name;
};

constexpr TRecordName RecordNames[] = {
    {0x001C, "NOTE"},         {0x004D, "PLS"},
    {0x005D, "OBJ"},          {0x005E, "UNCALCED"},
    {0x007F, "IMDATA"},       {0x0081, "WSBOOL"},
    {0x0090, "SORT"},         {0x0099, "STANDARDWIDTH"},
    {0x009B, "FILTERMODE"},   {0x009D, "AUTOFILTERINFO"},
    {0x009E, "AUTOFILTER"},   {0x00AE, "SCENARIO"},
    {0x00AF, "SCENMAN"},      {0x00B0, "SXVIEW"},
    {0x00BF, "TOOLBARHDR"},   {0x00C0, "TOOLBAREND"},
    {0x00C1, "MMS"},          {0x00E1, "INTERFACEHDR"},
    {0x00E2, "INTERFACEEND"}, {0x00E9, "BITMAP"},
    {0x00EF, "PHONETIC"},     {0x0160, "USESELFS"},
    {0x01B2, "DVAL"},         {0x01B6, "TXO"},
    {0x01B8, "HLINK"},        {0x01BA, "CODENAME"},
    {0x01BC, "PROT4REVPASS"}, {0x01BE, "DV"},
    {0x01C0, "EXCEL9FILE"},   {0x0236, "TABLE"},
    {0x0800, "HLINKTOOLTIP"}, {0x0868, "FEAT"},
};

// A workbook read from a package holds defaults only. One whose version
// read is unknown (a new workbook holds defaults only; one whose read
// failed holds what was read) keeps only records laid out the same in
// every version.
bool CrossesVersions(TExcelVersion read, TExcelVersion written) {
    return read != written && read != TExcelVersion::xvExcel2007;
}

// Records the writer makes itself in the layout of the version written,
// whatever the list holds of them.
constexpr uint16_t WritersOwn[] = {
    0x001D, // SELECTION
    0x0092, // PALETTE
    0x00D3, // OBPROJ
    0x013D, // TABID
};

bool IsKept(const TRecordStorageDefault& list, const TRecordBlock& block) {
    const uint16_t id = block.Id();
    return id < 0x8000 && list.DefaultBlock(id) != &block &&
           std::find(std::begin(WritersOwn), std::end(WritersOwn), id) == std::end(WritersOwn);
}

std::string RecordName(uint16_t id, TExcelVersion read) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%.4X", unsigned(id));
    if (read >= V5)
        for (const TRecordName& n : RecordNames)
            if (n.Id == id) return std::string(n.Name) + " (" + hex + ")";
    return std::string("record ") + hex;
}

} // namespace

bool KeptLayoutIsShared(uint16_t id, TExcelVersion read, TExcelVersion written) {
    if (!CrossesVersions(read, written)) return true;
    const bool known = read >= V2 && read <= V8;
    return std::any_of(std::begin(SharedLayouts), std::end(SharedLayouts), [&](const TSharedLayout& s) {
        const bool readShares = known ? read >= s.First && read <= s.Last : s.First == V2 && s.Last == V8;
        return s.Id == id && readShares && written >= s.First && written <= s.Last;
    });
}

bool RewritesKeptRecord(uint16_t id, TExcelVersion read, TExcelVersion written) {
    return id == INTERFACEHDR && CrossesVersions(read, written) && read >= V5 && written >= V5;
}

std::vector<bool> KeptRecordsWritten(const TRecordStorageDefault& list, TExcelVersion read,
                                     TExcelVersion written) {
    std::vector<bool> out(size_t(list.Count()), true);
    if (!CrossesVersions(read, written)) return out;
    bool previous = true;
    for (int i = 0; i < list.Count(); ++i) {
        const TRecordBlock& block = list.GetItem(i);
        const uint16_t id = block.Id();
        if (id == biff::CONTINUE) {
            out[size_t(i)] = previous;
            continue;
        }
        if (IsKept(list, block) && IsBOFId(id)) {
            // Up to the EOF that closes it; the list's own EOF is no part of it.
            int depth = 0;
            for (; i < list.Count(); ++i) {
                const TRecordBlock& inner = list.GetItem(i);
                if (!IsKept(list, inner)) {
                    --i;
                    break;
                }
                out[size_t(i)] = false;
                if (IsBOFId(inner.Id())) ++depth;
                if (inner.Id() == biff::EOF_RECORD && --depth == 0) break;
            }
            previous = false;
            continue;
        }
        // The writer of Excel 4 files writes none of the records kept.
        previous = !IsKept(list, block) || (written >= V5 && (KeptLayoutIsShared(id, read, written) ||
                                                              RewritesKeptRecord(id, read, written)));
        out[size_t(i)] = previous;
    }
    return out;
}

TKeptLeftOut KeptRecordsLeftOut(const TRecordStorageDefault& list, TExcelVersion read, TExcelVersion written,
                                std::initializer_list<uint16_t> skip) {
    TKeptLeftOut out;
    const std::vector<bool> kept = KeptRecordsWritten(list, read, written);
    std::vector<std::pair<uint16_t, int>> counts;
    for (int i = 0; i < list.Count(); ++i) {
        if (kept[size_t(i)]) continue;
        const uint16_t id = list.GetItem(i).Id();
        if (IsBOFId(id)) {
            // The substream's records go with it.
            ++out.Substreams;
            int depth = 0;
            for (; i < list.Count() && !kept[size_t(i)]; ++i) {
                const uint16_t inner = list.GetItem(i).Id();
                if (IsBOFId(inner)) ++depth;
                if (inner == biff::EOF_RECORD && --depth == 0) break;
            }
            continue;
        }
        if (id == biff::CONTINUE || std::find(skip.begin(), skip.end(), id) != skip.end()) continue;
        auto found =
            std::find_if(counts.begin(), counts.end(), [id](const auto& c) { return c.first == id; });
        if (found == counts.end())
            counts.emplace_back(id, 1);
        else
            ++found->second;
    }
    for (const auto& [id, n] : counts)
        out.Names.push_back(RecordName(id, read) + (n > 1 ? " x" + std::to_string(n) : ""));
    return out;
}

} // namespace xls
