// The built-in functions the library computes itself, with the results
// spreadsheet programs give (halves rounded away from zero, the divisor's
// sign for MOD, blanks and texts of ranges skipped by the aggregates).
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/formulas/FormulaValues.h"
#include "SrcXLS/formulas/FunctionTable.h"
#include "platform/RegionalSettings.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace xls {

namespace {

bool IsRange(const TEvalValue& v) {
    return v.Union || v.List || v.V.ValType == fvXRef || v.V.ValType == fvXArea || v.V.ValType == fvRef ||
           v.V.ValType == fvArea;
}

void SetNumber(TEvalValue& r, double x) {
    if (std::isfinite(x))
        SetFormulaValueFloat(r.V, x);
    else
        SetFormulaValueError(r.V, fe::Num);
}

// The numbers of the arguments as aggregates take them: from ranges and
// arrays the numbers only, typed arguments also booleans, number texts and
// an empty argument as 0 (other texts give #VALUE!). The first error met is
// returned.
template <class F> int Numbers(TFormulaEvaluator& ev, std::vector<TEvalValue>& args, size_t from, F&& take) {
    for (size_t i = from; i < args.size(); ++i) {
        const TEvalValue& a = args[i];
        if (IsRange(a)) {
            int error = 0;
            ev.ForEachValue(a, [&](const TFormulaValue& x) {
                if (x.ValType == fvFloat) take(x.Float);
                if (x.ValType == fvError) error = x.Error ? x.Error : fe::Value;
                return error == 0;
            });
            if (error) return error;
            continue;
        }
        double x;
        if (int e = ValueToNumber(a.V, x)) return e;
        take(x);
    }
    return 0;
}

// The truth values of the arguments for AND and OR: from ranges numbers
// and booleans (texts and blanks skipped). found tells whether any was.
template <class F> int Booleans(TFormulaEvaluator& ev, std::vector<TEvalValue>& args, bool& found, F&& take) {
    found = false;
    for (const TEvalValue& a : args) {
        if (IsRange(a)) {
            int error = 0;
            ev.ForEachValue(a, [&](const TFormulaValue& x) {
                if (x.ValType == fvFloat || x.ValType == fvBoolean) {
                    found = true;
                    take(x.ValType == fvFloat ? x.Float != 0 : x.Boolean);
                } else if (x.ValType == fvError) {
                    error = x.Error ? x.Error : fe::Value;
                }
                return error == 0;
            });
            if (error) return error;
            continue;
        }
        bool b;
        if (int e = ValueToBoolean(a.V, b)) return e;
        found = true;
        take(b);
    }
    return 0;
}

// A scalar argument as a number; the error index when it is none.
int ArgNumber(TFormulaEvaluator& ev, const TEvalValue& a, double& x) {
    return ValueToNumber(ev.Scalar(a), x);
}

// The corners of a reference argument; false for anything else.
bool AreaOf(const TEvalValue& a, TFormulaValue& area) {
    if (a.Union && a.List && !a.List->empty()) {
        area = a.List->front();
        return true;
    }
    if (a.Union || a.List) return false;
    const TFormulaValueType t = a.V.ValType;
    if (t != fvXRef && t != fvXArea && t != fvRef && t != fvArea) return false;
    area = a.V;
    if (area.Col1 > area.Col2) std::swap(area.Col1, area.Col2);
    if (area.Row1 > area.Row2) std::swap(area.Row1, area.Row2);
    return true;
}

// A one-dimensional run of values: a row or column of a sheet or an array.
struct TVector {
    TFormulaEvaluator* Ev = nullptr;
    TFormulaValue Area;
    const std::vector<TFormulaValue>* Array = nullptr;
    int ArrayCols = 1;
    bool Rows = true; // walks down a column (else along a row)
    int64_t Count = 0;
    int Fixed = 0; // the column (row) or array column (row) walked

