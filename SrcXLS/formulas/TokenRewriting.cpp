#include "SrcXLS/formulas/TokenRewriting.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FunctionTable.h"

#include <algorithm>

namespace xls {

namespace {

using L = TTokenLayout;

// One cell address inside a reference token: where its row and column
// fields are, and what they hold.
struct TCorner {
    uint8_t* RowField = nullptr;
    uint8_t* ColField = nullptr;
    int64_t Row = 0;
    int64_t Col = 0;
    bool RowRel = false;
    bool ColRel = false;
};

void Read(TCorner& c, L layout) {
    if (layout == L::X2007) {
        const uint32_t r = GetU32(c.RowField);
        const uint16_t k = GetU16(c.ColField);
        c.Row = r & 0x7FFFFFFF;
        c.RowRel = !(r & 0x80000000u);
        c.Col = k & 0x7FFF;
        c.ColRel = !(k & 0x8000);
    } else if (layout == L::BIFF8) {
        const uint16_t k = GetU16(c.ColField);
        c.Row = GetU16(c.RowField);
        c.Col = k & 0x3FFF;
        c.RowRel = k & 0x8000;
        c.ColRel = k & 0x4000;
    } else {
        const uint16_t r = GetU16(c.RowField);
        c.Row = r & 0x3FFF;
        c.RowRel = r & 0x8000;
        c.ColRel = r & 0x4000;
        c.Col = *c.ColField;
    }
}

// Writes row and column back, the flag bits as they were.
void Write(const TCorner& c, L layout) {
    if (layout == L::X2007) {
        PutU32(c.RowField, uint32_t(c.Row) | (GetU32(c.RowField) & 0x80000000u));
        PutU16(c.ColField, uint16_t(uint16_t(c.Col) | (GetU16(c.ColField) & 0x8000)));
    } else if (layout == L::BIFF8) {
        PutU16(c.RowField, uint16_t(c.Row));
        PutU16(c.ColField, uint16_t(uint16_t(c.Col) | (GetU16(c.ColField) & 0xC000)));
    } else {
        PutU16(c.RowField, uint16_t(uint16_t(c.Row) | (GetU16(c.RowField) & 0xC000)));
        *c.ColField = uint8_t(c.Col);
    }
}

int64_t LastRow(L layout) {
    return layout == L::X2007 ? 1048575 : layout == L::BIFF8 ? 65535 : 16383;
}
int64_t LastCol(L layout) {
    return layout == L::X2007 ? 16383 : 255;
}

// The corners of a reference token (0 for any other token), with the
// token's data at data.
int Corners(uint8_t base, L layout, uint8_t* data, TCorner (&c)[2]) {
    const bool threeD = base == ptg::Ref3d || base == ptg::Area3d;
    if (threeD) data += layout == L::BIFF8 || layout == L::X2007 ? 2 : 14;
    const bool area = base == ptg::Area || base == ptg::AreaN || base == ptg::Area3d;
    if (!area && base != ptg::Ref && base != ptg::RefN && base != ptg::Ref3d) return 0;
    switch (layout) {
    case L::X2007:
        c[0] = {data, data + (area ? 8 : 4)};
        c[1] = {data + 4, data + 10};
        break;
    case L::BIFF8:
        c[0] = {data, data + (area ? 4 : 2)};
        c[1] = {data + 2, data + 6};
        break;
    default:
        c[0] = {data, data + (area ? 4 : 2)};
        c[1] = {data + 2, data + 5};
        break;
    }
    const int n = area ? 2 : 1;
    for (int i = 0; i < n; ++i) Read(c[i], layout);
    return n;
}

// The #REF! token of a reference token: class kept, data kept.
uint8_t ErrorId(uint8_t id) {
    switch (ptg::BaseOf(id)) {
    case ptg::Ref:
    case ptg::RefN:
        return uint8_t((id & 0xF0) | 0x0A);
    case ptg::Area:
    case ptg::AreaN:
        return uint8_t((id & 0xF0) | 0x0B);
    case ptg::Ref3d:
        return uint8_t((id & 0xF0) | 0x0C);
    default:
        return uint8_t((id & 0xF0) | 0x0D);
    }
}

// Walks the whole stream first; raises head + "[id]" + tail at a token
// that cannot be walked.
void Check(std::span<const uint8_t> tokens, L layout, const char* tail) {
    TTokenWalker w(tokens, layout);
    TToken t;
    for (;;) {
        const TWalkStatus s = w.Next(t);
        if (s == TWalkStatus::End) return;
        if (s != TWalkStatus::Token) throw XLSError(TokenMessage("Unknown ptg", t.Id, tail));
    }
}

} // namespace

void AdjustCell(bool biff8, std::span<uint8_t> tokens, bool adjustAll, bool firstRowFixed, int rowDelta,
                int colDelta) {
    const L start = biff8 ? L::BIFF8 : L::BIFF5;
    Check(tokens, start, " in AdjustCell");
    TTokenWalker w(tokens, start);
    TToken t;
    while (w.Next(t) == TWalkStatus::Token) {
        uint8_t* id = tokens.data() + t.Pos;
        TCorner c[2];
        const int n = Corners(t.Base, t.Layout, id + 1, c);
        if (n == 0) continue;
        bool inside = true;
        for (int i = 0; i < n; ++i) {
            if ((c[i].RowRel || adjustAll) && !(firstRowFixed && i == 0)) c[i].Row += rowDelta;
            if (c[i].ColRel || adjustAll) c[i].Col += colDelta;
            inside = inside && c[i].Row >= 0 && c[i].Row <= LastRow(t.Layout) && c[i].Col >= 0 &&
                     c[i].Col <= LastCol(t.Layout);
        }
        if (!inside) {
            *id = ErrorId(*id);
            continue;
        }
        for (int i = 0; i < n; ++i) Write(c[i], t.Layout);
    }
}

std::optional<std::vector<uint8_t>> SharedFormulaToCell(std::span<const uint8_t> tokens,
                                                        std::span<const uint8_t> extra, TExcelVersion version,
                                                        int col, int row) {
    if (version < TExcelVersion::xvExcel50) return std::nullopt;
    const L layout = TokenLayoutOf(version);
    std::vector<uint8_t> out(tokens.begin(), tokens.end());
    bool arrays = false;
    TTokenWalker w(out, layout, false);
    TToken t;
    for (;;) {
        const TWalkStatus s = w.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token || t.Base == ptg::MemArea) return std::nullopt;
        arrays = arrays || t.Base == ptg::Array;
        uint8_t* id = out.data() + t.Pos;
        TCorner c[2];
        const int n = Corners(t.Base, t.Layout, id + 1, c);
        if (n == 0) continue;
        const bool biff8 = t.Layout == L::BIFF8;
        // A relative part holds an offset from the cell; columns wrap at
        // 256 and rows at the sheet's height, like the addresses.
        for (int i = 0; i < n; ++i) {
            if (c[i].RowRel) {
                const int64_t offset =
                    biff8 ? int16_t(uint16_t(c[i].Row)) : ((int(c[i].Row) ^ 0x2000) - 0x2000);
                c[i].Row = (row + offset) & (biff8 ? 0xFFFF : 0x3FFF);
            }
            if (c[i].ColRel) c[i].Col = (col + int8_t(uint8_t(c[i].Col))) & 0xFF;
            Write(c[i], t.Layout);
        }
        if (t.Base == ptg::RefN || t.Base == ptg::AreaN) *id = uint8_t(*id - 0x08);
    }
    if (arrays) out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

void Shift2007SharedFormula(std::span<uint8_t> tokens, int colOffset, int rowOffset) {
    Check(tokens, L::BIFF8, " in Shared 2007 Formula");
    TTokenWalker w(tokens, L::BIFF8);
    TToken t;
    while (w.Next(t) == TWalkStatus::Token) {
        if (t.Layout != L::X2007) continue;
        if (t.Base == ptg::RefN || t.Base == ptg::AreaN)
            throw XLSError(TokenMessage("Illegal ptg", t.Id, " in Shared 2007 Formula"));
    }
    TTokenWalker again(tokens, L::BIFF8);
    while (again.Next(t) == TWalkStatus::Token) {
        if (t.Layout != L::X2007) continue;
        uint8_t* id = tokens.data() + t.Pos;
        TCorner c[2];
        // References to other sheets move as those to the own sheet do.
        const int n = Corners(t.Base, t.Layout, id + 1, c);
        if (n == 0) continue;
        bool inside = true;
        for (int i = 0; i < n; ++i) {
            if (c[i].RowRel) c[i].Row += rowOffset;
            if (c[i].ColRel) c[i].Col += colOffset;
            inside = inside && c[i].Row >= 0 && c[i].Row <= LastRow(L::X2007) && c[i].Col >= 0 &&
                     c[i].Col <= LastCol(L::X2007);
        }
        if (!inside) {
            *id = ErrorId(*id);
            continue;
        }
        for (int i = 0; i < n; ++i) Write(c[i], t.Layout);
    }
}

std::optional<std::vector<uint8_t>> Tokens2007ToBIFF8(std::span<const uint8_t> data, size_t tokenLength,
                                                      size_t& biff8TokenLength, std::string* why,
                                                      TBIFF8Cut* cut) {
    auto fail = [why](const char* reason) {
        if (why) *why = reason;
        return std::nullopt;
    };
    if (tokenLength > data.size()) return fail("tokens that cannot be read");
    std::vector<uint8_t> copy(data.begin(), data.begin() + std::ptrdiff_t(tokenLength));
    std::vector<uint8_t> out;
    out.reserve(data.size());
    TByteWriter w(out);
    TTokenWalker walker(copy, L::BIFF8);
    TToken t;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token) return fail("tokens that cannot be read");
        uint8_t* token = copy.data() + t.Pos;
        if (t.Base == ptg::FuncVar && FuncVarCount(token[1], t.Layout) > MaxFileArguments)
            return fail("more than 127 arguments to a function");
        const bool reference = t.Base == ptg::Ref || t.Base == ptg::Area || t.Base == ptg::Ref3d ||
                               t.Base == ptg::Area3d || t.Base == ptg::RefErr || t.Base == ptg::AreaErr ||
                               t.Base == ptg::RefErr3d || t.Base == ptg::AreaErr3d;
        if (t.Layout != L::X2007 || !reference) {
            if (t.Layout == L::X2007 && (t.Base == ptg::RefN || t.Base == ptg::AreaN))
                return fail("tokens that cannot be read");
            w.Bytes(token, t.Size);
            continue;
        }
        const size_t idAt = out.size();
        w.U8(t.Id);
        const bool threeD = t.Base == ptg::Ref3d || t.Base == ptg::Area3d || t.Base == ptg::RefErr3d ||
                            t.Base == ptg::AreaErr3d;
        if (threeD) w.U16(GetU16(token + 1));
        const bool area = t.Base == ptg::Area || t.Base == ptg::Area3d || t.Base == ptg::AreaErr ||
                          t.Base == ptg::AreaErr3d;
        if (t.Base == ptg::RefErr || t.Base == ptg::AreaErr || t.Base == ptg::RefErr3d ||
            t.Base == ptg::AreaErr3d) {
            for (int i = 0; i < (area ? 8 : 4); ++i) w.U8(0);
            continue;
        }
        TCorner c[2];
        const int n = Corners(t.Base, L::X2007, token + 1, c);
        // Whole columns and whole rows stay whole in the smaller sheet.
        if (n == 2 && c[0].Row == 0 && c[1].Row == LastRow(L::X2007)) c[1].Row = LastRow(L::BIFF8);
        if (n == 2 && c[0].Col == 0 && c[1].Col == LastCol(L::X2007)) c[1].Col = LastCol(L::BIFF8);
        if (cut && (c[0].Row > 65535 || c[0].Col > 255)) {
            // Wholly beyond: #REF!, the token's size kept.
            cut->Out = true;
            out[idAt] = ErrorId(t.Id);
            for (int i = 0; i < (area ? 8 : 4); ++i) w.U8(0);
            continue;
        }
        if (cut && n == 2 && (c[1].Row > 65535 || c[1].Col > 255)) {
            cut->Cut = true;
            c[1].Row = std::min<int64_t>(c[1].Row, 65535);
            c[1].Col = std::min<int64_t>(c[1].Col, 255);
        }
        uint16_t rows[2] = {}, cols[2] = {};
        for (int i = 0; i < n; ++i) {
            if (c[i].Row > 65535 || c[i].Col > 255) return fail("a reference past column IV or row 65536");
            rows[i] = uint16_t(c[i].Row);
            cols[i] = uint16_t(c[i].Col | (c[i].RowRel ? 0x8000 : 0) | (c[i].ColRel ? 0x4000 : 0));
        }
        if (area) {
            w.U16(rows[0]);
            w.U16(rows[1]);
            w.U16(cols[0]);
            w.U16(cols[1]);
        } else {
            w.U16(rows[0]);
            w.U16(cols[0]);
        }
    }
    biff8TokenLength = out.size();
    out.insert(out.end(), data.begin() + std::ptrdiff_t(tokenLength), data.end());
    return out;
}

