#include "SrcXLS/formulas/FormulaEncoder.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FunctionTable.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <forward_list>
#include <span>

namespace xls {

namespace {

enum TTokenType : uint8_t {
    ttNone,
    ttAdd,
    ttConcat,
    ttSub,
    ttMul,
    ttDiv,
    ttPercent,
    ttPower,
    ttGT,
    ttGE,
    ttLT,
    ttLE,
    ttEQ,
    ttNE,
    ttParenL,
    ttParenR,
    ttSpace,
    ttListSep,
    ttVectL, // an array constant, whole
    ttVectR,
    ttFunc,
    ttRef,
    ttArea,
    ttRef3d,
    ttArea3d,
    ttRefX,
    ttAreaX,
    ttNumber,
    ttString,
    ttPath,
    ttFile,
    ttName,
    ttNameX,
    ttSheetName,
    ttSheetNameX,
    ttError,
    ttRange, // ":" between operands that are no plain area
    ttTable, // a structured reference: the table's name ("" for the formula's own) and Selector
};

char16_t UpperChar(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c < 0x80 ? c : UpperCaseChar(c);
}

// Whether text is upper in any letter case (upper is in upper case).
bool SameUpper(std::u16string_view text, std::u16string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t k = 0; k < text.size(); ++k)
        if (UpperChar(text[k]) != upper[k]) return false;
    return true;
}

struct TXLSToken {
    TTokenType Type = ttNone;
    // Into the working text, or into the encoder's own texts (unescaped
    // strings and quoted names).
    std::u16string_view Text;
    double Number = 0;
    std::u16string_view Selector = {}; // ttTable: the text within its outer brackets
    uint8_t Code = 0;                  // BIFF error code of ttError
    int Array = -1;                    // constant of ttVectL; characters of a ttSpace run
    // References: first and last corner with their absolute marks.
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    bool AbsCol1 = false, AbsRow1 = false, AbsCol2 = false, AbsRow2 = false;
};

// The text in upper case, four ASCII characters at a time.
void UpperCopy(std::u16string_view text, std::u16string& upper) {
    upper.resize(text.size());
    size_t i = 0;
    for (; i + 4 <= text.size(); i += 4) {
        uint64_t x;
        std::memcpy(&x, text.data() + i, 8);
        if (x & 0xFF80FF80FF80FF80u) {
            for (size_t k = i; k < i + 4; ++k) upper[k] = UpperChar(text[k]);
            continue;
        }
        // Bit 7 of a lane is set where 'a' <= c, and clear where '{' <= c.
        const uint64_t fromA = x + 0x001F001F001F001Fu; // c + 0x80 - 'a'
        const uint64_t pastZ = x + 0x0005000500050005u; // c + 0x80 - '{'
        const uint64_t lower = fromA & ~pastZ & 0x0080008000800080u;
        x -= lower >> 2;
        std::memcpy(upper.data() + i, &x, 8);
    }
    for (; i < text.size(); ++i) upper[i] = UpperChar(text[i]);
}

// A space before an operator or operand, written before its token.
struct TSpace {
    int Count;
    TTokenType Next;
};

// The working lists of an encoding, kept from one formula to the next so
// that a formula costs no allocations of its own but its result.
struct TScratch {
    std::vector<TXLSToken> Tokens;
    std::vector<size_t> Closing;
    std::vector<size_t> Open;
    std::vector<int> ArrayOrder;
    std::vector<TSpace> Spaces;
    std::u16string Upper;
    std::vector<uint8_t> Out;
    bool Busy = false;

    void Clear() {
        Tokens.clear();
        Closing.clear();
        Open.clear();
        ArrayOrder.clear();
        Spaces.clear();
        Upper.clear();
    }
    // Lists grown by a huge formula are given back.
    void Trim() {
        if (Tokens.capacity() > 4096) {
            Tokens = {};
            Closing = {};
            Open = {};
            Spaces = {};
            ArrayOrder = {};
            Upper = {};
        }
        if (Out.capacity() > 65536) Out = {};
    }
};

// Nesting of parentheses and function calls: text from files is not
// trusted to be shallow.
constexpr int MaxNesting = 256;

constexpr const char* ErrorTexts[] = {
    "Error in formula",
    "Invalid constant %s",
    "Invalid symbol %s",
    "Closing paranthese missing in function",
    "Invalid function name %s",
    "Missing quote characther in string %s",
    "Strings can have max 255 characthers",
    "Unknown name %s",
    "Enclosing characther %s missing",
    "Invalid filename %s",
    "To many unary operators",
    "Missmatching parantheses",
    "Illegal number",
    "Illegal character in string %s",
    "Bad filename %s",
    "Invalid 3D name %s",
    "Invalid name %s",
    "Wrong number of arguments for function %s",
    "Empty formula",
};

// The file texts of the error values and their BIFF codes.
struct TErrorLiteral {
    std::u16string_view Text;
    uint8_t Code;
};
constexpr TErrorLiteral ErrorLiterals[] = {
    {u"#NULL!", 0x00}, {u"#DIV/0!", 0x07}, {u"#VALUE!", 0x0F}, {u"#REF!", 0x17},
    {u"#NAME?", 0x1D}, {u"#NUM!", 0x24},   {u"#N/A", 0x2A},
};

// A numbered error handed to the error event: the encoding gives no tokens.
struct TAbandoned {};

class TEncoder {
public:
    TEncoder(std::u16string_view formula, const TEncodeOptions& options, TScratch& scratch)
        : formula(formula), opt(options), mode(options.Mode), upper(scratch.Upper), tokens(scratch.Tokens),
          closing(scratch.Closing), open(scratch.Open), arrayOrder(scratch.ArrayOrder),
          spaces(scratch.Spaces), out(scratch.Out) {
        maxCol = mode == TEncodeMode::em2007 ? 16383 : 255;
        maxRow = mode == TEncodeMode::em2007 ? 1048575 : 65535;
    }

    TEncodedFormula Run();

private:
    // ---- failures
    [[noreturn]] void Fail(int number, std::u16string_view arg = {}) const;
    [[noreturn]] void Plain(const std::string& message) const { throw XLSError(message); }

    // ---- tokenizer
    void Tokenize();
    size_t Step(size_t i);
    void TokenizeOpenDocument();
    void Add(TTokenType type, std::u16string_view text = {}) { tokens.push_back({type, text}); }
    // A text of the encoder's own that tokens may point into.
    std::u16string_view Own(std::u16string text) { return owned.emplace_front(std::move(text)); }
    TTokenType LastType() const { return tokens.empty() ? ttNone : tokens.back().Type; }
    bool IsListSep(char16_t c) const { return c == opt.Syntax.ListSeparator; }
    bool EndsName(char16_t c) const;
    bool Follows(size_t at) const;
    bool Cell(size_t at, size_t& end, int& col, int& row, bool& absCol, bool& absRow) const;
    bool Reference(size_t at, size_t& end, TXLSToken& t) const;
    bool ColumnRange(size_t at, size_t& end, TXLSToken& t) const;
    bool RowRange(size_t at, size_t& end, TXLSToken& t) const;
    size_t ScanName(size_t at);
    size_t ScanNumber(size_t at);
    size_t ScanString(size_t at);
    size_t ScanQuoted(size_t at);
    size_t ScanError(size_t at);
    size_t ScanArray(size_t at);
    size_t ScanTable(size_t at, bool named);
    bool ParseNumber(std::u16string_view text, double& value) const;
    void MarkSheetName();