    TFormulaValue At(int64_t i) const {
        TFormulaValue v;
        if (Array) {
            const int64_t index = Rows ? i * ArrayCols + Fixed : int64_t(Fixed) * ArrayCols + i;
            if (index >= 0 && size_t(index) < Array->size()) v = (*Array)[size_t(index)];
            return v;
        }
        const int sheet = Area.Sheet;
        if (Rows)
            Ev->CellValue(sheet, Fixed, int(Area.Row1 + i), v);
        else
            Ev->CellValue(sheet, int(Area.Col1 + i), Fixed, v);
        return v;
    }
};

// The vector of an argument: first (or last) column when taller than
// wide, else first (or last) row.
bool MakeVector(TFormulaEvaluator& ev, const TEvalValue& a, bool last, TVector& out) {
    out.Ev = &ev;
    int64_t rows, cols;
    if (a.List && !a.Union) {
        out.Array = a.List.get();
        out.ArrayCols = a.ListCols > 0 ? a.ListCols : 1;
        cols = out.ArrayCols;
        rows = int64_t(a.List->size()) / cols;
    } else {
        if (!AreaOf(a, out.Area)) return false;
        if (out.Area.ValType == fvRef || out.Area.ValType == fvArea)
            out.Area.Sheet = uint16_t(ev.BaseSheet());
        rows = int64_t(out.Area.Row2) - out.Area.Row1 + 1;
        cols = int64_t(out.Area.Col2) - out.Area.Col1 + 1;
    }
    out.Rows = rows >= cols;
    out.Count = out.Rows ? rows : cols;
    if (out.Array)
        out.Fixed = last ? int(out.Rows ? cols - 1 : rows - 1) : 0;
    else
        out.Fixed =
            out.Rows ? int(last ? out.Area.Col2 : out.Area.Col1) : int(last ? out.Area.Row2 : out.Area.Row1);
    return true;
}

// The values of the kind in a LOOKUP vector, kept for the pass unless a
// cell of it was not calculated yet.
std::shared_ptr<const TFormulaEvaluator::TLookupList> ListOf(TFormulaEvaluator& ev, const TVector& v,
                                                             TFormulaValueType kind) {
    std::array<int64_t, 6> key{};
    if (!v.Array) {
        key = {int64_t(v.Area.Sheet),
               v.Rows ? 1 : 0,
               v.Fixed,
               v.Rows ? int64_t(v.Area.Row1) : int64_t(v.Area.Col1),
               v.Count,
               int64_t(kind)};
        if (auto it = ev.LookupLists.find(key); it != ev.LookupLists.end()) return it->second;
    }
    auto list = std::make_shared<TFormulaEvaluator::TLookupList>();
    const size_t missing = ev.MissingCount();
    for (int64_t i = 0; i < v.Count; ++i) {
        TFormulaValue x = v.At(i);
        if (x.ValType != kind) continue;
        if (!list->Values.empty() && CompareScalars(list->Values.back(), x) > 0) list->Sorted = false;
        list->Positions.push_back(i);
        list->Values.push_back(std::move(x));
    }
    if (!v.Array && ev.MissingCount() == missing) ev.LookupLists[key] = list;
    return list;
}

// LOOKUP: walking the values of value's kind (others are passed over), the
// first one not less than value when it is equal, else the one before it;
// -1 when there is none. Ascending values are searched by halving.
int64_t FindSorted(TFormulaEvaluator& ev, const TVector& v, const TFormulaValue& value) {
    const auto list = ListOf(ev, v, value.ValType);
    const auto& xs = list->Values;
    size_t i = 0;
    if (list->Sorted)
        i = size_t(std::lower_bound(xs.begin(), xs.end(), value,
                                    [](const TFormulaValue& a, const TFormulaValue& b) {
                                        return CompareScalars(a, b) < 0;
                                    }) -
                   xs.begin());
    else
        while (i < xs.size() && CompareScalars(xs[i], value) < 0) ++i;
    if (i < xs.size() && CompareScalars(xs[i], value) == 0) return list->Positions[i];
    return i == 0 ? -1 : list->Positions[i - 1];
}

void Lookup(TFormulaEvaluator& ev, std::vector<TEvalValue>& args, TEvalValue& r) {
    SetFormulaValueError(r.V, fe::NA);
    TFormulaValue value = ev.Scalar(args[0]);
    if (value.ValType == fvError) {
        r.V = value;
        return;
    }
    if (value.ValType == fvNull) SetFormulaValueFloat(value, 0);
    TVector search, result;
    const bool twoArgs = args.size() == 2;
    if (!MakeVector(ev, args[1], false, search)) {
        SetFormulaValueError(r.V, fe::Value);
        return;
    }
    if (twoArgs)
        MakeVector(ev, args[1], true, result);
    else if (!MakeVector(ev, args[2], false, result)) {
        SetFormulaValueError(r.V, fe::Value);
        return;
    }
    const int64_t at = FindSorted(ev, search, value);
    if (at < 0) return;
    if (!twoArgs && result.Array && at >= result.Count) return;
    r.V = result.At(at);
    if (r.V.ValType == fvNull) SetFormulaValueFloat(r.V, 0);
}

void RowOrColumn(TFormulaEvaluator& ev, std::vector<TEvalValue>& args, bool row, TEvalValue& r) {
    if (args.empty()) {
        SetFormulaValueFloat(r.V, (row ? ev.BaseRow() : ev.BaseCol()) + 1.0);
        return;
    }
    TFormulaValue area;
    if (!AreaOf(args[0], area)) {
        SetFormulaValueError(r.V, fe::Value);
        return;
    }
    SetFormulaValueFloat(r.V, (row ? double(area.Row1) : double(area.Col1)) + 1);
}

// A number argument taken as a whole number, toward zero, within low..high
// (a larger one counts as high, a smaller as low); #NUM! for a NaN, which
// has none.
int WholeNumber(double x, double low, double high, double& out) {
    if (std::isnan(x)) return fe::Num;
    out = std::clamp(std::trunc(x), low, high);
    return 0;
}

// DOLLAR and FIXED: the number, the decimals (2 when not given, tens and
// hundreds when negative), and FIXED's no-separators flag.
void FormattedNumber(TFormulaEvaluator& ev, std::vector<TEvalValue>& args, bool money, TEvalValue& r) {
    double x, d = 2;
    int e = ArgNumber(ev, args[0], x);
    // An empty decimals argument leaves the 2.
    const bool noDecimals = args.size() < 2 || (!IsRange(args[1]) && args[1].V.ValType == fvNull);
    if (!e && !noDecimals) e = ArgNumber(ev, args[1], d);
    bool noGroups = false;
    if (!e && args.size() > 2) e = ValueToBoolean(ev.Scalar(args[2]), noGroups);
    if (!e) e = WholeNumber(d, -400, 400, d);
    if (!e && d > 127) e = fe::Value;
    // A value that is not a number (a file's NaN) cannot be written.
    if (!e && !std::isfinite(x)) e = fe::Num;
    if (e) {
        SetFormulaValueError(r.V, e);
        return;
    }
    const int decimals = int(d);
    const platform::RegionalSettings& rs = platform::Regional();
    SetFormulaValueString(r.V, money ? MoneyText(x, decimals, rs) : FixedText(x, decimals, noGroups, rs));
}

// ROUND: the digits are a whole number, a NaN has none.
void RoundTo(double x, double d, TEvalValue& r) {
    if (int e = WholeNumber(d, -400, 400, d))
        SetFormulaValueError(r.V, e);
    else
        SetNumber(r, RoundHalfAway(x, int(d)));
}

using TArgs = std::vector<TEvalValue>;

void Error(TEvalValue& r, int e) {
    SetFormulaValueError(r.V, e);
}

// A function of one number argument: f(x) or the argument's error.
template <class F> void OfNumber(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r, F&& f) {
    double x;
    if (int e = ArgNumber(ev, args[0], x))
        Error(r, e);
    else
        f(x);
}

// A function of two number arguments: f(x, y) or the first error.
template <class F> void OfNumbers(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r, F&& f) {
    double x, y;
    int e = ArgNumber(ev, args[0], x);
    if (!e) e = ArgNumber(ev, args[1], y);
    if (e)
        Error(r, e);
    else
        f(x, y);
}

// COUNT: numbers of ranges; typed numbers, booleans and number texts.
void Count(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    double n = 0;
    for (const TEvalValue& a : args) {
        if (IsRange(a)) {
            ev.ForEachValue(a, [&](const TFormulaValue& x) {
                if (x.ValType == fvFloat) ++n;
                return true;
            });
        } else {
            double x;
            if (a.V.ValType != fvError && ValueToNumber(a.V, x) == 0) ++n;
        }
    }
    SetFormulaValueFloat(r.V, n);
}

void If(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    bool b;
    if (int e = ValueToBoolean(ev.Scalar(args[0]), b)) {
        Error(r, e);
        return;
    }
    if (b || args.size() == 3) {
        r = std::move(args[b ? 1 : 2]);
        if (!IsRange(r) && r.V.ValType == fvNull) SetFormulaValueFloat(r.V, 0);
    } else {
        SetFormulaValueBoolean(r.V, false);
    }
}

void IsNA(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    const TFormulaValue x = ev.Scalar(args[0]);
    SetFormulaValueBoolean(r.V, x.ValType == fvError && x.Error == fe::NA);
}

void IsError(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    SetFormulaValueBoolean(r.V, ev.Scalar(args[0]).ValType == fvError);
}

void IsNumber(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    SetFormulaValueBoolean(r.V, ev.Scalar(args[0]).ValType == fvFloat);
}

void Sum(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    double sum = 0;
    if (int e = Numbers(ev, args, 0, [&](double x) { sum = CancellingAdd(sum, x); }))
        Error(r, e);
    else
        SetNumber(r, sum);
}

void Average(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    double sum = 0, n = 0;
    if (int e = Numbers(ev, args, 0, [&](double x) { sum = CancellingAdd(sum, x), ++n; }))
        Error(r, e);
    else if (n == 0)
        Error(r, fe::Div0);
    else
        SetNumber(r, sum / n);
}

void Extreme(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r, bool max) {
    double best = 0;
    bool any = false;
    if (int e = Numbers(ev, args, 0, [&](double x) {
            if (!any || (max ? x > best : x < best)) best = x;
            any = true;
        }))
        Error(r, e);
    else
        SetFormulaValueFloat(r.V, best);
}

void Min(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    Extreme(ev, args, r, false);
}

void Max(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    Extreme(ev, args, r, true);
}

void Row(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    RowOrColumn(ev, args, true, r);
}

void Column(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    RowOrColumn(ev, args, false, r);
}

void NA(TFormulaEvaluator&, TArgs&, TEvalValue& r) {
    Error(r, fe::NA);
}

void Npv(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    double rate;
    if (int e = ArgNumber(ev, args[0], rate)) {
        Error(r, e);
        return;
    }
    if (rate == -1) {
        Error(r, fe::Div0);
        return;
    }
    double sum = 0, factor = 1;
    if (int e = Numbers(ev, args, 1, [&](double x) {
            factor *= 1 + rate;
            sum += x / factor;
        }))
        Error(r, e);
    else
        SetNumber(r, sum);
}

// STDEV: of a sample.
void StDev(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    std::vector<double> xs;
    if (int e = Numbers(ev, args, 0, [&](double x) { xs.push_back(x); })) {
        Error(r, e);
        return;
    }
    if (xs.size() < 2) {
        Error(r, fe::Div0);
        return;
    }
    double mean = 0;
    for (double x : xs) mean += x;
    mean /= double(xs.size());
    double squares = 0;
    for (double x : xs) squares += (x - mean) * (x - mean);
    SetNumber(r, std::sqrt(squares / double(xs.size() - 1)));
}

void Dollar(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    FormattedNumber(ev, args, true, r);
}

void Fixed(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    FormattedNumber(ev, args, false, r);
}

void Sin(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::sin(x)); });
}