namespace {

// 8-bit text of a code page for wide text; empty when a character is lacking.
std::optional<std::string> OldText(std::u16string_view text, int codePage) {
    try {
        return WideToCodePage(text, codePage);
    } catch (const XLSError&) {
        return std::nullopt;
    }
}

// An array constant of the BIFF8 layout in the older layout, appended.
bool ConvertArray(std::span<const uint8_t> data, size_t& pos, int codePage, std::vector<uint8_t>& out) {
    try {
        return WriteArrayConstant(ReadArrayConstant(data, pos, L::BIFF8), out, L::BIFF5, codePage);
    } catch (const XLSError&) {
        return false;
    }
}

} // namespace

namespace {

// A field that jumps or measures over tokens: at Field, the bytes from From
// up to To.
struct TSpan {
    size_t Field, From, To;
};

// The span of a tAttr jump or of a memory token's sub-expression size.
void AddSpans(const TToken& t, const std::vector<uint8_t>& data, std::vector<TSpan>& spans) {
    const size_t end = t.Pos + t.Size;
    if (t.Id == ptg::Attr && (t.Data[0] == attr::If || t.Data[0] == attr::Skip)) {
        spans.push_back({t.Pos + 2, end, end + GetU16(t.Data + 1)});
    } else if (t.Id == ptg::Attr && t.Data[0] == attr::Choose) {
        const size_t table = t.Pos + 4;
        for (size_t i = 0; table + 2 * i + 2 <= end; ++i)
            spans.push_back({table + 2 * i, end, table + GetU16(data.data() + table + 2 * i)});
    } else if (t.Base == ptg::MemArea || t.Base == ptg::MemErr || t.Base == ptg::MemNoMem) {
        spans.push_back({t.Pos + 5, end, end + GetU16(t.Data + 4)});
    } else if (t.Base == ptg::MemFunc || t.Base == ptg::MemAreaN || t.Base == ptg::MemNoMemN) {
        spans.push_back({t.Pos + 1, end, end + GetU16(t.Data)});
    }
}

struct TReplacement {
    TToken Token;
    std::vector<uint8_t> Bytes;
};

// Puts new bytes in the place of tokens (in stream order); the spans over
// them follow the change of size.
void ReplaceTokens(std::vector<uint8_t>& data, size_t& tokenLength, const std::vector<TSpan>& spans,
                   const std::vector<TReplacement>& replaced) {
    for (const TSpan& s : spans) {
        int64_t change = 0;
        for (const TReplacement& r : replaced)
            if (r.Token.Pos >= s.From && r.Token.Pos < s.To)
                change += int64_t(r.Bytes.size()) - int64_t(r.Token.Size);
        PutU16(data.data() + s.Field, uint16_t(GetU16(data.data() + s.Field) + change));
    }
    std::vector<uint8_t> out;
    out.reserve(data.size());
    size_t at = 0;
    for (const TReplacement& r : replaced) {
        out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(r.Token.Pos));
        out.insert(out.end(), r.Bytes.begin(), r.Bytes.end());
        at = r.Token.Pos + r.Token.Size;
    }
    const size_t newLength = out.size() + (tokenLength - at);
    out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.end());
    data = std::move(out);
    tokenLength = newLength;
}

} // namespace