    // ---- parser
    size_t NextIndex(size_t& spaces) const;
    // The next token that is not a space, nullptr at the limit.
    const TXLSToken* Peek(size_t& at, size_t& count) const {
        if (index < limit && tokens[index].Type != ttSpace) {
            at = index;
            count = 0;
            return &tokens[index];
        }
        at = NextIndex(count);
        return at < limit ? &tokens[at] : nullptr;
    }
    void Take(size_t at, size_t spaces);
    void Expression();
    void Binary(int minLevel);
    void Percent();
    void Unary();
    void Intersection();
    void RangeExpression();
    void Primary();
    void Operand();
    void Function(const TXLSToken& f);
    void Reference3d();
    void ReferenceOperand(const TXLSToken& t, uint8_t base, int externIndex);
    void Enter();

    // ---- writing
    void WriteId(uint8_t id);
    void WriteBytes(const void* p, size_t n) {
        if (n > out.size() - written) Grow(n);
        if (n) std::memcpy(out.data() + written, p, n);
        written += n;
    }
    void Grow(size_t n);
    void WriteU16(uint16_t v) { WriteBytes(&v, 2); }
    void WriteU32(uint32_t v) { WriteBytes(&v, 4); }
    void WriteCell(int col, int row, bool absCol, bool absRow);
    void WriteArea(const TXLSToken& t);
    uint8_t WithClass(uint8_t base, uint8_t defaultClass) const {
        return uint8_t((base & 0x1F) | (cls ? cls : defaultClass));
    }

    std::u16string_view formula;
    const TEncodeOptions& opt;
    TEncodeMode mode;
    int maxCol, maxRow;
    std::u16string_view work; // the formula as written
    // Its character at i in upper case: names, references and constants
    // read in any letter case.
    char16_t U(size_t i) const { return upper[i]; }
    bool StartsWith(size_t at, std::u16string_view upper) const {
        if (work.size() - at < upper.size()) return false;
        for (size_t k = 0; k < upper.size(); ++k)
            if (U(at + k) != upper[k]) return false;
        return true;
    }
    std::u16string& upper;                   // the working text in upper case
    std::forward_list<std::u16string> owned; // never moves its texts
    std::vector<TXLSToken>& tokens;
    // For each opening parenthesis (and function), its closing one; the
    // token count when it has none.
    std::vector<size_t>& closing;
    std::vector<size_t>& open;
    std::vector<TArrayConstant> arrays;
    std::vector<int>& arrayOrder; // constants in token order

