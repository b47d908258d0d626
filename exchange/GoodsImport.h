// Goods import from XML, XLS, CSV and DBF files (operation kinds 3 and 4):
// the frame every reader runs in, the conversions they share and the four
// procedures of the dispatcher. Each accepted row becomes one GoodsProg in
// ImportedGoods and one entry of GoodsDupCheck; a refused row asks or ends
// the import, with the texts of its reader's table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/ConsoleState.h"
#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"

namespace xls {
class TSheet;
class TTabrix4;
} // namespace xls

namespace exchange {

class TDBF;
class WorkbookCells;

// The box of a message: OK with the error icon (ends the import), Yes/No
// with the error icon, Yes/No with the warning icon (Yes drops the row, No
// ends the import).
enum class ImportBox : uint8_t { Error, Question, Warning };

// One entry of a reader's message table. The text (UTF-8) holds "%n" for the
// row number and "%m" for the highest goods number.
struct ImportMessage {
    ImportBox box;
    const char* caption;
    const char* text;
};

// What becomes of a row.
enum class RowEnd : uint8_t { Accepted, Dropped, Ended };

// One run of a goods import, apart from the device and the windows: the
// readers feed it rows and it keeps the accepted ones.
class GoodsImportRun {
public:
    using Ask = std::function<int(const std::string& text, const std::string& caption, unsigned style)>;
    // Runs after each accepted row; true when the job was cancelled meanwhile.
    using Step = std::function<bool()>;

    GoodsImportRun(uint16_t maximum, bool skipNumber, std::vector<GoodsProg>& goods,
                   std::vector<GoodsDupCheckRecord>& dupCheck, Ask ask, Step step);

    uint16_t Maximum() const { return maximum; }
    bool SkipNumber() const { return skipNumber; }

    // Shows a message about row n. Yes drops the row; No, or a box with OK
    // only, ends the import.
    RowEnd Refuse(const ImportMessage& message, int64_t n);
    // Shows a text (UTF-8) as it is, in the box of its kind.
    RowEnd Show(ImportBox box, const char* caption, const std::string& text);
    // The goods number of a row: kind 3 converts it and checks 0..M-1 (the
    // range question, then every later row out of range dropped silently once
    // answered Yes); kind 4 takes a number that converts and drops the row
    // silently otherwise. Nothing when the row goes on with `number` set.
    std::optional<RowEnd> CheckNumber(std::optional<int64_t> value, int64_t n,
                                      const ImportMessage& notConverted, const ImportMessage& outOfRange,
                                      int32_t& number);
    // An information box (UTF-8 text) that asks nothing.
    void Inform(const char* text);
    // Appends an accepted row and runs the progress step; Ended when the job
    // was cancelled.
    RowEnd Accept(GoodsProg goods, int32_t number);

private:
    uint16_t maximum;
    bool skipNumber;
    bool ignoreAll = false;
    std::vector<GoodsProg>& goods;
    std::vector<GoodsDupCheckRecord>& dupCheck;
    Ask ask;
    Step step;
};

// Message box styles of the three boxes.
unsigned ImportBoxStyle(ImportBox box);

// Conversions of the readers; nothing when the text is not one.
// A signed 32-bit or 64-bit decimal integer, blanks around it allowed.
std::optional<int64_t> IntegerOf(std::string_view text);
std::optional<int64_t> Integer64Of(std::string_view text);
// A number times `scale`, rounded to the nearest integer (ties to even);
// nothing beyond 32 bits.
std::optional<int32_t> ScaledOf(double value, int scale);
// A price or quantity: a number, or a number text by the one rule of every
// import (NumberTextValue), times `scale` as ScaledOf gives it; nothing
// below zero either, which the register refuses.
std::optional<int32_t> AmountOf(double value, int scale);
std::optional<int32_t> AmountOf(std::u16string_view text, int scale);
// The codes the register takes for a goods item: a PLU code of 20 bits and a
// barcode of up to 13 digits, not both 0. A reader refuses others with the
// code's message, so that the register never refuses a row.
inline constexpr int64_t MaxGoodsPlu = 0xFFFFF;
inline constexpr int64_t MaxGoodsBarcode = 9999999999999;
inline bool IsGoodsPlu(int64_t plu) {
    return plu >= 0 && plu <= MaxGoodsPlu;
}
inline bool IsGoodsBarcode(int64_t barcode) {
    return barcode >= 0 && barcode <= MaxGoodsBarcode;
}
// The register's payout operations.
inline constexpr int64_t MaxPayoutOperation = 3;

// A number (true when not 0) or "True"/"False" in any letter case.
std::optional<bool> TruthOf(std::string_view text);
// Blanks and control characters cut from both ends.
std::string_view Trimmed(std::string_view text);

// The readers. Each returns true when the source was read to its end (Done);
// every refusal has been shown through the run.
// XML: a report document's text, or its file, read as a stream after which
// the report frame's checks run; at most 5269 items are read and the user is
// told how many were left.
bool ReadGoodsXml(GoodsImportRun& run, std::string_view text);
bool ReadGoodsXmlFile(GoodsImportRun& run, const std::string& path);
// CSV: the file's bytes with the CSV options.
bool ReadGoodsCsv(GoodsImportRun& run, std::string_view file, const console::CsvOptionsRecord& options);
bool ReadGoodsCsvFile(GoodsImportRun& run, const std::string& path, const console::CsvOptionsRecord& options);
// DBF: an open table, or the table file.
bool ReadGoodsDbf(GoodsImportRun& run, TDBF& table);
bool ReadGoodsDbfFile(GoodsImportRun& run, const std::string& path);
// XLS: the first sheet of a read workbook, or the workbook file read into
// the component (a file it cannot read raises the component's error after a
// sentence that names the file).
bool ReadGoodsXls(GoodsImportRun& run, WorkbookCells& cells);
bool ReadGoodsXlsFile(GoodsImportRun& run, xls::TTabrix4& book, const std::string& path);

// The XML reader's limit of items.
inline constexpr std::size_t XmlGoodsLimit = 5269;

// The frame: asks the register for its number of goods M (a failure is shown
// and nothing is read), sets the job's progress maximum to M, runs `read`
// with boxes and progress of the job, repaints the main window and sets Done
// when `read` ran through.
void RunGoodsImport(JobContext& job, bool skipNumber, const std::function<bool(GoodsImportRun&)>& read);

// The dispatcher's procedures: kind 3 with skipNumber false, kind 4 true.
void ImportGoodsXml(JobContext& job, bool skipNumber);
void ImportGoodsXls(JobContext& job, bool skipNumber);
void ImportGoodsCsv(JobContext& job, bool skipNumber);
void ImportGoodsDbf(JobContext& job, bool skipNumber);

} // namespace exchange
