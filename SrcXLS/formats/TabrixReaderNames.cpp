// The names block of the BIFF reader: defined names and external
// references of BIFF8 files go to the formula handler, which writes them
// again; older files keep theirs as records for a write in their own
// version, and their names go to the handler as well.
#include "SrcXLS/formats/TabrixReader.h"

#include <cstdio>

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/Sheet.h"

namespace xls {

using namespace externrec;
constexpr uint16_t NAME = NameRecordId;
// The NAME of BIFF3 and BIFF4.
constexpr uint16_t NAME3 = 0x0218;

std::vector<uint8_t> TTabrixReader::JoinedBody() {
    std::vector<uint8_t> body(Body().begin(), Body().end());
    std::vector<uint8_t> piece;
    while (NextRecordIs({biff::CONTINUE}, piece)) body.insert(body.end(), piece.begin(), piece.end());
    return body;
}

void TTabrixReader::ReadNameRecord() {
    TFormulaHandler* formulas = Target.Formulas;
    if (!formulas || Version < TExcelVersion::xvExcel97) {
        // Kept as read for a write in this version; the names go to the
        // list too, their formulas once every sheet and name is known.
        const bool name = Version <= TExcelVersion::xvExcel21 || Version == TExcelVersion::xvExcel50
                              ? Header.Id == NAME
                              : Header.Id == NAME3;
        if (formulas && name) ReadOldName();
        // The functions its formulas call through add-in names.
        if (formulas && Version == TExcelVersion::xvExcel50 &&
            (Header.Id == EXTERNSHEET || Header.Id == EXTERNNAME))
            formulas->ReadOldLink(InSheet() ? &Sheet().Cells() : nullptr, Header.Id, Body(), Text.CodePage);
        return;
    }
    Drop();
    const uint16_t id = Header.Id;
    if (InSheet()) {
        // The workbook's names and link table stand in its globals: a record
        // of them found in a sheet costs itself, not the workbook.
        JoinedBody();
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", unsigned(id));
        Warn(std::string("a record of the workbook's names or links (") + hex + ") in a sheet was left out");
        return;
    }
    Placeholder(placeholder::Names);
    const bool ours = id == NAME || id == SUPBOOK || id == EXTERNNAME || id == EXTERNSHEET;
    if (!ours) {
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

// A name local to a sheet the workbook does not have (its sheet number is
// 1-based) is read as a name of the workbook, in the model and in the NAME
// records an Excel 5 file keeps: other readers refuse a copy that keeps the
// number. The sheets are known once the whole file is read.
void TTabrixReader::GlobalNamesOfNoSheet() {
    if (!Target.Formulas) return;
    TInternalNames& names = Target.Formulas->Names();
    const int sheets = Target.Sheets->NameList().GetCount();
    std::vector<TRecordBlock*> kept;
    for (int i = 0; i < Globals()->Count(); ++i)
        if (Globals()->GetItem(i).Id() == NAME && Globals()->GetItem(i).Length() >= 10)
            kept.push_back(&Globals()->GetItem(i));
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& name = names.Items(i);
        if (name.SheetNumber <= sheets) continue;
        if (Target.Warn)
            Target.Warn("Defined name number " + std::to_string(i + 1) + " is local to sheet number " +
                        std::to_string(name.SheetNumber) +
                        ", which the workbook does not have; it was read as a name of "
                        "the workbook");
        if (Version == TExcelVersion::xvExcel50 && size_t(i) < kept.size() &&
            GetU16(kept[size_t(i)]->Data() + 8) == name.SheetNumber)
            PutU16(kept[size_t(i)]->Data() + 8, 0);
        name.SheetNumber = 0;
    }
}

void TTabrixReader::ReadOldName() {
    TInternalNames& names = Target.Formulas->Names();
    TOldName pending;
    try {
        names.ReadOldName(Body(), Version, Text.CodePage, pending.Tokens, pending.TokenLength);
    } catch (const XLSError& e) {
        // A damaged name costs that name; a stand-in keeps the place that
        // formulas count names by.
        Warn("Defined name number " + std::to_string(names.Count() + 1) + " not read (" + e.what() + ")");
        names.Add().SetName(u"_Name" + Utf8ToWide(std::to_string(names.Count())));
        names.Items(names.Count() - 1).Loaded = true;
        return;
    }
    pending.Index = names.Count() - 1;
    if (pending.TokenLength > 0) OldNames.push_back(std::move(pending));
}

// The formulas of older names in BIFF8 tokens, as a BIFF8 file holds them:
// their text in the file's layout made into tokens again.
void TTabrixReader::CompileOldNames() {
    if (OldNames.empty()) return;
    TFormulaHandler& formulas = *Target.Formulas;
    formulas.CodePage = Text.CodePage;
    for (const TOldName& o : OldNames) {
        TInternalName& n = formulas.Names().Items(o.Index);
        TFormulaDecoding decoding;
        decoding.Sheet = n.SheetNumber - 1;
        decoding.FileSyntax = true;
        decoding.TokenVersion = Version;
        TFormulaEncoding encoding;
        encoding.Class = ptg::ClassRef;
        encoding.Sheet = n.SheetNumber - 1;
        encoding.FileSyntax = true;
        encoding.BIFF8 = true;
        std::u16string text;
        try {
            text = formulas.DecodeFormula(o.Tokens, o.TokenLength, decoding);
            TEncodedFormula f = formulas.EncodeFormula(text, encoding);
            n.Data = std::move(f.Data);
            size_t length = f.TokenLength;
            // The one sheet of a BIFF2-BIFF4 file is the sheet its names
            // name, and the one its built-in names belong to.
            if (Version <= TExcelVersion::xvExcel40) {
                QualifyReferences(
                    n.Data, length,
                    uint16_t(formulas.Externals().GetSelfSheetIndex(0, 0, Target.Sheets->Count())));
                if (n.IsBuiltIn()) n.SheetNumber = 1;
            }
            n.TokenLength = uint16_t(length);
        } catch (const XLSError& e) {
            const std::string reason = e.what();
            Warn("Defined name '" + WideToUtf8(n.GetName()) + "': formula =" + WideToUtf8(text) +
                 " not read (" + reason.substr(reason.rfind('\r') + 1) + ")");
        }
    }
    OldNames.clear();
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