    bool tokenizing = false;
    size_t index = 0;
    size_t limit = 0;
    int depth = 0;
    uint8_t cls = 0;
    int arguments = 0; // function arguments being encoded
    int lastSheet = -1;
    std::vector<TSpace>& spaces;
    // The bytes written so far: the first written of the thread's buffer.
    std::vector<uint8_t>& out;
    size_t written = 0;
};

void TEncoder::Fail(int number, std::u16string_view arg) const {
    std::string text = number >= 1 && number <= 18 ? ErrorTexts[number] : ErrorTexts[0];
    const std::string a = WideToUtf8(arg);
    if (size_t at = text.find("%s"); at != text.npos) text.replace(at, 2, a);
    // A long text is cut in the message: it comes from files too.
    const bool cut = formula.size() > 1024;
    std::string message =
        "Error in formula " + WideToUtf8(formula.substr(0, 1024)) + (cut ? "..." : "") + "\r" + text;
    if (!opt.OnError) throw XLSError(message);
    opt.OnError(number, message);
    if (tokenizing) throw XLSError(ErrorTexts[0]);
    throw TAbandoned{};
}

// ---------------------------------------------------------------------------
// Tokenizer

bool TEncoder::EndsName(char16_t c) const {
    if (IsListSep(c)) return true;
    switch (c) {
    case u' ':
    case u'\t':
    case u'\r':
    case u'\n':
    case u'!':
    case u'"':
    case u'#':
    case u'%':
    case u'&':
    case u'\'':
    case u'(':
    case u')':
    case u'*':
    case u'+':
    case u'-':
    case u'/':
    case u'<':
    case u'=':
    case u'>':
    case u'?':
    case u'[':
    case u'\\':
    case u']':
    case u'^':
    case u'{':
    case u'}':
        return true;
    default:
        return false;
    }
}

// What may follow a reference: the end, a separator, a blank or an
// operator. A letter, digit, "_", "." or "(" after it makes it part of a
// name or a function.
bool TEncoder::Follows(size_t at) const {
    if (at >= work.size()) return true;
    const char16_t c = U(at);
    if (IsListSep(c) || c == opt.Syntax.ArrayColSeparator || c == opt.Syntax.ArrayRowSeparator) return true;
    switch (c) {
    case u' ':
    case u'\t':
    case u'\r':
    case u'\n':
    case u'!':
    case u'"':
    case u'#':
    case u'%':
    case u'&':
    case u'\'':
    case u')':
    case u'*':
    case u'+':
    case u'-':
    case u'/':
    case u':':
    case u'<':
    case u'=':
    case u'>':
    case u'[':
    case u']':
    case u'^':
    case u'{':
    case u'}':
        return true;
    default:
        return false;
    }
}

// [$]letters[$]digits at at, within the limits of the mode.
bool TEncoder::Cell(size_t at, size_t& end, int& col, int& row, bool& absCol, bool& absRow) const {
    size_t i = at;
    absCol = absRow = false;
    if (i < work.size() && U(i) == u'$') {
        absCol = true;
        ++i;
    }
    const size_t letters = i;
    int64_t c = 0;
    while (i < work.size() && U(i) >= u'A' && U(i) <= u'Z' && i - letters < 4) {
        c = c * 26 + (U(i) - u'A' + 1);
        ++i;
    }
    const size_t n = i - letters;
    if (n == 0 || n > 3 || c - 1 > maxCol) return false;
    if (mode != TEncodeMode::em2007 && n == 2 &&
        (U(letters) > u'I' || (U(letters) == u'I' && U(letters + 1) > u'V')))
        return false;
    if (i < work.size() && U(i) == u'$') {
        absRow = true;
        ++i;
    }
    const size_t digits = i;
    int64_t r = 0;
    while (i < work.size() && U(i) >= u'0' && U(i) <= u'9') {
        r = r * 10 + (U(i) - u'0');
        if (r > int64_t(maxRow) + 1) return false;
        ++i;
    }
    if (i == digits || r < 1) return false;
    col = int(c - 1);
    row = int(r - 1);
    end = i;
    return true;
}

bool TEncoder::Reference(size_t at, size_t& end, TXLSToken& t) const {
    size_t e1 = 0;
    if (!Cell(at, e1, t.Col1, t.Row1, t.AbsCol1, t.AbsRow1))
        return ColumnRange(at, end, t) || RowRange(at, end, t);
    size_t e2 = 0;
    if (e1 < work.size() && U(e1) == u':' && Cell(e1 + 1, e2, t.Col2, t.Row2, t.AbsCol2, t.AbsRow2) &&
        Follows(e2)) {
        t.Type = ttArea;
        end = e2;
        return true;
    }
    if (!Follows(e1)) return false;
    t.Type = ttRef;
    t.Col2 = t.Col1;
    t.Row2 = t.Row1;
    end = e1;
    return true;
}

// "A:C": whole columns.
bool TEncoder::ColumnRange(size_t at, size_t& end, TXLSToken& t) const {
    auto column = [&](size_t i, int& col, bool& abs, size_t& e) {
        abs = i < work.size() && U(i) == u'$';
        if (abs) ++i;
        const size_t from = i;
        int64_t c = 0;
        while (i < work.size() && U(i) >= u'A' && U(i) <= u'Z' && i - from < 4)
            c = c * 26 + (U(i++) - u'A' + 1);
        if (i == from || i - from > 3 || c - 1 > maxCol) return false;
        col = int(c - 1);
        e = i;
        return true;
    };
    size_t e1 = 0, e2 = 0;
    if (!column(at, t.Col1, t.AbsCol1, e1) || e1 >= work.size() || U(e1) != u':' ||
        !column(e1 + 1, t.Col2, t.AbsCol2, e2) || !Follows(e2))
        return false;
    t.Type = ttArea;
    t.Row1 = 0;
    t.Row2 = maxRow;
    t.AbsRow1 = t.AbsRow2 = true;
    end = e2;
    return true;
}

// "1:3": whole rows.
bool TEncoder::RowRange(size_t at, size_t& end, TXLSToken& t) const {
    auto rowAt = [&](size_t i, int& row, bool& abs, size_t& e) {
        abs = i < work.size() && U(i) == u'$';
        if (abs) ++i;
        const size_t from = i;
        int64_t r = 0;
        while (i < work.size() && U(i) >= u'0' && U(i) <= u'9') {
            r = r * 10 + (U(i++) - u'0');
            if (r > int64_t(maxRow) + 1) return false;
        }
        if (i == from || r < 1) return false;
        row = int(r - 1);
        e = i;
        return true;
    };
    size_t e1 = 0, e2 = 0;
    if (!rowAt(at, t.Row1, t.AbsRow1, e1) || e1 >= work.size() || U(e1) != u':' ||
        !rowAt(e1 + 1, t.Row2, t.AbsRow2, e2) || !Follows(e2))
        return false;
    t.Type = ttArea;
    t.Col1 = 0;
    t.Col2 = maxCol;
    t.AbsCol1 = t.AbsCol2 = true;
    end = e2;
    return true;
}

size_t TEncoder::ScanName(size_t at) {
    size_t i = at;
    while (i < work.size() && !EndsName(U(i)) && U(i) != u':') ++i;
    // "Sheet1:Sheet3!" names a range of sheets; elsewhere the colon is the
    // range operator between two names.
    if (i < work.size() && U(i) == u':') {
        size_t j = i + 1;
        while (j < work.size() && !EndsName(U(j)) && U(j) != u':') ++j;
        if (j > i + 1 && j < work.size() && U(j) == u'!') i = j;
    }
    if (i == at) Plain("Invalid name");
    Add(LastType() == ttPath ? ttNameX : ttName, std::u16string_view(work).substr(at, i - at));
    return i;
}

bool TEncoder::ParseNumber(std::u16string_view text, double& value) const {
    std::string ascii;
    for (char16_t c : text) {
        if (c == opt.Syntax.DecimalSeparator)
            ascii.push_back('.');
        else if (c < 0x80)
            ascii.push_back(char(c));
        else
            return false;
    }
    auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return r.ec == std::errc() && r.ptr == ascii.data() + ascii.size() && std::isfinite(value);
}

// Digits, one decimal separator and an exponent.
size_t TEncoder::ScanNumber(size_t at) {
    size_t i = at;
    bool point = false;
    auto digit = [&](size_t k) { return k < work.size() && U(k) >= u'0' && U(k) <= u'9'; };
    while (i < work.size()) {
        const char16_t c = U(i);
        if (digit(i)) {
            ++i;
        } else if (c == opt.Syntax.DecimalSeparator && !IsListSep(c)) {
            if (point) Fail(12);
            point = true;
            ++i;
        } else if (c == u'E' && i > at &&
                   (digit(i + 1) || ((U(i + 1) == u'+' || U(i + 1) == u'-') && digit(i + 2)))) {
            i += 2;
            while (digit(i)) ++i;
            break;
        } else {
            break;
        }
    }
    if (i < work.size()) {
        const char16_t c = U(i);
        const bool stop = IsListSep(c) || c == opt.Syntax.ArrayColSeparator ||
                          c == opt.Syntax.ArrayRowSeparator ||
                          std::u16string_view(u"<=>^/ %)*+-&:}\t\r\n").find(c) != std::u16string_view::npos;
        if (!stop) Fail(12);
    }
    TXLSToken t{ttNumber, std::u16string_view(work).substr(at, i - at)};
    if (!ParseNumber(t.Text, t.Number)) Fail(12);
    tokens.push_back(std::move(t));
    return i;
}

size_t TEncoder::ScanString(size_t at) {
    // Without doubled quotes the literal's text is the working text's own.
    const size_t close = work.find(u'"', at + 1);
    if (close != work.npos && (close + 1 >= work.size() || U(close + 1) != u'"')) {
        Add(ttString, std::u16string_view(work).substr(at + 1, close - at - 1));
        return close + 1;
    }
    std::u16string text;
    size_t i = at + 1;
    for (;;) {
        if (i >= work.size()) Fail(5, formula);
        if (U(i) == u'"') {
            if (i + 1 < work.size() && U(i + 1) == u'"') {
                text.push_back(u'"');
                i += 2;
                continue;
            }
            break;
        }
        text.push_back(work[i++]);
    }
    Add(ttString, Own(std::move(text)));
    return i + 1;
}

// A quoted sheet name ('My Sheet'), or a path ('C:\dir\[book.xls]Sheet').
size_t TEncoder::ScanQuoted(size_t at) {
    std::u16string text;
    size_t i = at + 1;
    for (;;) {
        if (i >= work.size()) Fail(8, u"'");
        if (U(i) == u'\'') {
            if (i + 1 < work.size() && U(i + 1) == u'\'') {
                text.push_back(u'\'');
                i += 2;
                continue;
            }
            break;
        }
        text.push_back(work[i++]);
    }
    const size_t close = i;
    // A sheet (or a range of sheets) of this workbook, whatever its name holds.
    if (opt.Names && opt.Names->HasSheet(text)) {
        Add(ttName, Own(std::move(text)));
        return close + 1;
    }
    // A path of another workbook: "C:\dir\[book.xls]Sheet", "[book.xls]Sheet",
    // or a drive path alone.
    const bool drive = text.size() >= 3 &&
                       ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z')) &&
                       text[1] == u':' && text[2] == u'\\';
    const size_t bracket = text.find(u'[');
    const size_t closing = bracket == text.npos ? text.npos : text.find(u']', bracket);
    if (closing != text.npos && closing - bracket >= 2) {
        const std::u16string_view all = Own(std::move(text));
        Add(ttPath, all.substr(0, bracket));
        Add(ttFile, all.substr(bracket + 1, closing - bracket - 1));
        Add(ttName, all.substr(closing + 1));
        return close + 1;
    }
    if (drive && close - at >= 7) {
        Add(ttPath, Own(std::move(text)));
        return close + 1;
    }
    if (text.find_first_of(u"*/?[\\]") != text.npos) Fail(13, text);
    Add(ttName, Own(std::move(text)));
    return close + 1;
}

size_t TEncoder::ScanError(size_t at) {
    const std::u16string_view rest = std::u16string_view(work).substr(at);
    for (const TErrorLiteral& e : ErrorLiterals)
        if (StartsWith(at, e.Text)) {
            const size_t end = at + e.Text.size();
            // "#REF!A1": a reference to a sheet that was deleted.
            TXLSToken ref;
            size_t refEnd = 0;
            if (e.Code == 0x17 && end < work.size() && U(end) != u'#' && Reference(end, refEnd, ref)) {
                Add(ttSheetName, e.Text);
                return end;
            }
            TXLSToken t{ttError, e.Text};
            t.Code = e.Code;
            tokens.push_back(std::move(t));
            return end;
        }
    size_t i = at + 1;
    while (i < work.size() && !EndsName(U(i))) ++i;
    Fail(1, rest.substr(0, i - at));
}

// An array constant: values in rows, "{1,2;3,4}".
size_t TEncoder::ScanArray(size_t at) {
    TArrayConstant a;
    int cols = 0;
    size_t i = at + 1;
    auto blanks = [&] {
        while (i < work.size() && (U(i) == u' ' || U(i) == u'\t' || U(i) == u'\r' || U(i) == u'\n')) ++i;
    };
    auto bad = [&]() {
        Fail(1, std::u16string_view(work).substr(at, std::min<size_t>(i + 1, work.size()) - at));
    };
    for (;;) {
        blanks();
        if (i >= work.size()) Fail(8, u"}");
        TArrayValue v;
        const char16_t c = U(i);
        if (c == u'"') {
            const size_t before = tokens.size();
            i = ScanString(i);
            v.Kind = TArrayValue::avString;
            v.Text = tokens.back().Text;
            tokens.resize(before);
            if (v.Text.size() > 255) Fail(6);
        } else if (c == u'#') {
            const size_t before = tokens.size();
            i = ScanError(i);
            v.Kind = TArrayValue::avError;
            v.Code = tokens.back().Code;
            tokens.resize(before);
        } else if (StartsWith(i, u"TRUE") || StartsWith(i, u"FALSE")) {
            v.Kind = TArrayValue::avBoolean;
            v.Code = U(i) == u'T';
            i += v.Code ? 4 : 5;
        } else {
            size_t j = i;
            if (j < work.size() && (U(j) == u'-' || U(j) == u'+')) ++j;
            size_t k = j;
            while (k < work.size() &&
                   ((U(k) >= u'0' && U(k) <= u'9') || U(k) == opt.Syntax.DecimalSeparator || U(k) == u'E' ||
                    ((U(k) == u'+' || U(k) == u'-') && k > j && U(k - 1) == u'E')))
                ++k;
            if (k == j || !ParseNumber(std::u16string_view(work).substr(i, k - i), v.Number)) bad();
            v.Kind = TArrayValue::avNumber;
            i = k;
        }
        a.Values.push_back(std::move(v));
        ++cols;
        blanks();
        if (i >= work.size()) Fail(8, u"}");
        const char16_t s = U(i);
        if (s == u'}' || s == opt.Syntax.ArrayRowSeparator) {
            if (a.Rows == 0)
                a.Cols = cols;
            else if (cols != a.Cols)
                bad();
            ++a.Rows;
            cols = 0;
            ++i;
            if (s == u'}') break;
        } else if (s == opt.Syntax.ArrayColSeparator) {
            ++i;
        } else {
            bad();
        }
    }
    if (a.Cols > 256 || a.Rows > 65536) bad();
    TXLSToken t{ttVectL, u"{"};
    t.Array = int(arrays.size());
    arrays.push_back(std::move(a));
    tokens.push_back(std::move(t));
    return i;
}

// The brackets of a structured reference from at, nested ones and "'"
// escapes within: one ttTable token (in place of the table's name).
size_t TEncoder::ScanTable(size_t at, bool named) {
    int depth = 0;
    size_t i = at;
    for (; i < work.size(); ++i) {
        if (work[i] == u'\'' && i + 1 < work.size()) {
            ++i;
        } else if (work[i] == u'[') {
            ++depth;
        } else if (work[i] == u']' && --depth == 0) {
            break;
        }
    }
    if (i >= work.size()) Fail(8, u"]");
    TXLSToken t{ttTable, named ? tokens.back().Text : std::u16string_view()};
    t.Selector = std::u16string_view(work).substr(at + 1, i - at - 1);
    if (named) tokens.pop_back();
    tokens.push_back(std::move(t));
    return i + 1;
}

// "!" after a reference, an area or a name: that text names a sheet.
void TEncoder::MarkSheetName() {
    const TTokenType last = LastType();
    // "[1]!Name": a name of another workbook follows.
    if (last == ttPath || last == ttFile) return;
    if (last != ttRef && last != ttArea && last != ttName) Fail(15, u"!");
    // "Data:'My Sheet'!": a range of sheets with either name quoted; and
    // "S1:Data!" or "'My Sheet':S1!", where a name reads as a cell.
    const size_t n = tokens.size();
    if ((last == ttName || last == ttRef) && n >= 3 && tokens[n - 2].Type == ttRange &&
        (tokens[n - 3].Type == ttName || tokens[n - 3].Type == ttRef)) {
        const std::u16string_view range =
            Own(std::u16string(tokens[n - 3].Text) + u":" + std::u16string(tokens[n - 1].Text));
        tokens.resize(n - 2);
        tokens.back().Text = range;
    }
    const bool external = tokens.size() >= 2 && tokens[tokens.size() - 2].Type == ttFile;
    tokens.back().Type = external ? ttSheetNameX : ttSheetName;
}

void TEncoder::Tokenize() {
    size_t i = 0;
    while (i < work.size()) i = Step(i);
}

// One token of spreadsheet text from i on; returns where the next starts.
size_t TEncoder::Step(size_t i) {
    const char16_t c = U(i);
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
        // A run of white space is one token that counts its characters.
        size_t j = i + 1;
        while (j < work.size() &&
               (work[j] == u' ' || work[j] == u'\t' || work[j] == u'\r' || work[j] == u'\n'))
            ++j;
        Add(ttSpace);
        tokens.back().Array = int(std::min<size_t>(j - i, 0x7FFFFFFF));
        return j;
    }
    if (IsListSep(c)) {
        Add(ttListSep);
        return i + 1;
    }
    switch (c) {
    case u'!':
        MarkSheetName();
        return i + 1;
    case u'"':
        return ScanString(i);
    case u'#':
        return ScanError(i);
    case u'%':
        Add(ttPercent);
        return i + 1;
    case u'&':
        Add(ttConcat);
        return i + 1;
    case u'\'':
        if (LastType() == ttName) return i + 1; // the closing quote of a path's sheet
        return ScanQuoted(i);
    case u'(':
        if (LastType() == ttName)
            tokens.back().Type = ttFunc;
        else
            Add(ttParenL);
        return i + 1;
    case u')':
        Add(ttParenR);
        return i + 1;
    case u'*':
        Add(ttMul);
        return i + 1;
    case u'+':
        Add(ttAdd);
        return i + 1;
    case u'-':
        Add(ttSub);
        return i + 1;
    case u'/':
        Add(ttDiv);
        return i + 1;
    case u':':
        Add(ttRange);
        return i + 1;
    case u'<':
        if (i + 1 < work.size() && U(i + 1) == u'=') {
            Add(ttLE);
            return i + 2;
        }
        if (i + 1 < work.size() && U(i + 1) == u'>') {
            Add(ttNE);
            return i + 2;
        }
        Add(ttLT);
        return i + 1;
    case u'=':
        Add(ttEQ);
        return i + 1;
    case u'>':
        if (i + 1 < work.size() && U(i + 1) == u'=') {
            Add(ttGE);
            return i + 2;
        }
        Add(ttGT);
        return i + 1;
    case u'[': {
        // A structured reference: "Goods[Price]" (a name just before it),
        // "[[#This Row],[Price]]", "[@Price]", "[#Totals]" (the formula's table).
        const bool named = LastType() == ttName && tokens.back().Text.data() + tokens.back().Text.size() ==
                                                       std::u16string_view(work).data() + i;
        if (named ||
            (i + 1 < work.size() && (work[i + 1] == u'[' || work[i + 1] == u'#' || work[i + 1] == u'@')))
            return ScanTable(i, named);
        const size_t close = work.find(u']', i);
        // "[Price]", a column of the formula's table, is an operand; a
        // file's number or name comes before a sheet or a "!".
        if (close != work.npos && close > i + 1 && Follows(close + 1) &&
            (close + 1 == work.size() || (work[close + 1] != u'!' && work[close + 1] != u'\'')))
            return ScanTable(i, false);
        if (close == work.npos || close - i < 2) Fail(14, std::u16string_view(work).substr(i));
        Add(ttFile, std::u16string_view(work).substr(i + 1, close - i - 1));
        return close + 1;
    }
    case u'^':
        Add(ttPower);
        return i + 1;
    case u'{':
        return ScanArray(i);
    case u'}':
        Plain("Error in formula");
    default:
        break;
    }
    const bool refStart = c == u'$' || (c >= u'A' && c <= u'Z') || c == u'_';
    if (refStart || (c >= u'0' && c <= u'9')) {
        TXLSToken t;
        size_t end = 0;
        if (Reference(i, end, t)) {
            t.Text = std::u16string_view(work).substr(i, end - i);
            if (LastType() == ttSheetName)
                t.Type = t.Type == ttRef ? ttRef3d : ttArea3d;
            else if (LastType() == ttSheetNameX)
                t.Type = t.Type == ttRef ? ttRefX : ttAreaX;
            tokens.push_back(std::move(t));
            return end;
        }
        if (c == u'$') Fail(16, std::u16string_view(work).substr(i));
        return refStart ? ScanName(i) : ScanNumber(i);
    }
    if (c == opt.Syntax.DecimalSeparator) {
        if (i + 1 < work.size() && U(i + 1) >= u'0' && U(i + 1) <= u'9') return ScanNumber(i);
        Plain("Illegal use of decimal separator");
    }
    return ScanName(i);
}