bool FollowNames(std::vector<uint8_t>& data, size_t& tokenLength, TTokenLayout layout,
                 const std::function<int(int number)>& follow,
                 const std::function<bool(int entry)>& selfEntry, uint8_t errorCode) {
    if (tokenLength > data.size()) return false;
    const std::span<const uint8_t> tokens(data.data(), tokenLength);
    // Where the tokens of the names gone are, and the spans that jump or
    // measure over them.
    std::vector<TReplacement> gone;
    std::vector<TSpan> spans;
    std::vector<std::pair<size_t, uint16_t>> renumbered;
    TTokenWalker walker(tokens, layout);
    TToken t;
    // Before BIFF5 a name between tSheet and tEndSheet is another workbook's.
    bool otherBook = false;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token) return false;
        const bool linked = t.Layout == L::BIFF8 || t.Layout == L::X2007;
        if (t.Layout < L::BIFF5 && (t.Id == ptg::Sheet || t.Id == ptg::EndSheet))
            otherBook = t.Id == ptg::Sheet;
        size_t field = 0;
        if (t.Base == ptg::Name && !otherBook)
            field = t.Pos + 1;
        else if (t.Base == ptg::NameX && linked && selfEntry && selfEntry(GetU16(t.Data)))
            field = t.Pos + 3;
        else if (t.Base == ptg::NameX && t.Layout == L::BIFF5 && int16_t(GetU16(t.Data)) < 0)
            field = t.Pos + 11;
        if (field) {
            const int number = GetU16(data.data() + field);
            const int now = follow(number);
            // The error takes the token's place; #REF! (0x17) as a
            // reference's error, which readers take as an operand of any
            // function (an error value in a function's reference argument
            // LibreOffice drops).
            if (now == 0 && errorCode == 0x17) {
                std::vector<uint8_t> error(t.Layout == L::X2007 ? 7 : t.Layout == L::BIFF8 ? 5 : 4, 0);
                error[0] = ptg::WithClassOf(ptg::RefErr, t.Id);
                gone.push_back({t, std::move(error)});
            } else if (now == 0) {
                gone.push_back({t, {ptg::Err, errorCode}});
            } else if (now != number)
                renumbered.emplace_back(field, uint16_t(now));
            continue;
        }
        AddSpans(t, data, spans);
    }
    if (gone.empty() && renumbered.empty()) return false;
    for (const auto& [field, number] : renumbered) PutU16(data.data() + field, number);
    if (!gone.empty()) ReplaceTokens(data, tokenLength, spans, gone);
    return true;
}

