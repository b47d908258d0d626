// The names block of the BIFF reader: defined names and external
// references of BIFF8 files go to the formula handler, which writes them
// again; older files keep theirs as records, their name texts noted for
// the text of their formulas.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/Cell.h"

namespace xls {

using namespace externrec;
constexpr uint16_t NAME = NameRecordId;

std::vector<uint8_t> TTabrixReader::JoinedBody() {
    std::vector<uint8_t> body(Body().begin(), Body().end());
    std::vector<uint8_t> piece;
    while (NextRecordIs({biff::CONTINUE}, piece)) body.insert(body.end(), piece.begin(), piece.end());
    return body;
}

void TTabrixReader::ReadNameRecord() {
    TFormulaHandler* formulas = Target.Formulas;
    if (!formulas || Version < TExcelVersion::xvExcel97) {
        // Kept as read; a BIFF5 name's text is noted: its formulas name it.
        if (formulas && Header.Id == NAME && Version == TExcelVersion::xvExcel50 && Body().size() >= 14) {
            const auto body = Body();
            const size_t chars = std::min<size_t>(body[3], body.size() - 14);
            const auto text = body.subspan(14, chars);
            std::u16string name = chars == 1 && (body[0] & noBuiltIn)
                                      ? std::u16string(BuiltInNameText(text[0]))
                                      : Text.Decode8(text);
            formulas->OldNames.push_back(std::move(name));
        }
        return;
    }
    Drop();
    Placeholder(placeholder::Names);
    const uint16_t id = Header.Id;
    if (id != NAME && id != SUPBOOK && id != EXTERNNAME && id != EXTERNSHEET) {
        // Ids of older files in a BIFF8 stream: kept, with their CONTINUE records.
        CurrentStorage->Add(Header, Body());
        return;
    }
    // Joining reads the CONTINUE headers over the record's own.
    const std::vector<uint8_t> body = JoinedBody();
    switch (id) {
    case NAME:
        formulas->Names().ReadName(body);
        break;
    case SUPBOOK:
        formulas->Externals().ReadSupBook(body);
        break;
    case EXTERNNAME:
        formulas->Externals().ReadExternName(body);
        break;
    case EXTERNSHEET:
        formulas->Externals().ReadExternSheet(body);
        break;
    }
}

// The cached values of another workbook's sheet: with their book in a
// BIFF8 file, else kept with their XCT.
void TTabrixReader::ReadXCT() {
    TByteReader r(Body());
    int count = int16_t(r.U16("CRN count"));
    count = count < 0 ? -count : count;
    const int sheet = r.Remaining() >= 2 ? r.U16("XCT sheet") : 0;
    TFormulaHandler* formulas = Version >= TExcelVersion::xvExcel97 ? Target.Formulas : nullptr;
    Drop();
    if (!formulas) CurrentStorage->Add(Header, Body());
    std::vector<std::vector<uint8_t>> crns(static_cast<size_t>(count));
    for (auto& crn : crns)
        if (!NextRecordIs({CRN}, crn)) throw XLSError("CRN record missing");
    if (formulas) formulas->Externals().ReadXCT(sheet);
    for (const auto& crn : crns) {
        if (formulas)
            formulas->Externals().ReadCRN(sheet, crn);
        else
            CurrentStorage->Add(CRN, crn);
    }
}

void TTabrixReader::MarkTokens(TCell* cell) const {
    if (Version >= TExcelVersion::xvExcel97) return;
    if (auto* f = dynamic_cast<TFormulaCell*>(cell)) f->SetTokenVersion(Version);
}

} // namespace xls