// Cell addresses in brackets: "[.A1]", "[.A1:.B2]", "[$Sheet1.A1]".
void TEncoder::TokenizeOpenDocument() {
    size_t i = 0;
    while (i < work.size()) {
        const char16_t c = U(i);
        if (c == u']') Plain("Unexpected character \"]\" in OOC formula");
        if (c == u'[') {
            if (i + 2 >= work.size()) return;
            size_t j = i + 1;
            if (U(j) == u'$') {
                ++j;
                if (j < work.size() && U(j) == u'\'') {
                    j = ScanQuoted(j);
                } else {
                    const size_t from = j;
                    while (j < work.size() && U(j) != u'.' && U(j) != u']') ++j;
                    Add(ttName, std::u16string_view(work).substr(from, j - from));
                }
                tokens.back().Type = ttSheetName;
            }
            if (j < work.size() && U(j) == u'.') {
                TXLSToken t;
                size_t e1 = 0;
                if (!Cell(j + 1, e1, t.Col1, t.Row1, t.AbsCol1, t.AbsRow1))
                    Fail(16, std::u16string_view(work).substr(j));
                t.Type = ttRef;
                t.Col2 = t.Col1;
                t.Row2 = t.Row1;
                size_t e2 = 0;
                if (e1 + 1 < work.size() && U(e1) == u':' && U(e1 + 1) == u'.' &&
                    Cell(e1 + 2, e2, t.Col2, t.Row2, t.AbsCol2, t.AbsRow2)) {
                    t.Type = ttArea;
                    e1 = e2;
                }
                if (LastType() == ttSheetName) t.Type = t.Type == ttRef ? ttRef3d : ttArea3d;
                tokens.push_back(std::move(t));
                j = e1;
                if (j < work.size() && U(j) == u']') ++j;
                i = j;
                continue;
            }
            i = i + 1; // any other "[" is passed over
            continue;
        }
        if (c == u'$' || (c >= u'A' && c <= u'Z') || c == u'_') {
            if (c == u'$') Fail(16, std::u16string_view(work).substr(i));
            i = ScanName(i);
            continue;
        }
        i = Step(i);
    }
}