bool RenumberNames(std::vector<uint8_t>& data, size_t& tokenLength, int deleted,
                   const std::function<bool(int entry)>& selfEntry, TTokenLayout layout, uint8_t errorCode) {
    return FollowNames(
        data, tokenLength, layout,
        [deleted](int number) { return number == deleted  ? 0
                                       : number > deleted ? number - 1
                                                          : number; },
        selfEntry, errorCode);
}

bool CallsInVersion(std::span<const uint8_t> tokens, TTokenLayout layout, TExcelVersion version,
                    std::string* why) {
    TTokenWalker walker(tokens, layout, false);
    TToken t;
    while (walker.Next(t) == TWalkStatus::Token) {
        if (t.Base != ptg::Func && t.Base != ptg::FuncVar) continue;
        const TFunctionCall call = FunctionCallOf(t);
        if (call.Command || (t.Base == ptg::FuncVar && call.Number == fn::External)) continue;
        const int count = t.Base == ptg::FuncVar             ? FuncVarCount(t.Data[0], t.Layout)
                          : call.Number < ExcelFunctionCount ? ExcelFunction(call.Number).MinArgs
                                                             : 0;
        if (!FunctionInVersion(call.Number, count, version, why)) return false;
    }
    return true;
}

bool NamesAName(std::span<const uint8_t> tokens, TTokenLayout layout) {
    TTokenWalker walker(tokens, layout, false);
    TToken t;
    while (walker.Next(t) == TWalkStatus::Token)
        if (t.Base == ptg::Name) return true;
    return false;
}

