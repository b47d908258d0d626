// The edits, the files and the checks of fuzz/sheet_edits.h.
#pragma once

namespace sheetedits {

// ---- files

inline std::unique_ptr<TTabrix4> TRun::WrittenAndRead(TTabrix4& from, TOrigin as, const std::string& file) {
    auto back = std::make_unique<TTabrix4>();
    if (as == TOrigin::Package) {
        std::vector<uint8_t> image;
        WritePackageFile(from, &image);
        ReadPackageFile(*back, &image);
        back->AfterRead();
        return back;
    }
    from.SetVersion(as == TOrigin::Excel5   ? TExcelVersion::xvExcel50
                    : as == TOrigin::Excel4 ? TExcelVersion::xvExcel40
                                            : TExcelVersion::xvExcel97);
    from.SetFilename(Utf8ToWide(file));
    from.Write();
    back->SetFilename(Utf8ToWide(file));
    back->Read();
    return back;
}

inline void TRun::ReadOrigin() {
    if (!opt.OriginFile.empty()) {
        origin = TOrigin::Foreign;
        book = std::make_unique<TTabrix4>();
        book->SetFilename(Utf8ToWide(opt.OriginFile));
        book->Read();
    } else if (origin != TOrigin::Made) {
        book = WrittenAndRead(*book, origin, opt.Scratch + "/origin.xls");
    }
    const char* const told[] = {"made",         "from .xls",    "from .xlsx",
                                "from Excel 5", "from Excel 4", "from another writer"};
    log += std::string(" (") + told[int(origin)] + ")";
    Resync();
}

// After a read: what the file holds of the model. An Excel 4 file holds the
// first sheet; a formula that a version cannot hold is a value now, and a
// name it cannot hold is not there.
inline void TRun::Resync() {
    const int count = book->Sheets().Count();
    while (int(ids.size()) > count) {
        const int id = ids.back();
        std::erase_if(formulas, [&](const TFormula& f) { return f.Sheet == id; });
        ids.pop_back();
        names.pop_back();
    }
    // An Excel 4 file holds no name of its sheet.
    if (origin == TOrigin::Excel4 && count == 1) names[0] = book->GetSheet(0).Name();
    for (int p = 0; p < count && fault.empty(); ++p)
        if (UpperCaseWide(book->GetSheet(p).Name()) != UpperCaseWide(names[size_t(p)]))
            fault = "sheet " + std::to_string(p) + " reads as " + WideToUtf8(book->GetSheet(p).Name()) +
                    ", not " + WideToUtf8(names[size_t(p)]) + " after" + log;
    std::erase_if(formulas, [&](const TFormula& f) {
        const TCell* c = book->GetSheet(Position(f.Sheet)).GetCell(f.Col, f.Row);
        return !c || !c->IsFormula();
    });
    TInternalNames& held = book->GetInternalNames();
    const std::set<int> lost = origin == TOrigin::Foreign ? LostByTheWriter() : std::set<int>();
    for (TName& n : defined) {
        const int scope = n.Scope >= 0 ? Position(n.Scope) : -1;
        n.Held = false;
        // A name of a sheet the file does not hold is not there.
        if (n.Scope >= 0 && scope < 0) continue;
        // A name written without its formula (an Excel 5 file holds no range
        // of sheets in one) is there without it.
        for (int i = 0; i < held.Count() && !n.Held; ++i) {
            const TInternalName& h = held.Items(i);
            n.Held = UpperCaseWide(h.GetName()) == UpperCaseWide(n.Text) && h.SheetNumber == scope + 1 &&
                     (h.TokenLength > 0 || !h.FormulaText.empty());
            // Another writer's copy of it that it does not read right is not it.
            if (n.Held && origin == TOrigin::Foreign) {
                std::u16string text = h.FormulaText;
                try {
                    TFormulaDecoding how;
                    how.FileSyntax = true;
                    how.Sheet = scope;
                    if (h.TokenLength > 0)
                        text = book->FormulaHandler().DecodeFormula(h.Data, h.TokenLength, how);
                } catch (const XLSError&) {
                    text.clear();
                }
                n.Held = Plain(WideToUtf8(text), u"") == Plain(n.Made, u"");
            }
        }
        if (lost.count(int(&n - defined.data()))) n.Held = false;
    }
}

// The formulas another writer gives another text or value (a range of
// sheets or a name it does not read, another workbook by its path) count
// no more, nor do the names they use.
inline std::set<int> TRun::LostByTheWriter() {
    std::set<int> lost;
    std::erase_if(formulas, [&](const TFormula& f) {
        const int p = Position(f.Sheet);
        TSheet& s = book->GetSheet(p);
        bool same = false;
        try {
            same = Plain(s.GetAsFormula(f.Col, f.Row), s.Name()) == Plain(f.Made, s.Name()) &&
                   Computed(*book, p, f.Col, f.Row) == Expected(f);
        } catch (const XLSError&) {
        }
        if (!same)
            for (const TTerm& t : f.Terms)
                if (t.Kind == TTerm::OfName) lost.insert(t.Name);
        return !same;
    });
    return lost;
}

inline std::string TRun::Computed(TTabrix4& b, int position, int col, int row) {
    TFormulaValue v;
    b.CalculateCell(position, col, row, v);
    return ValueText(v);
}

inline void TRun::Check(const char* what) {
    for (const TFormula& f : formulas) {
        const int p = Position(f.Sheet);
        const std::string now = Computed(*book, p, f.Col, f.Row), expected = Expected(f);
        if (now == expected || !fault.empty()) continue;
        fault = std::string(what) + ": " + WideToUtf8(names[size_t(p)]) + "!" + char('A' + f.Col) +
                std::to_string(f.Row + 1) + " = " + book->GetSheet(p).GetAsFormula(f.Col, f.Row) +
                " computes " + now + ", not " + expected + " after" + log;
    }
}

// ---- edits

// A reference to the deleted sheet alone is #REF!; a range of sheets that
// ends with it ends with its neighbour.
inline void TRun::DeleteSheet() {
    if (ids.size() < 2) return;
    const int p = bytes.Next(int(ids.size()));
    const int id = ids[size_t(p)];
    log += " delete " + WideToUtf8(names[size_t(p)]);
    book->Sheets().Delete(p);
    auto shrink = [&](int& first, int& last, bool& gone) {
        const int a = Position(first), b = Position(last);
        if (a < 0 || b < 0 || p < a || p > b) return;
        if (a == b)
            gone = true;
        else if (p == a)
            first = ids[size_t(a + 1)];
        else if (p == b)
            last = ids[size_t(b - 1)];
    };
    std::erase_if(formulas, [&](const TFormula& f) { return f.Sheet == id; });
    for (TFormula& f : formulas)
        for (TTerm& t : f.Terms) {
            if (t.Kind == TTerm::OfCell && t.Ref.Sheet == id) t.RangeGone = true;
            if (t.Kind == TTerm::OfRange) shrink(t.First, t.Last, t.RangeGone);
        }
    for (TName& n : defined) {
        if (n.Scope == id) n.Gone = true;
        if (n.Kind == TName::Area && n.Sheet == id) n.SheetGone = true;
        if (n.Kind == TName::Range3d) shrink(n.First, n.Last, n.SheetGone);
    }
    std::erase_if(constants, [&](const auto& c) { return std::get<0>(c.first) == id; });
    ids.erase(ids.begin() + p);
    names.erase(names.begin() + p);
}

// A block of the formula columns copied or moved down or up, on its sheet
// or to another, with or without its references moved (rows only: they
// never reach the formulas' columns).
inline void TRun::CopyOrMove(int position) {
    const int sheet = ids[size_t(position)];
    const bool move = bytes.Next(2) == 1;
    const int row1 = bytes.Next(6), row2 = row1 + bytes.Next(3);
    const int to = bytes.Next(int(ids.size()));
    const int destRow = bytes.Next(12);
    const bool adjust = bytes.Next(2);
    const int options = ICellOperations::coCells | (adjust ? ICellOperations::coAdjustFormulas : 0);
    log += std::string(move ? " move" : " copy") + (adjust ? " adjusted" : "") + " to " +
           WideToUtf8(names[size_t(to)]);
    std::vector<TFormula> moved;
    for (const TFormula& f : formulas)
        if (f.Sheet == sheet && f.Row >= row1 && f.Row <= row2) moved.push_back(f);
    if (move)
        book->MoveCells(position, 5, row1, 6, row2, to, 5, destRow, options);
    else
        book->CopyCells(position, 5, row1, 6, row2, to, 5, destRow, options);
    if (move) Forget(sheet, 5, row1, 6, row2);
    const int rows = destRow - row1;
    Forget(ids[size_t(to)], 5, destRow, 6, destRow + row2 - row1);
    for (TFormula f : moved) {
        f.Row += rows;
        f.Sheet = ids[size_t(to)];
        // Relative rows move with the formula; one moved off the sheet is #REF!.
        if (adjust)
            for (TTerm& t : f.Terms) {
                if ((t.Kind != TTerm::OfCell && t.Kind != TTerm::OfRange) || t.Ref.AbsRow) continue;
                t.Ref.Row += rows;
                if (t.Ref.Row < 0) t.Ref.Gone = true;
            }
        formulas.push_back(std::move(f));
    }
}

inline void TRun::SetConstant(int position) {
    const int col = bytes.Next(4), row = bytes.Next(4), value = bytes.Next(1000) - 500;
    book->GetSheet(position).SetAsFloat(col, row, value);
    constants[{ids[size_t(position)], col, row}] = value;
    log += " constant " + std::to_string(value);
}

inline void TRun::Step() {
    const int position = bytes.Next(int(ids.size()));
    const int sheet = ids[size_t(position)];
    switch (bytes.Next(8)) {
    case 0:
        AddSheet(false);
        log += " add";
        break;
    case 1:
        DeleteSheet();
        break;
    case 2: {
        const std::u16string name = FreeName();
        log += " rename " + WideToUtf8(names[size_t(position)]) + " to " + WideToUtf8(name);
        book->GetSheet(position).SetName(name);
        names[size_t(position)] = name;
        break;
    }
    case 3:
        SetFormula(position, 5 + bytes.Next(2), bytes.Next(6));
        break;
    case 4:
    case 5:
        CopyOrMove(position);
        break;
    case 6: {
        const int row = bytes.Next(12);
        log += " clear";
        book->DeleteCells(position, 5, row, 6, row + 1);
        Forget(sheet, 5, row, 6, row + 1);
        break;
    }
    default:
        SetConstant(position);
    }
    Check("after the step");
}

// ---- copies

inline std::string TRun::Plain(std::string text, const std::u16string& sheet) {
    std::string out;
    for (char c : text)
        if (c != '\'') out += char(c >= 'a' && c <= 'z' ? c - 32 : c);
    // A name local to the formula's sheet, named through it or not.
    if (sheet.empty()) return out;
    const std::string own = Plain(WideToUtf8(sheet), u"") + "!LOC";
    for (size_t at; (at = out.find(own)) != out.npos;) out.erase(at, own.size() - 3);
    // Another workbook as a package names it, by the number of its link
    // part, or by its path.
    for (size_t at = 0; (at = out.find('[', at)) != out.npos; ++at) {
        size_t end = at + 1;
        while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
        if (end > at + 1 && end < out.size() && out[end] == ']') out.replace(at, end + 1 - at, "[EXT.XLSX]");
    }
    for (size_t at = 0; (at = out.find("EXT.XLSX]", at)) != out.npos; at += 9) {
        size_t from = at;
        while (from > 0 && std::string_view("(+-*/,&=").find(out[from - 1]) == std::string_view::npos) --from;
        out.replace(from, at - from, "[");
        at = from + 1;
    }
    return out;
}

inline void TRun::CheckCopy(TTabrix4& back, TOrigin as, const std::vector<std::string>& texts,
                            TWrittenCopy& copy) {
    const char* format = as == TOrigin::Package ? ".xlsx" : as == TOrigin::Excel5 ? "Excel 5" : ".xls";
    if (back.Sheets().Count() != int(ids.size())) {
        fault = std::string("written as ") + format + ": " + std::to_string(back.Sheets().Count()) +
                " sheets read back after" + log;
        return;
    }
    for (size_t i = 0; i < formulas.size() && fault.empty(); ++i) {
        const TFormula& f = formulas[i];
        const int p = Position(f.Sheet);
        const TCell* cell = back.GetSheet(p).GetCell(f.Col, f.Row);
        const bool formula = cell && cell->IsFormula();
        const std::string text = formula ? back.GetSheet(p).GetAsFormula(f.Col, f.Row) : "";
        TFormulaValue cached;
        back.GetSheet(p).GetCellValue(f.Col, f.Row, cached);
        const std::string expected = Expected(f);
        // The value it is written with is what it computes; an Excel 5
        // file keeps the value alone of what it cannot hold.
        const std::string value = formula ? Computed(back, p, f.Col, f.Row) : ValueText(cached);
        const std::u16string& own = names[size_t(p)];
        const bool right = formula ? Plain(text, own) == Plain(texts[i], own) && value == expected &&
                                         ValueText(cached) == expected
                                   : as == TOrigin::Excel5 && value == expected;
        if (Judged(f))
            copy.Values[WideToUtf8(names[size_t(p)]) + "!" + char('A' + f.Col) + std::to_string(f.Row + 1)] =
                expected;
        if (!right)
            fault = std::string("written as ") + format + ": " + WideToUtf8(names[size_t(p)]) + "!" +
                    char('A' + f.Col) + std::to_string(f.Row + 1) + " reads " + text + " computing " + value +
                    " (written with " + ValueText(cached) + "), not " + texts[i] + " computing " + expected +
                    " after" + log;
    }
}

inline void TRun::WrittenAndReadBack() {
    int n = 0;
    for (TOrigin as : {TOrigin::Xls, TOrigin::Package, TOrigin::Excel5}) {
        std::vector<std::string> texts;
        for (const TFormula& f : formulas)
            texts.push_back(book->GetSheet(Position(f.Sheet)).GetAsFormula(f.Col, f.Row));
        TWrittenCopy copy;
        copy.File = opt.Scratch + "/copy" + std::to_string(n++) + (as == TOrigin::Package ? ".xlsx" : ".xls");
        copy.Format = as;
        std::unique_ptr<TTabrix4> back;
        if (as == TOrigin::Package && opt.KeepCopies) {
            // The package on disk, for other programs.
            book->SetVersion(TExcelVersion::xvExcel2007);
            book->SetFilename(Utf8ToWide(copy.File));
            book->Write();
            back = std::make_unique<TTabrix4>();
            back->SetFilename(Utf8ToWide(copy.File));
            back->Read();
        } else {
            back = WrittenAndRead(*book, as, copy.File);
        }
        CheckCopy(*back, as, texts, copy);
        if (!fault.empty()) return;
        if (opt.KeepCopies) copies.push_back(std::move(copy));
    }
}

inline std::string TRun::Run() {
    try {
        Make();
        ReadOrigin();
        if (fault.empty()) Check("after the read");
        const int steps = 3 + bytes.Next(10);
        for (int i = 0; i < steps && fault.empty() && !bytes.Done(); ++i) Step();
        if (fault.empty()) WrittenAndReadBack();
    } catch (const XLSError& e) {
        if (fault.empty()) fault = std::string("unexpected refusal: ") + e.what() + " after " + log;
    }
    return fault;
}

inline std::string RunCase(const uint8_t* data, size_t size, const std::string& scratch) {
    TRunOptions options;
    options.Scratch = scratch;
    return TRun(data, size, options).Run();
}

} // namespace sheetedits