// ---------------------------------------------------------------------------
// Parser

// The index of the next token that is not a space (limit when none), and
// the spaces before it.
size_t TEncoder::NextIndex(size_t& count) const {
    size_t i = index;
    count = 0;
    while (i < limit && tokens[i].Type == ttSpace) {
        count += size_t(tokens[i].Array);
        ++i;
    }
    return i;
}

// Takes the token at at as an operator or operand, noting the spaces before it.
void TEncoder::Take(size_t at, size_t count) {
    spaces.push_back({int(std::min<size_t>(count, 255)), tokens[at].Type});
    index = at + 1;
}

void TEncoder::Enter() {
    if (++depth > MaxNesting) Fail(11);
}

// The binary operators by precedence, lowest first (0 comparisons and
// union, 1 "&", 2 "+" "-", 3 "*" "/", 4 "^"); each level is left-associative
// and writes its operator after both operands. -1 for other tokens.
int LevelOf(TTokenType type) {
    switch (type) {
    case ttEQ:
    case ttNE:
    case ttLT:
    case ttLE:
    case ttGT:
    case ttGE:
    case ttListSep:
        return 0;
    case ttConcat:
        return 1;
    case ttAdd:
    case ttSub:
        return 2;
    case ttMul:
    case ttDiv:
        return 3;
    case ttPower:
        return 4;
    default:
        return -1;
    }
}