bool CallsFunction(std::span<const uint8_t> tokens, TTokenLayout layout, int number) {
    TTokenWalker walker(tokens, layout, false);
    TToken t;
    while (walker.Next(t) == TWalkStatus::Token)
        if ((t.Base == ptg::Func || t.Base == ptg::FuncVar) && FunctionCallOf(t).Number == number &&
            !FunctionCallOf(t).Command)
            return true;
    return false;
}

bool QualifyReferences(std::vector<uint8_t>& data, size_t& tokenLength, uint16_t externSheet) {
    if (tokenLength > data.size()) return false;
    std::vector<TReplacement> qualified;
    std::vector<TSpan> spans;
    TTokenWalker walker(std::span<const uint8_t>(data.data(), tokenLength), L::BIFF8, false);
    TToken t;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token) return false;
        // Each reference token and its 3-D form.
        static constexpr std::pair<uint8_t, uint8_t> threeDOf[] = {{ptg::Ref, ptg::Ref3d},
                                                                   {ptg::Area, ptg::Area3d},
                                                                   {ptg::RefErr, ptg::RefErr3d},
                                                                   {ptg::AreaErr, ptg::AreaErr3d}};
        const auto found = std::find_if(std::begin(threeDOf), std::end(threeDOf),
                                        [&](const auto& p) { return p.first == t.Base; });
        if (found == std::end(threeDOf)) {
            AddSpans(t, data, spans);
            continue;
        }
        const uint8_t threeD = found->second;
        std::vector<uint8_t> bytes = {ptg::WithClassOf(threeD, t.Id), uint8_t(externSheet),
                                      uint8_t(externSheet >> 8)};
        bytes.insert(bytes.end(), t.Data, t.Data + (t.Size - 1));
        qualified.push_back({t, std::move(bytes)});
    }
    if (qualified.empty()) return false;
    ReplaceTokens(data, tokenLength, spans, qualified);
    return true;
}