void Cos(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::cos(x)); });
}

void Tan(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::tan(x)); });
}

void Atan(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::atan(x)); });
}

void Pi(TFormulaEvaluator&, TArgs&, TEvalValue& r) {
    SetFormulaValueFloat(r.V, 3.141592653589793);
}

void Exp(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::exp(x)); });
}

// LN and LOG10: of positive numbers only.
void Logarithm(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r, double (*log)(double)) {
    OfNumber(ev, args, r, [&](double x) {
        if (x <= 0)
            Error(r, fe::Num);
        else
            SetNumber(r, log(x));
    });
}

void Ln(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    Logarithm(ev, args, r, [](double x) { return std::log(x); });
}

void Log10(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    Logarithm(ev, args, r, [](double x) { return std::log10(x); });
}

void Abs(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::fabs(x)); });
}

// INT: toward minus infinity.
void Int(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetNumber(r, std::floor(x)); });
}

void Sign(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumber(ev, args, r, [&](double x) { SetFormulaValueFloat(r.V, x > 0 ? 1 : x < 0 ? -1 : 0); });
}

void Round(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumbers(ev, args, r, [&](double x, double d) { RoundTo(x, d, r); });
}

void True(TFormulaEvaluator&, TArgs&, TEvalValue& r) {
    SetFormulaValueBoolean(r.V, true);
}