uint8_t OperatorId(TTokenType type) {
    switch (type) {
    case ttEQ:
        return ptg::EQ;
    case ttNE:
        return ptg::NE;
    case ttLT:
        return ptg::LT;
    case ttLE:
        return ptg::LE;
    case ttGT:
        return ptg::GT;
    case ttGE:
        return ptg::GE;
    case ttListSep:
        return ptg::Union;
    case ttConcat:
        return ptg::Concat;
    case ttAdd:
        return ptg::Add;
    case ttSub:
        return ptg::Sub;
    case ttMul:
        return ptg::Mul;
    case ttDiv:
        return ptg::Div;
    default:
        return ptg::Power;
    }
}

void TEncoder::Expression() {
    Binary(0);
}

// Operands joined by operators of level minLevel and above.
void TEncoder::Binary(int minLevel) {
    Percent();
    for (;;) {
        size_t at, n;
        const TXLSToken* t = Peek(at, n);
        if (!t) return;
        const int level = LevelOf(t->Type);
        if (level < minLevel) return;
        const uint8_t op = OperatorId(t->Type);
        Take(at, n);
        Binary(level + 1);
        WriteId(op);
    }
}

void TEncoder::Percent() {
    Unary();
    for (;;) {
        size_t at, n;
        const TXLSToken* t = Peek(at, n);
        if (!t || t->Type != ttPercent) return;
        Take(at, n);
        WriteId(ptg::Percent);
    }
}

void TEncoder::Unary() {
    std::vector<uint8_t> signs;
    for (;;) {
        size_t at, n;
        const TXLSToken* t = Peek(at, n);
        if (!t || (t->Type != ttAdd && t->Type != ttSub)) break;
        signs.push_back(t->Type == ttAdd ? ptg::Uplus : ptg::Uminus);
        Take(at, n);
    }
    Intersection();
    for (auto s = signs.rbegin(); s != signs.rend(); ++s) WriteId(*s);
}

// Blanks between two references are the intersection operator.
void TEncoder::Intersection() {
    RangeExpression();
    for (;;) {
        size_t at, n;
        const TXLSToken* t = Peek(at, n);
        if (!t || n == 0) return;
        switch (t->Type) {
        case ttRef:
        case ttArea:
        case ttName:
        case ttSheetName:
        case ttFile:
        case ttPath:
        case ttFunc:
        case ttParenL:
            break;
        default:
            return;
        }
        index = at;
        RangeExpression();
        WriteId(ptg::Isect);
    }
}

void TEncoder::RangeExpression() {
    Primary();
    for (;;) {
        size_t at, n;
        const TXLSToken* t = Peek(at, n);
        if (!t || t->Type != ttRange) return;
        Take(at, n);
        Primary();
        WriteId(ptg::Range);
    }
}

void TEncoder::Primary() {
    size_t at, n;
    const TXLSToken* t = Peek(at, n);
    if (!t || t->Type != ttParenL) {
        Operand();
        return;
    }
    Take(at, n);
    Enter();
    const uint8_t saved = cls;
    Expression();
    cls = saved;
    --depth;
    t = Peek(at, n);
    if (!t || t->Type != ttParenR) Fail(11);
    index = at + 1;
    WriteId(ptg::Paren);
}

void TEncoder::Operand() {
    size_t at, n;
    const TXLSToken* t = Peek(at, n);
    if (!t) Fail(1);
    switch (t->Type) {
    case ttNumber: {
        Take(at, n);
        const double v = t->Number;
        if (v >= 0 && v <= 65535 && v == std::floor(v)) {
            WriteId(ptg::Int);
            WriteU16(uint16_t(v));
        } else {
            WriteId(ptg::Num);
            WriteBytes(&v, 8);
        }
        return;
    }
    case ttString: {
        if (t->Text.size() > 255) Fail(6);
        Take(at, n);
        WriteId(ptg::Str);
        uint8_t bytes[2 + 2 * 255];
        bytes[0] = uint8_t(t->Text.size());
        bytes[1] = 1;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(bytes + 2, t->Text.data(), 2 * t->Text.size());
        } else {
            for (size_t i = 0; i < t->Text.size(); ++i) {
                bytes[2 + 2 * i] = uint8_t(t->Text[i]);
                bytes[3 + 2 * i] = uint8_t(t->Text[i] >> 8);
            }
        }
        WriteBytes(bytes, 2 + 2 * t->Text.size());
        return;
    }
    case ttError:
        Take(at, n);
        // #REF! is a reference's error, as readers take it (an error value
        // in its place LibreOffice drops); the formula of a name of a range
        // that is the error alone keeps the error value older readers take.
        if (t->Code == 0x17 && (arguments > 0 || opt.Class != ptg::ClassRef)) {
            WriteId(WithClass(ptg::RefErr, ptg::ClassValue));
            const uint8_t zero[6] = {};
            WriteBytes(zero, mode == TEncodeMode::em2007 ? 6 : 4);
            return;
        }
        WriteId(ptg::Err);
        WriteBytes(&t->Code, 1);
        return;
    case ttVectL: {
        Take(at, n);
        WriteId(WithClass(ptg::Array, ptg::ClassArray));
        const uint8_t reserved[7] = {};
        WriteBytes(reserved, 7);
        arrayOrder.push_back(t->Array);
        return;
    }
    case ttFunc:
        Take(at, n);
        Function(*t);
        return;
    case ttSheetName:
    case ttFile:
    case ttPath:
        Reference3d();
        return;
    case ttRef:
    case ttArea:
        Take(at, n);
        ReferenceOperand(*t, t->Type == ttRef ? ptg::Ref : ptg::Area, -1);
        return;
    case ttTable: {
        Take(at, n);
        // The cells it names: absolute, but for a table's own row.
        int externIndex = -1;
        TTableArea a;
        std::string why;
        if (!opt.Names ||
            !opt.Names->TableReference(t->Text, t->Selector, opt.BaseRow, opt.BaseCol, externIndex, a, why))
            Plain("Error in formula " + WideToUtf8(formula.substr(0, 1024)) + "\r" + why);
        if (a.Col2 > maxCol || a.Row2 > maxRow)
            Plain("Error in formula " + WideToUtf8(formula.substr(0, 1024)) + "\r" +
                  "a table past the last column or row");
        TXLSToken r;
        r.Col1 = a.Col1;
        r.Row1 = a.Row1;
        r.Col2 = a.Col2;
        r.Row2 = a.Row2;
        r.AbsCol1 = r.AbsCol2 = true;
        r.AbsRow1 = r.AbsRow2 = !a.ThisRow;
        const bool cell = a.Col1 == a.Col2 && a.Row1 == a.Row2;
        ReferenceOperand(r,
                         externIndex >= 0 ? (cell ? ptg::Ref3d : ptg::Area3d) : (cell ? ptg::Ref : ptg::Area),
                         externIndex);
        return;
    }
    case ttName: {
        Take(at, n);
        const bool isTrue = SameUpper(t->Text, u"TRUE");
        if (isTrue || SameUpper(t->Text, u"FALSE")) {
            WriteId(ptg::Bool);
            const uint8_t v = isTrue;
            WriteBytes(&v, 1);
            return;
        }
        const int i = opt.Names ? opt.Names->DefinedNameIndex(t->Text, {}) : -1;
        if (i < 0) Fail(7, t->Text);
        WriteId(WithClass(ptg::Name, ptg::ClassValue));
        WriteU16(uint16_t(i + 1));
        WriteU16(0);
        return;
    }
    default:
        Fail(1, t->Text);
    }
}