namespace {

// The function number of a call through a name.
constexpr uint16_t UserFunction = 255;

// The data of a BIFF5 3-D token up to its cell part: the EXTERNSHEET
// record of its first sheet (negative, as for the own workbook), eight
// unused bytes, the first and the last sheet.
void Put3dPrefix(TByteWriter& w, uint16_t first, uint16_t last) {
    w.U16(first == 0xFFFF ? 0xFFFF : uint16_t(-int(first) - 1));
    for (int i = 0; i < 8; ++i) w.U8(0);
    w.U16(first);
    w.U16(last);
}

// One BIFF8 token in the older layout, appended to out; false when it has
// no form there.
bool OldToken(const TToken& t, const uint8_t* token, int codePage, const TOldLinks* links,
              std::vector<uint8_t>& out) {
    TByteWriter w(out);
    switch (t.Base) {
    case ptg::Name: {
        const int number = links && links->NameNumber ? links->NameNumber(GetU16(token + 1)) : 0;
        if (number < 1) return false;
        w.U8(t.Id);
        w.U16(uint16_t(number));
        for (int i = 0; i < 12; ++i) w.U8(0);
        return true;
    }
    case ptg::Str: {
        std::u16string text;
        const size_t n = token[1];
        for (size_t i = 0; i < n; ++i)
            text.push_back((token[2] & 1) ? char16_t(GetU16(token + 3 + 2 * i)) : char16_t(token[3 + i]));
        auto old = OldText(text, codePage);
        if (!old || old->size() > 255) return false;
        w.U8(ptg::Str);
        w.U8(uint8_t(old->size()));
        w.Bytes(old->data(), old->size());
        return true;
    }
    default:
        break;
    }
    const bool threeD =
        t.Base == ptg::Ref3d || t.Base == ptg::Area3d || t.Base == ptg::RefErr3d || t.Base == ptg::AreaErr3d;
    uint16_t first = 0, last = 0;
    if (threeD && (!links || !links->SelfSheets || !links->SelfSheets(GetU16(token + 1), first, last)))
        return false;
    const bool error = t.Base == ptg::RefErr || t.Base == ptg::AreaErr || t.Base == ptg::RefErr3d ||
                       t.Base == ptg::AreaErr3d;
    const bool area = t.Base == ptg::Area || t.Base == ptg::AreaN || t.Base == ptg::Area3d ||
                      t.Base == ptg::AreaErr || t.Base == ptg::AreaErr3d;
    uint8_t base = t.Base;
    if (error) base = area ? (threeD ? ptg::Area3d : ptg::Area) : (threeD ? ptg::Ref3d : ptg::Ref);
    TCorner c[2];
    std::vector<uint8_t> copy(token + 1, token + t.Size);
    const int n = Corners(base, L::BIFF8, copy.data(), c);
    if (n == 0) {
        w.Bytes(token, t.Size);
        return true;
    }
    if (threeD && links->OneSheet) {
        // The sheet of the file: its references need none.
        const uint8_t plain = area ? (error ? ptg::AreaErr : ptg::Area) : (error ? ptg::RefErr : ptg::Ref);
        w.U8(ptg::WithClassOf(plain, t.Id));
    } else {
        w.U8(t.Id);
        if (threeD) Put3dPrefix(w, first, last);
    }
    // Whole columns of another sheet (a print area, a filter's range) are
    // the whole columns of the older sheet.
    if (threeD && n == 2 && c[0].Row == 0 && c[1].Row == 0xFFFF) c[1].Row = 0x3FFF;
    uint16_t rows[2] = {}, cols[2] = {};
    for (int i = 0; i < n; ++i) {
        // The cells of an error token mean nothing.
        if (!error && c[i].Row > 0x3FFF) return false;
        rows[i] = uint16_t((c[i].Row & 0x3FFF) | (c[i].RowRel ? 0x8000 : 0) | (c[i].ColRel ? 0x4000 : 0));
        cols[i] = uint16_t(c[i].Col & 0xFF);
    }
    w.U16(rows[0]);
    if (n == 2) w.U16(rows[1]);
    w.U8(uint8_t(cols[0]));
    if (n == 2) w.U8(uint8_t(cols[1]));
    return true;
}

} // namespace

