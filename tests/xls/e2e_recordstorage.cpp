// The default record sets as an independent reader (xlrd) sees them: a
// workbook made of the globals and sheet defaults, with only the sheet list
// filled in where the placeholders stand.
#include "SrcXLS/formats/DefaultRecords.h"
#include "tests/platform/support_oracle.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {

// Writes the lists as a BIFF8 workbook; the placeholders give one BOUNDSHEET
// named "Goods" and nothing else.
void WriteWorkbook(const TRecordStorageGlobals& globals, const TRecordStorageSheet& sheet,
                   const std::filesystem::path& file) {
    TXLSStream s;
    s.OpenWrite(file, TExcelVersion::xvExcel97);
    int64_t boundsheetBody = -1;
    for (int i = 0; i < globals.Count(); ++i) {
        const TRecordBlock& r = globals.GetItem(i);
        if (r.Id() == placeholder::BoundSheets) {
            s.WriteHeader(0x0085, 8 + 2 * 5);
            boundsheetBody = s.Position();
            s.WriteDWord(0);
            s.WriteWord(0);
            s.WriteByte(5);
            s.WriteByte(1);
            for (char16_t c : std::u16string(u"Goods")) s.WriteWord(c);
        } else if (r.Id() < 0x8000) {
            globals.WriteRecord(i, s);
        }
    }
    int64_t bof = s.Position();
    s.Seek(boundsheetBody, 0);
    s.WriteDWord(uint32_t(bof));
    s.Seek(0, 2);
    for (int i = 0; i < sheet.Count(); ++i) {
        if (sheet.GetItem(i).Id() < 0x8000) sheet.WriteRecord(i, s);
    }
    s.Close();
}

} // namespace

TEST(RecordStorageOracle, DefaultSetsReadByXlrd) {
    oracle::TempFolder tmp;
    TRecordStorageGlobals globals;
    TRecordStorageSheet sheet;
    globals.SetUserName(u"Касир 1");
    globals.ApplyDefaults();
    sheet.ApplyDefaults();
    sheet.SetDefColWidth(11);
    std::filesystem::path file = tmp.path / "defaults.xls";
    WriteWorkbook(globals, sheet, file);

    std::filesystem::path script = tmp.path / "check.py";
    std::ofstream(script) << R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1])
s = b.sheet_by_index(0)
print(b.biff_version, b.codepage, b.datemode, b.countries, b.user_name.encode("unicode_escape").decode())
print(s.name, s.nrows, s.ncols)
print(s.defcolwidth, s.default_row_height, s.show_grid_lines, s.show_formulas, s.show_zero_values,
      s.gridline_colour_index, s.first_visible_rowx, s.first_visible_colx)
)PY";
    int status = 0;
    std::string out =
        oracle::RunForOutput("/usr/bin/python3 " + script.string() + " " + file.string() + " 2>&1", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "80 1200 0 (1, 46) \\u041a\\u0430\\u0441\\u0438\\u0440 1\n"
                   "Goods 0 0\n"
                   "11 255 1 0 1 64 0 0\n");
}