// A reference, area or error written for the token, through an EXTERNSHEET
// entry when externIndex is not negative.
void TEncoder::ReferenceOperand(const TXLSToken& t, uint8_t base, int externIndex) {
    const bool area = base == ptg::Area || base == ptg::Area3d;
    // Areas of other sheets default to the reference class, the rest to values.
    WriteId(WithClass(base, base == ptg::Area3d ? ptg::ClassRef : ptg::ClassValue));
    if (externIndex >= 0) WriteU16(uint16_t(externIndex));
    if (area)
        WriteArea(t);
    else
        WriteCell(t.Col1, t.Row1, t.AbsCol1, t.AbsRow1);
}

void TEncoder::Reference3d() {
    // The qualifiers: [path] [file] sheet!, or path name.
    size_t at, n;
    Peek(at, n);
    std::u16string_view path, file;
    size_t i = at;
    if (tokens[i].Type == ttPath) path = tokens[i++].Text;
    if (i < limit && tokens[i].Type == ttFile) file = tokens[i++].Text;
    if (i >= limit) Fail(15, std::u16string(path) + std::u16string(file));
    const TXLSToken& q = tokens[i];
    if (q.Type == ttNameX || (q.Type == ttName && !file.empty())) {
        int externIndex = -1, number = -1;
        if (!opt.Names || !opt.Names->ExternName(path, file, q.Text, externIndex, number)) Fail(7, q.Text);
        spaces.push_back({int(std::min<size_t>(n, 255)), q.Type});
        index = i + 1;
        WriteId(WithClass(ptg::NameX, ptg::ClassValue));
        WriteU16(uint16_t(externIndex));
        WriteU16(uint16_t(number));
        WriteU16(0);
        return;
    }
    if (q.Type != ttSheetName && q.Type != ttSheetNameX) Fail(15, q.Text);
    if (i + 1 >= limit) Fail(15, q.Text);
    const TXLSToken& r = tokens[i + 1];
    int sheetIndex = -1;
    const int externIndex = opt.Names ? opt.Names->ExternSheetIndex(path, file, q.Text, sheetIndex) : -1;
    spaces.push_back({int(std::min<size_t>(n, 255)), q.Type});
    index = i + 2;
    if (r.Type == ttName && path.empty() && file.empty()) {
        // A name of that sheet.
        const int name = opt.Names ? opt.Names->DefinedNameIndex(r.Text, q.Text) : -1;
        if (name < 0) Fail(7, std::u16string(q.Text) + u"!" + std::u16string(r.Text));
        WriteId(WithClass(ptg::Name, ptg::ClassValue));
        WriteU16(uint16_t(name + 1));
        WriteU16(0);
        return;
    }
    if (externIndex < 0) Fail(15, q.Text);
    lastSheet = sheetIndex;
    switch (r.Type) {
    case ttRef3d:
    case ttRefX:
        ReferenceOperand(r, ptg::Ref3d, externIndex);
        return;
    case ttArea3d:
    case ttAreaX:
        ReferenceOperand(r, ptg::Area3d, externIndex);
        return;
    case ttError:
        if (r.Code == 0x17) {
            WriteId(WithClass(ptg::RefErr3d, ptg::ClassValue));
            WriteU16(uint16_t(externIndex));
            const uint8_t zero[6] = {};
            WriteBytes(zero, mode == TEncodeMode::em2007 ? 6 : 4);
            return;
        }
        break;
    default:
        break;
    }
    Fail(15, q.Text);
}

void TEncoder::Function(const TXLSToken& f) {
    Enter();
    // Function names are short: upper case without a heap string.
    char16_t buffer[64];
    int number = -1;
    if (f.Text.size() <= std::size(buffer)) {
        for (size_t k = 0; k < f.Text.size(); ++k) buffer[k] = UpperChar(f.Text[k]);
        number = FindExcelFunction(std::u16string_view(buffer, f.Text.size()));
    } else {
        number = FindExcelFunction(UpperCaseWide(f.Text));
    }
    const TExcelFunctions* fn = number >= 0 ? &ExcelFunction(number) : nullptr;
    if (fn && fn->Refused()) Fail(4, f.Text);
    int count = 0;
    if (!fn) {
        // A function of an add-in or a macro of the workbook, or one later
        // than the table: its name comes first, as an argument.
        int externIndex = -1, nameNumber = -1, name = -1;
        const bool addIn = opt.Names && opt.Names->ExternName({}, {}, f.Text, externIndex, nameNumber);
        if (!addIn) name = opt.Names ? opt.Names->DefinedNameIndex(f.Text, {}) : -1;
        if (!addIn && name < 0 &&
            !(opt.LaterFunctions && opt.Names &&
              opt.Names->FunctionName(f.Text, name, externIndex, nameNumber)))
            Fail(4, f.Text);
        if (name < 0) {
            WriteId(ptg::NameX);
            WriteU16(uint16_t(externIndex));
            WriteU16(uint16_t(nameNumber));
            WriteU16(0);
        } else {
            WriteId(ptg::Name);
            WriteU16(uint16_t(name + 1));
            WriteU16(0);
        }
        count = 1;
    }
    // The arguments: split at the separators outside parentheses.
    const size_t outerLimit = limit;
    int position = 0;
    for (;;) {
        size_t i = index;
        bool separator = false, closed = false;
        for (; i < outerLimit; ++i) {
            const TTokenType type = tokens[i].Type;
            if (type == ttParenL || type == ttFunc) {
                // Over the parentheses to their closing one.
                i = closing[i];
                if (i >= outerLimit) break;
            } else if (type == ttParenR) {
                closed = true;
                break;
            } else if (type == ttListSep) {
                separator = true;
                break;
            }
        }
        if (!separator && !closed) Fail(3);
        size_t first = index;
        while (first < i && tokens[first].Type == ttSpace) ++first;
        const bool empty = first == i;
        const uint8_t argumentClass = fn ? ArgumentClass(*fn, position) : 0;
        if (!empty) {
            cls = argumentClass;
            limit = i;
            ++arguments;
            Expression();
            --arguments;
            size_t at, n;
            if (Peek(at, n)) Fail(2, tokens[at].Text.empty() ? std::u16string_view(u"?") : tokens[at].Text);
            limit = outerLimit;
            ++count;
        } else if (separator || position > 0) {
            // An empty argument before a separator, or after the last one.
            WriteId(ptg::MissArg);
            ++count;
        }
        index = i + 1;
        ++position;
        if (closed) break;
    }
    cls = 0;
    --depth;
    // Calls of packages take up to 255 arguments, of binary files 127.
    const int mostArguments = mode == TEncodeMode::em2007 ? Max2007Arguments : MaxFileArguments;
    if (fn) {
        const int most = fn->MaxArgs == VariableArgs ? mostArguments : fn->MaxArgs;
        if (count < fn->MinArgs || count > most) Fail(17, fn->Name);
        if (fn->FixedArity()) {
            WriteId((ptg::Func & 0x1F) | ptg::ClassValue);
            WriteU16(uint16_t(number));
        } else {
            WriteId((ptg::FuncVar & 0x1F) | ptg::ClassValue);
            const uint8_t c = uint8_t(count);
            WriteBytes(&c, 1);
            WriteU16(uint16_t(number));
        }
        return;
    }
    if (count > mostArguments) Fail(17, f.Text);
    WriteId((ptg::FuncVar & 0x1F) | ptg::ClassValue);
    const uint8_t c = uint8_t(count);
    WriteBytes(&c, 1);
    WriteU16(fn::External);
}