std::optional<std::vector<uint8_t>> TokensToOldLayout(std::span<const uint8_t> data, size_t tokenLength,
                                                      TExcelVersion from, int codePage,
                                                      size_t& newTokenLength, const TOldLinks* links) {
    if (tokenLength > data.size()) return std::nullopt;
    const L source = TokenLayoutOf(from);
    std::vector<uint8_t> tokens(data.begin(), data.begin() + std::ptrdiff_t(tokenLength));
    // Tokens whose size changes move what jumps and sub-expression sizes
    // measure: those follow.
    std::vector<TReplacement> replaced;
    std::vector<TSpan> spans;
    size_t arrays = 0;
    TTokenWalker walker(tokens, source, false);
    TToken t;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token || t.Layout != source) return std::nullopt;
        const uint8_t* token = tokens.data() + t.Pos;
        switch (t.Base) {
        case ptg::NameX:
        case ptg::MemArea:
        case ptg::MemErr:
        case ptg::MemNoMem:
        case ptg::MemFunc:
        case ptg::MemAreaN:
        case ptg::MemNoMemN:
        case ptg::Extended:
        case ptg::Sheet:
        case ptg::EndSheet:
            return std::nullopt;
        case ptg::Name:
        case ptg::Ref3d:
        case ptg::Area3d:
        case ptg::RefErr3d:
        case ptg::AreaErr3d:
            // Older files name names and other sheets otherwise.
            if (source != L::BIFF8) return std::nullopt;
            break;
        case ptg::Array:
            ++arrays;
            continue;
        case ptg::FuncVar:
            // A function called through a name (a macro's, an add-in's) is
            // one the older version may lack.
            if (source == L::BIFF8 && !FunctionCallOf(t).Command && FunctionCallOf(t).Number == UserFunction)
                return std::nullopt;
            break;
        default:
            break;
        }
        std::vector<uint8_t> bytes;
        TByteWriter w(bytes);
        if (source == L::BIFF2 || source == L::BIFF3) {
            // Function numbers widen to 16 bits, BIFF2 attributes too; jump
            // offsets would then point elsewhere, so jumps are not taken.
            switch (t.Base) {
            case ptg::Func:
                w.U8(t.Id);
                w.U16(token[1]);
                break;
            case ptg::FuncVar:
                w.U8(t.Id);
                w.U8(token[1]);
                w.U16(token[2]);
                break;
            case ptg::Attr:
                if (token[1] & (attr::If | attr::Skip | attr::Choose)) return std::nullopt;
                w.U8(t.Id);
                w.U8(token[1]);
                w.U16(source == L::BIFF2 ? token[2] : GetU16(token + 2));
                break;
            default:
                continue;
            }
        } else if (source != L::BIFF8) {
            continue;
        } else if (t.Base == ptg::Attr) {
            AddSpans(t, tokens, spans);
            continue;
        } else if (!OldToken(t, token, codePage, links, bytes)) {
            return std::nullopt;
        }
        if (bytes.size() != t.Size || !std::equal(bytes.begin(), bytes.end(), token))
            replaced.push_back({t, std::move(bytes)});
    }
    size_t length = tokenLength;
    if (!replaced.empty()) ReplaceTokens(tokens, length, spans, replaced);
    newTokenLength = length;
    // The array data: BIFF8 strings become 8-bit; older data stays.
    size_t pos = tokenLength;
    if (source == L::BIFF8) {
        for (size_t k = 0; k < arrays; ++k)
            if (!ConvertArray(data, pos, codePage, tokens)) return std::nullopt;
    } else {
        tokens.insert(tokens.end(), data.begin() + std::ptrdiff_t(tokenLength), data.end());
    }
    return tokens;
}