void False(TFormulaEvaluator&, TArgs&, TEvalValue& r) {
    SetFormulaValueBoolean(r.V, false);
}

void AndOr(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r, bool isAnd) {
    bool acc = isAnd, found;
    if (int e = Booleans(ev, args, found, [&](bool b) { acc = isAnd ? acc && b : acc || b; }))
        Error(r, e);
    else if (!found)
        Error(r, fe::Value);
    else
        SetFormulaValueBoolean(r.V, acc);
}

void And(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    AndOr(ev, args, r, true);
}

void Or(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    AndOr(ev, args, r, false);
}

void Not(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    bool b;
    if (int e = ValueToBoolean(ev.Scalar(args[0]), b))
        Error(r, e);
    else
        SetFormulaValueBoolean(r.V, !b);
}

// MOD: the result takes the divisor's sign. A quotient within 15
// significant digits of a whole number is that number, and a remainder
// that cancels the number to within them is 0 (MOD(3,0.1+0.2) is 0).
void Mod(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    OfNumbers(ev, args, r, [&](double n, double d) {
        if (d == 0) {
            Error(r, fe::Div0);
            return;
        }
        const double quotient = n / d, whole = std::round(quotient);
        double rest =
            CancellingSubtract(n, d * (NearlyEqual(quotient, whole) ? whole : std::floor(quotient)));
        // A remainder of the other sign was a quotient rounded up: the floor's.
        if (rest != 0 && (rest < 0) != (d < 0)) rest = n - d * std::floor(quotient);
        SetNumber(r, rest);
    });
}