// ---------------------------------------------------------------------------
// Writing

void TEncoder::Grow(size_t n) {
    if (written + n > opt.MaxSize) Plain("Formula buffer overflow.");
    out.resize(std::max(written + n, std::min(opt.MaxSize, 2 * out.size() + 64)));
}

void TEncoder::WriteId(uint8_t id) {
    if (!spaces.empty()) {
        const TSpace s = spaces.back();
        spaces.pop_back();
        if (s.Count > 0) {
            const uint8_t kind = s.Next == ttParenL ? 0x02 : s.Next == ttParenR ? 0x04 : 0x00;
            const uint8_t b[4] = {ptg::Attr, attr::Space, kind, uint8_t(s.Count)};
            WriteBytes(b, 4);
        }
    }
    WriteBytes(&id, 1);
}

void TEncoder::WriteCell(int col, int row, bool absCol, bool absRow) {
    if (mode == TEncodeMode::em2007) {
        WriteU32(uint32_t(row) | (absRow ? 0x80000000u : 0));
        WriteU16(uint16_t(col | (absCol ? 0x8000 : 0)));
        return;
    }
    WriteU16(uint16_t(row));
    WriteU16(uint16_t(col | (absRow ? 0 : 0x8000) | (absCol ? 0 : 0x4000)));
}

void TEncoder::WriteArea(const TXLSToken& t) {
    if (mode == TEncodeMode::em2007) {
        WriteU32(uint32_t(t.Row1) | (t.AbsRow1 ? 0x80000000u : 0));
        WriteU32(uint32_t(t.Row2) | (t.AbsRow2 ? 0x80000000u : 0));
        WriteU16(uint16_t(t.Col1 | (t.AbsCol1 ? 0x8000 : 0)));
        WriteU16(uint16_t(t.Col2 | (t.AbsCol2 ? 0x8000 : 0)));
        return;
    }
    WriteU16(uint16_t(t.Row1));
    WriteU16(uint16_t(t.Row2));
    WriteU16(uint16_t(t.Col1 | (t.AbsRow1 ? 0 : 0x8000) | (t.AbsCol1 ? 0 : 0x4000)));
    WriteU16(uint16_t(t.Col2 | (t.AbsRow2 ? 0 : 0x8000) | (t.AbsCol2 ? 0 : 0x4000)));
}

TEncodedFormula TEncoder::Run() {
    work = formula;
    UpperCopy(work, upper);
    tokens.reserve(work.size() / 2 + 8);
    if (out.size() > opt.MaxSize) out.resize(opt.MaxSize);
    tokenizing = true;
    if (mode == TEncodeMode::emOpenDocument)
        TokenizeOpenDocument();
    else
        Tokenize();
    tokenizing = false;
    closing.assign(tokens.size(), tokens.size());
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].Type == ttParenL || tokens[i].Type == ttFunc) {
            open.push_back(i);
        } else if (tokens[i].Type == ttParenR && !open.empty()) {
            closing[open.back()] = i;
            open.pop_back();
        }
    }
    if (mode == TEncodeMode::em2007) {
        const uint8_t marker = ptg::Layout2007;
        WriteBytes(&marker, 1);
    }
    cls = opt.Class;
    limit = tokens.size();
    Expression();
    size_t at, n;
    if (Peek(at, n)) {
        const TXLSToken& t = tokens[at];
        Fail(2, !t.Text.empty()      ? t.Text
                : t.Type == ttParenR ? std::u16string_view(u")")
                : t.Type == ttParenL ? std::u16string_view(u"(")
                                     : std::u16string_view(u"?"));
    }
    TEncodedFormula result;
    result.TokenLength = written;
    for (int a : arrayOrder) {
        std::vector<uint8_t> block;
        WriteArrayConstant(arrays[size_t(a)], block);
        WriteBytes(block.data(), block.size());
    }
    result.Data.assign(out.begin(), out.begin() + long(written));
    result.LastSheet = lastSheet;
    return result;
}

} // namespace

TEncodedFormula EncodeFormula(std::u16string_view text, const TEncodeOptions& options) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t' || text[b] == u'\r' || text[b] == u'\n')) ++b;
    while (e > b &&
           (text[e - 1] == u' ' || text[e - 1] == u'\t' || text[e - 1] == u'\r' || text[e - 1] == u'\n'))
        --e;
    const std::u16string_view trimmed = text.substr(b, e - b);
    if (trimmed.empty()) {
        const std::string message = "Error in formula \r" + std::string(ErrorTexts[18]);
        if (!options.OnError) throw XLSError(message);
        options.OnError(18, message);
        return {};
    }
    // The thread's lists, unless a name resolver encodes from inside an encoding.
    thread_local TScratch shared;
    TScratch fresh;
    TScratch& scratch = shared.Busy ? fresh : shared;
    scratch.Clear();
    scratch.Busy = true;
    struct TRelease {
        TScratch& s;
        ~TRelease() {
            s.Busy = false;
            s.Trim();
        }
    } release{scratch};
    TEncoder encoder(trimmed, options, scratch);
    try {
        return encoder.Run();
    } catch (const TAbandoned&) {
        return {};
    }
}

} // namespace xls