bool FollowSheetReferences(std::span<uint8_t> tokens, TTokenLayout layout,
                           const std::function<bool(uint16_t& entry)>& entry,
                           const std::function<bool(uint16_t& first, uint16_t& last)>& ownSheets) {
    // Checked whole first: a stream that cannot be walked stays as it was.
    std::vector<TToken> found;
    TTokenWalker walker(tokens, layout);
    TToken t;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token) return false;
        if (t.Base == ptg::Ref3d || t.Base == ptg::Area3d || t.Base == ptg::RefErr3d ||
            t.Base == ptg::AreaErr3d)
            found.push_back(t);
    }
    bool changed = false;
    for (const TToken& r : found) {
        uint8_t* id = tokens.data() + r.Pos;
        uint8_t* p = id + 1;
        const bool linked = r.Layout == L::BIFF8 || r.Layout == L::X2007;
        bool gone = false;
        if (linked) {
            if (!entry) continue;
            uint16_t e = GetU16(p);
            const uint16_t was = e;
            gone = entry(e);
            if (e != was) {
                PutU16(p, e);
                changed = true;
            }
        } else {
            // Older layouts name the workbook's own sheets in the token.
            if (!ownSheets || int16_t(GetU16(p)) >= 0) continue;
            uint16_t first = GetU16(p + 10), last = GetU16(p + 12);
            const uint16_t wasFirst = first, wasLast = last;
            gone = ownSheets(first, last);
            if (first != wasFirst || last != wasLast) {
                PutU16(p + 10, first);
                PutU16(p + 12, last);
                changed = true;
            }
        }
        if (gone && (r.Base == ptg::Ref3d || r.Base == ptg::Area3d)) {
            *id = ptg::WithClassOf(r.Base == ptg::Ref3d ? ptg::RefErr3d : ptg::AreaErr3d, *id);
            changed = true;
        }
    }
    return changed;
}

} // namespace xls
