#include "exchange/WorkbookCells.h"

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/ExcelMask.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

#include <cmath>
#include <limits>
#include <new>

namespace exchange {

namespace {

bool IsFormulaType(int type) {
    return type >= xls::ctNumberFormula;
}

bool IsErrorType(int type) {
    return type == xls::ctError || type == xls::ctErrorFormula;
}

} // namespace

bool WorkbookValue::IsNumber() const {
    return !error && (std::holds_alternative<int32_t>(value) || std::holds_alternative<double>(value));
}

std::optional<int64_t> WorkbookValue::Integer() const {
    if (!IsNumber()) return std::nullopt;
    if (const auto* number = std::get_if<int32_t>(&value)) return *number;
    const double number = std::get<double>(value);
    if (!std::isfinite(number)) return std::nullopt;
    const double rounded = std::nearbyint(number);
    if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int64_t>(rounded);
}

WorkbookCells::WorkbookCells(xls::TTabrix4& book, int sheetIndex)
    : book(book), sheet(book.Sheets().GetItem(sheetIndex)), sheetIndex(sheetIndex),
      fullCalculation(book.PackageData().FullCalcOnLoad), pass(book) {}

WorkbookCells::~WorkbookCells() = default;

bool WorkbookCells::Computes(int col, int row, const xls::TCellVariant& cached) {
    if (fullCalculation) return true;
    if (sheet.PackageData().Uncached.count(uint64_t(row) << 16 | uint64_t(col)) != 0) return true;
    const auto* text = std::get_if<std::u16string>(&cached);
    return text != nullptr && text->empty();
}

std::optional<xls::TFormulaValue> WorkbookCells::Computed(int col, int row) {
    return book.ComputedFormulaValue(sheetIndex, col, row);
}

WorkbookValue WorkbookCells::At(int col, int row) {
    WorkbookValue cell{sheet.GetCellType(col, row), sheet.GetAsVariant(col, row), false};
    if (!IsFormulaType(cell.type) || !Computes(col, row, cell.value)) {
        cell.error = IsErrorType(cell.type);
        return cell;
    }
    std::optional<xls::TFormulaValue> v = Computed(col, row);
    if (!v) {
        cell.value = std::monostate();
        cell.error = true;
        return cell;
    }
    switch (v->ValType) {
    case xls::fvFloat:
        cell.value = v->Float;
        break;
    case xls::fvBoolean:
        cell.value = uint8_t(v->Boolean ? 1 : 0);
        break;
    case xls::fvString:
        cell.value = v->Text;
        break;
    default:
        cell.value = std::u16string(xls::ErrorDisplayText(v->Error));
        cell.error = true;
        break;
    }
    return cell;
}

std::u16string WorkbookCells::Text(int col, int row) {
    const int type = sheet.GetCellType(col, row);
    if (!IsFormulaType(type) || !Computes(col, row, sheet.GetAsVariant(col, row)))
        return sheet.GetAsString(col, row);
    WorkbookValue cell = At(col, row);
    struct Visitor {
        std::u16string operator()(std::monostate) const { return {}; }
        std::u16string operator()(uint8_t flag) const {
            return flag != 0 ? xls::LibState().StrTRUE : xls::LibState().StrFALSE;
        }
        std::u16string operator()(int32_t number) const {
            return platform::Utf8ToUtf16(std::to_string(number));
        }
        std::u16string operator()(double number) const {
            return xls::FloatToGeneralText(number, xls::LibState().Locale.DecimalSeparator);
        }
        std::u16string operator()(const std::u16string& text) const { return text; }
    };
    return std::visit(Visitor{}, cell.value);
}

std::string WorkbookFailureText(const std::string& path, const std::string& reason) {
    return "Не вдається прочитати книгу Excel " + path + ":\r\n" + reason;
}

void ReadImportWorkbook(xls::TTabrix4& book, const std::string& path) {
    book.Clear();
    book.Sheets().Clear();
    book.SetFilename(platform::Utf8ToUtf16(path));
    try {
        book.Read();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        // The system's reasons come in the user's language with the file named already.
        const std::string reason = e.what();
        throw platform::FileError(reason.find(path) != std::string::npos ? reason
                                                                         : WorkbookFailureText(path, reason));
    }
}

} // namespace exchange