void Concatenate(TFormulaEvaluator& ev, TArgs& args, TEvalValue& r) {
    std::u16string text;
    for (const TEvalValue& a : args) {
        const TFormulaValue x = ev.Scalar(a);
        if (x.ValType == fvError) {
            r.V = x;
            return;
        }
        text += ValueText(x);
    }
    SetFormulaValueString(r.V, text);
}

using TFunctionRule = void (*)(TFormulaEvaluator&, TArgs&, TEvalValue&);

// The computed functions by number; the others are handed over.
constexpr auto Rules = [] {
    std::array<TFunctionRule, ExcelFunctionCount> rules{};
    rules[fn::Count] = Count;
    rules[fn::If] = If;
    rules[fn::IsNA] = IsNA;
    rules[fn::IsError] = IsError;
    rules[fn::Sum] = Sum;
    rules[fn::Average] = Average;
    rules[fn::Min] = Min;
    rules[fn::Max] = Max;
    rules[fn::Row] = Row;
    rules[fn::Column] = Column;
    rules[fn::NA] = NA;
    rules[fn::Npv] = Npv;
    rules[fn::StDev] = StDev;
    rules[fn::Dollar] = Dollar;
    rules[fn::Fixed] = Fixed;
    rules[fn::Sin] = Sin;
    rules[fn::Cos] = Cos;
    rules[fn::Tan] = Tan;
    rules[fn::Atan] = Atan;
    rules[fn::Pi] = Pi;
    rules[fn::Exp] = Exp;
    rules[fn::Ln] = Ln;
    rules[fn::Log10] = Log10;
    rules[fn::Abs] = Abs;
    rules[fn::Int] = Int;
    rules[fn::Sign] = Sign;
    rules[fn::Round] = Round;
    rules[fn::Lookup] = Lookup;
    rules[fn::True] = True;
    rules[fn::False] = False;
    rules[fn::And] = And;
    rules[fn::Or] = Or;
    rules[fn::Not] = Not;
    rules[fn::Mod] = Mod;
    rules[fn::IsNumber] = IsNumber;
    rules[fn::Concatenate] = Concatenate;
    return rules;
}();

// The functions of single values: in array formulas they take each
// element of an array passed where they take a value.
constexpr auto PerElement = [] {
    std::array<bool, ExcelFunctionCount> each{};
    for (int number : {fn::If,  fn::IsNA, fn::IsError, fn::IsNumber, fn::Dollar, fn::Fixed, fn::Sin,
                       fn::Cos, fn::Tan,  fn::Atan,    fn::Exp,      fn::Ln,     fn::Log10, fn::Abs,
                       fn::Int, fn::Sign, fn::Round,   fn::Lookup,   fn::Not,    fn::Mod,   fn::Concatenate})
        each[size_t(number)] = true;
    return each;
}();

} // namespace

bool ComputesPerElement(int index) {
    return index >= 0 && index < ExcelFunctionCount && PerElement[size_t(index)];
}

bool ComputeFunction(TFormulaEvaluator& ev, int index, std::vector<TEvalValue>& args, TEvalValue& r) {
    if (index < 0 || index >= ExcelFunctionCount || !Rules[size_t(index)]) return false;
    Rules[size_t(index)](ev, args, r);
    return true;
}

} // namespace xls
