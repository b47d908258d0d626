// Records that the BIFF writers build from the model rather than keep as
// raw bytes: window, zoom, selection, pane and sheet protection records, the
// format block (fonts, number formats, cell formats, styles, palette) and
// the page setup records. Each builder writes one record, or a run of them,
// in the layout of the stream's version.
#pragma once

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSStream.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TCellFormats;
class TPane;
class TPrintSettings;
class TSelectedAreas;
class TXFonts;
class TXLSRows;

namespace biff {
constexpr uint16_t HEADER = 0x0014;
constexpr uint16_t FOOTER = 0x0015;
constexpr uint16_t VERTICALPAGEBREAKS = 0x001A;
constexpr uint16_t HORIZONTALPAGEBREAKS = 0x001B;
constexpr uint16_t LEFTMARGIN = 0x0026;
constexpr uint16_t RIGHTMARGIN = 0x0027;
constexpr uint16_t TOPMARGIN = 0x0028;
constexpr uint16_t BOTTOMMARGIN = 0x0029;
constexpr uint16_t FONT = 0x0031;
constexpr uint16_t PANE = 0x0041;
constexpr uint16_t PALETTE = 0x0092;
constexpr uint16_t SCL = 0x00A0;
constexpr uint16_t XF = 0x00E0;
constexpr uint16_t FONT4 = 0x0231;
constexpr uint16_t STYLE = 0x0293;
constexpr uint16_t FORMAT = 0x041E;
constexpr uint16_t XF4 = 0x0443;
constexpr uint16_t SHEETPROTECTION = 0x0867;
} // namespace biff

// All 15 sheet protection options: nothing to write.
constexpr uint16_t FullSheetProtection = 0x7FFF;

class TBIFFRecordWriter {
public:
    // 8-bit text below BIFF8 goes out in codePage.
    explicit TBIFFRecordWriter(TXLSStream& stream, int codePage = DefaultCodePage);

    TXLSStream& Stream() { return stream; }
    TExcelVersion Version() const { return stream.Version(); }
    int CodePage() const { return codePage; }

    // Small records: header and body through the counted body writer.
    void WriteRecord(uint16_t id, std::span<const uint8_t> body);
    void WriteEmpty(uint16_t id) { WriteRecord(id, {}); }
    void WriteWord(uint16_t id, uint16_t value);
    void WriteBool(uint16_t id, bool value) { WriteWord(id, value ? 1 : 0); }

    // 8-bit text of the stream's version: Latin-1 in BIFF8, the code page below.
    std::string Encode8Bit(std::u16string_view text) const;

    // WINDOW1 from the stored body (left, top, width, height, flags).
    void WriteWindow1(std::span<const uint8_t> window1);
    // WINDOW2 in the 10-byte layout; options are the sheet's WINDOW2 flags.
    void WriteWindow2Short(uint16_t options, bool selected);
    void WriteScl(int zoom);
    void WriteSelection(int pane, const TSelectedAreas& selection);
    // PANE and the selections of its panes: the SELECTION records read with
    // the pane when they fit its split, else one per pane at its corner.
    void WritePane(const TPane& pane);
    void WriteSheetProtection(uint16_t options);

    void WriteFonts(const TXFonts& fonts);
    // FORMAT records of the number formats in use. Below BIFF5 cell formats
    // name a format by its place among the FORMAT records, so "General" comes
    // first and every format a cell format names is written.
    void WriteFormats(const TCellFormats& formats);
    void WriteXFs(const TCellFormats& formats);
    // The six built-in styles of a new workbook, or the kept STYLE bodies.
    void WriteStyles(bool builtIns, std::span<const std::vector<uint8_t>> stored);
    // always: write it even when the palette is the default one.
    void WritePalette(const TPalette& palette, bool always);

    void WriteHeaderFooter(const TPrintSettings& settings);
    // The margins set; with onlyOwn those that differ from a new sheet's.
    void WriteMargins(const TPrintSettings& settings, bool onlyOwn = false);
    void WritePageBreaks(const TPrintSettings& settings);
    // One ROW per row object a file of the version holds, in row order.
    void WriteRows(const TXLSRows& rows);

private:
    void WriteSelectionBody(int pane, int activeRow, int activeCol, int activeIndex,
                            std::span<const int> ranges);
    void PutText(TByteWriter& w, std::u16string_view text) const;
    void WriteHeaderText(uint16_t id, std::u16string_view text);
    int MaxBody() const { return MaxRecordSize(Version()); }

    TXLSStream& stream;
    int codePage;
    std::vector<uint8_t> buf;
    // Below BIFF5: the FORMAT record place of each number format index.
    std::vector<int> formatPlace;
};

} // namespace xls
