// Feeds records of arbitrary ids, lengths and bodies into the globals and
// sheet record lists the way the BIFF reader does, then uses every typed
// accessor and writes the lists out: nothing may read or write outside a block.
#include "SrcXLS/formats/DefaultRecords.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace xls;

namespace {

void UseAccessors(TRecordStorageGlobals& g) {
    g.SetBackup(!g.GetBackup());
    g.SetHideObj(uint16_t(g.GetHideObj() + 1));
    g.SetUserName(g.GetUserName() + u"x");
    (void)(g.GetBookBool() | g.GetPrecision() | g.GetRefreshAll() | g.GetWindowProtect() | g.GetDateMode());
    for (auto span : {g.Window1Data(), g.BOFData(), g.CountryData(), g.RecalcIdData()})
        for (auto& b : span) b ^= 1;
}

void UseAccessors(TRecordStorageSheet& s) {
    s.SetDelta(s.GetDelta() + 1);
    s.SetCalcCount(
        uint16_t(s.GetCalcCount() + s.GetCalcMode() + s.GetRefMode() + s.GetWSBool() + s.GetDefColWidth()));
    s.SetIteration(s.GetSaveRecalc() || s.GetPrintGridLines() || s.GetPrintHeaders() || s.GetHCenter() ||
                   s.GetVCenter());
    s.SetProtect(1);
    for (auto span : {s.SetupData(), s.DefaultRowHeightData(), s.GutsData(), s.DimensionsData(),
                      s.Window2Data(), s.SelectionData(), s.BOFData()})
        for (auto& b : span) b ^= 1;
}

template <class Storage> void Run(Storage& st, const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos + 5 <= size) {
        uint8_t op = data[pos];
        TBIFFHeader h{uint16_t(data[pos + 1] | data[pos + 2] << 8),
                      uint16_t(data[pos + 3] | data[pos + 4] << 8)};
        pos += 5;
        size_t avail = std::min<size_t>(h.Length, size - pos);
        std::vector<uint8_t> body(data + pos, data + pos + avail);
        pos += avail;
        try {
            switch (op % 6) {
            case 0:
                st.UpdateDefault(h, body);
                break;
            case 1:
                st.Add(h, body);
                break;
            case 2:
                st.InsertPlaceholder(h.Id);
                break;
            case 3:
                st.ApplyDefaults();
                break;
            case 4:
                if (st.Count() > 0) st.ReplaceData(h.Id % st.Count(), body);
                break;
            default:
                UseAccessors(st);
                break;
            }
        } catch (const XLSError&) {
        }
    }
    UseAccessors(st);
    std::vector<uint8_t> out;
    TXLSStream stream;
    stream.TargetStream = &out;
    stream.OpenWrite("", TExcelVersion::xvExcel40);
    st.WriteAll(stream);
    stream.Close();
    if (int64_t(out.size()) != st.TotalSize()) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (data[0] & 1) {
        TRecordStorageSheet s;
        Run(s, data + 1, size - 1);
    } else {
        TRecordStorageGlobals g;
        Run(g, data + 1, size - 1);
    }
    return 0;
}
