#include "SrcXLS/formulas/FunctionTable.h"

#include <array>
#include <string>

namespace xls {

namespace {

constexpr uint8_t R = 0x20, V = 0x40, A = 0x60;

// By function number. SUMIF, RANK, ADDRESS, CELL and ROMAN take the lower
// argument counts and INDEX the fourth argument that files hold, so that
// checking the count never refuses a formula other programs wrote; MID has
// its three arguments, as the files' fixed-count tokens give it, and
// DATEDIF and the byte-counting text functions (LENB...), which files hold,
// have the argument counts the files' tokens give them.
constexpr TExcelFunctions Table[ExcelFunctionCount] = {
    {1, 99, u"COUNT", {R, 0, 0, 0, 0, 0}},
    {2, 3, u"IF", {V, V, V, 0, 0, 0}},
    {1, 1, u"ISNA", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ISERROR", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"SUM", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"AVERAGE", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"MIN", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"MAX", {R, 0, 0, 0, 0, 0}},
    {0, 1, u"ROW", {R, 0, 0, 0, 0, 0}},
    {0, 1, u"COLUMN", {R, 0, 0, 0, 0, 0}},
    {0, 0, u"NA", {0, 0, 0, 0, 0, 0}},
    {2, 99, u"NPV", {V, R, 0, 0, 0, 0}},
    {1, 99, u"STDEV", {V, 0, 0, 0, 0, 0}},
    {1, 2, u"DOLLAR", {V, V, 0, 0, 0, 0}},
    {1, 3, u"FIXED", {V, V, V, 0, 0, 0}},
    {1, 1, u"SIN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"COS", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"TAN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ATAN", {V, 0, 0, 0, 0, 0}},
    {0, 0, u"PI", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"SQRT", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"EXP", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"LN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"LOG10", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ABS", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"INT", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"SIGN", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"ROUND", {V, V, 0, 0, 0, 0}},
    {2, 3, u"LOOKUP", {V, R, R, 0, 0, 0}},
    {1, 4, u"INDEX", {R, V, V, V, 0, 0}},
    {2, 2, u"REPT", {V, V, 0, 0, 0, 0}},
    {3, 3, u"MID", {V, V, V, 0, 0, 0}},
    {1, 1, u"LEN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"VALUE", {V, 0, 0, 0, 0, 0}},
    {0, 0, u"TRUE", {0, 0, 0, 0, 0, 0}},
    {0, 0, u"FALSE", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"AND", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"OR", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"NOT", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"MOD", {V, V, 0, 0, 0, 0}},
    {3, 3, u"DCOUNT", {R, R, R, 0, 0, 0}},
    {3, 3, u"DSUM", {R, R, R, 0, 0, 0}},
    {3, 3, u"DAVERAGE", {R, R, R, 0, 0, 0}},
    {3, 3, u"DMIN", {R, R, R, 0, 0, 0}},
    {3, 3, u"DMAX", {R, R, R, 0, 0, 0}},
    {3, 3, u"DSTDEV", {R, R, R, 0, 0, 0}},
    {1, 99, u"VAR", {R, 0, 0, 0, 0, 0}},
    {3, 3, u"DVAR", {R, R, R, 0, 0, 0}},
    {2, 2, u"TEXT", {V, V, 0, 0, 0, 0}},
    {1, 4, u"LINEST", {R, R, V, V, 0, 0}},
    {1, 4, u"TREND", {R, R, R, V, 0, 0}},
    {1, 4, u"LOGEST", {R, R, V, V, 0, 0}},
    {1, 4, u"GROWTH", {R, R, R, V, 0, 0}},
    {255, 255, u"GOTO", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"HALT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RETURN", {0, 0, 0, 0, 0, 0}},
    {2, 5, u"PV", {V, V, V, V, V, 0}},
    {2, 5, u"FV", {V, V, V, V, V, 0}},
    {2, 5, u"NPER", {V, V, V, V, V, 0}},
    {3, 5, u"PMT", {V, V, V, V, V, 0}},
    {3, 5, u"RATE", {V, V, V, V, V, V}},
    {3, 3, u"MIRR", {R, V, V, 0, 0, 0}},
    {1, 2, u"IRR", {R, V, 0, 0, 0, 0}},
    {0, 0, u"RAND", {0, 0, 0, 0, 0, 0}},
    {2, 99, u"MATCH", {V, R, 0, 0, 0, 0}},
    {3, 3, u"DATE", {V, V, V, 0, 0, 0}},
    {3, 3, u"TIME", {V, V, V, 0, 0, 0}},
    {1, 1, u"DAY", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"MONTH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"YEAR", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"WEEKDAY", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"HOUR", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"MINUTE", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"SECOND", {V, 0, 0, 0, 0, 0}},
    {0, 0, u"NOW", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"AREAS", {R, 0, 0, 0, 0, 0}},
    {1, 1, u"ROWS", {R, 0, 0, 0, 0, 0}},
    {1, 1, u"COLUMNS", {R, 0, 0, 0, 0, 0}},
    {2, 99, u"OFFSET", {R, V, 0, 0, 0, 0}},
    {255, 255, u"ABSREF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RELREF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ARGUMENT", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"SEARCH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"TRANSPOSE", {A, 0, 0, 0, 0, 0}},
    {255, 255, u"ERROR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"STEP", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"TYPE", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"ECHO", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SET.NAME", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"CALLER", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DEREF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"WINDOWS", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SERIES", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DOCUMENTS", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ACTIVE.CELL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SELECTION", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RESULT", {0, 0, 0, 0, 0, 0}},
    {2, 2, u"ATAN2", {V, V, 0, 0, 0, 0}},
    {1, 1, u"ASIN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ACOS", {V, 0, 0, 0, 0, 0}},
    {2, 99, u"CHOOSE", {V, R, 0, 0, 0, 0}},
    {3, 99, u"HLOOKUP", {V, R, R, V, 0, 0}},
    {3, 99, u"VLOOKUP", {V, R, R, V, 0, 0}},
    {255, 255, u"LINKS", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"INPUT", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ISREF", {R, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.FORMULA", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.NAME", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SET.VALUE", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"LOG", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"EXEC", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"CHAR", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"LOWER", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"UPPER", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"PROPER", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"LEFT", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"RIGHT", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"EXACT", {V, V, 0, 0, 0, 0}},
    {1, 1, u"TRIM", {V, 0, 0, 0, 0, 0}},
    {4, 4, u"REPLACE", {V, V, V, V, 0, 0}},
    {1, 99, u"SUBSTITUTE", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"CODE", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"NAMES", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DIRECTORY", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"FIND", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"CELL", {V, R, 0, 0, 0, 0}},
    {1, 1, u"ISERR", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ISTEXT", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ISNUMBER", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ISBLANK", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"T", {R, 0, 0, 0, 0, 0}},
    {1, 1, u"N", {R, 0, 0, 0, 0, 0}},
    {255, 255, u"FOPEN", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FCLOSE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FSIZE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FREADLN", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FREAD", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FWRITELN", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FWRITE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FPOS", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"DATEVALUE", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"TIMEVALUE", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"SLN", {V, V, V, 0, 0, 0}},
    {4, 4, u"SYD", {V, V, V, V, 0, 0}},
    {1, 99, u"DDB", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.DEF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"REFTEXT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"TEXTREF", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"INDIRECT", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"REGISTER", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"CALL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ADD.BAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ADD.MENU", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ADD.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ENABLE.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"CHECK.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RENAME.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SHOW.BAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DELETE.MENU", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DELETE.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.CHART.ITEM", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DIALOG.BOX", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"CLEAN", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"MDETERM", {A, 0, 0, 0, 0, 0}},
    {1, 1, u"MINVERSE", {A, 0, 0, 0, 0, 0}},
    {2, 2, u"MMULT", {A, A, 0, 0, 0, 0}},
    {255, 255, u"FILES", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"IPMT", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"PPMT", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"COUNTA", {R, 0, 0, 0, 0, 0}},
    {255, 255, u"CANCEL.KEY", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FOR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"WHILE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"BREAK", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"NEXT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"INITIATE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"REQUEST", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"POKE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"EXECUTE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"TERMINATE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RESTART", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"HELP", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.BAR", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"PRODUCT", {R, 0, 0, 0, 0, 0}},
    {1, 1, u"FACT", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.CELL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.WORKSPACE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.WINDOW", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.DOCUMENT", {0, 0, 0, 0, 0, 0}},
    {3, 3, u"DPRODUCT", {R, R, R, 0, 0, 0}},
    {1, 1, u"ISNONTEXT", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.NOTE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"NOTE", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"STDEVP", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"VARP", {R, 0, 0, 0, 0, 0}},
    {3, 3, u"DSTDEVP", {R, R, R, 0, 0, 0}},
    {3, 3, u"DVARP", {R, R, R, 0, 0, 0}},
    {1, 99, u"TRUNC", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ISLOGICAL", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"DCOUNTA", {R, R, R, 0, 0, 0}},
    {255, 255, u"DELETE.BAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"UNREGISTER", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"202", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"203", {0, 0, 0, 0, 0, 0}},
    {1, 2, u"USDOLLAR", {0, 0, 0, 0, 0, 0}},
    {2, 3, u"FINDB", {V, 0, 0, 0, 0, 0}},
    {2, 3, u"SEARCHB", {V, 0, 0, 0, 0, 0}},
    {4, 4, u"REPLACEB", {V, V, V, V, 0, 0}},
    {1, 2, u"LEFTB", {V, 0, 0, 0, 0, 0}},
    {1, 2, u"RIGHTB", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"MIDB", {V, V, V, 0, 0, 0}},
    {1, 1, u"LENB", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"ROUNDUP", {V, V, 0, 0, 0, 0}},
    {2, 2, u"ROUNDDOWN", {V, V, 0, 0, 0, 0}},
    {1, 1, u"ASC", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"DBCS", {0, 0, 0, 0, 0, 0}},
    {2, 99, u"RANK", {V, R, V, 0, 0, 0}},
    {255, 255, u"217", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"218", {0, 0, 0, 0, 0, 0}},
    {2, 99, u"ADDRESS", {V, V, V, V, V, 0}},
    {1, 99, u"DAYS360", {V, 0, 0, 0, 0, 0}},
    {0, 0, u"TODAY", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"VDB", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"ELSE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ELSE.IF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"END.IF", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FOR.CELL", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"MEDIAN", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"SUMPRODUCT", {A, 0, 0, 0, 0, 0}},
    {1, 1, u"SINH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"COSH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"TANH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ASINH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ACOSH", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"ATANH", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"DGET", {R, R, R, 0, 0, 0}},
    {255, 255, u"CREATE.OBJECT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"VOLATILE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"LAST.ERROR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"CUSTOM.UNDO", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"CUSTOM.REPEAT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"FORMULA.CONVERT", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.LINK.INFO", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"TEXT.BOX", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"INFO", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"GROUP", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.OBJECT", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"DB", {V, 0, 0, 0, 0, 0}},
    {255, 255, u"PAUSE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"249", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"250", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RESUME", {0, 0, 0, 0, 0, 0}},
    {2, 2, u"FREQUENCY", {R, R, 0, 0, 0, 0}},
    {255, 255, u"ADD.TOOLBAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"DELETE.TOOLBAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"255", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"RESET.TOOLBAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"EVALUATE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.TOOLBAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.TOOL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SPELLING.CHECK", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ERROR.TYPE", {R, 0, 0, 0, 0, 0}},
    {255, 255, u"APP.TITLE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"WINDOW.TITLE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SAVE.TOOLBAR", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"ENABLE.TOOL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"PRESS.TOOL", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"REGISTER.ID", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.WORKBOOK", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"AVEDEV", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"BETADIST", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"GAMMALN", {V, 0, 0, 0, 0, 0}},
    {1, 99, u"BETAINV", {V, 0, 0, 0, 0, 0}},
    {4, 4, u"BINOMDIST", {V, V, V, V, 0, 0}},
    {2, 2, u"CHIDIST", {V, V, 0, 0, 0, 0}},
    {2, 2, u"CHIINV", {V, V, 0, 0, 0, 0}},
    {2, 2, u"COMBIN", {V, V, 0, 0, 0, 0}},
    {3, 3, u"CONFIDENCE", {V, V, V, 0, 0, 0}},
    {3, 3, u"CRITBINOM", {V, V, V, 0, 0, 0}},
    {1, 1, u"EVEN", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"EXPONDIST", {V, V, V, 0, 0, 0}},
    {3, 3, u"FDIST", {V, V, V, 0, 0, 0}},
    {3, 3, u"FINV", {V, V, V, 0, 0, 0}},
    {1, 1, u"FISHER", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"FISHERINV", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"FLOOR", {V, V, 0, 0, 0, 0}},
    {4, 4, u"GAMMADIST", {V, V, V, V, 0, 0}},
    {3, 3, u"GAMMAINV", {V, V, V, 0, 0, 0}},
    {2, 2, u"CEILING", {V, V, 0, 0, 0, 0}},
    {4, 4, u"HYPGEOMDIST", {V, V, V, V, 0, 0}},
    {3, 3, u"LOGNORMDIST", {V, V, V, 0, 0, 0}},
    {3, 3, u"LOGINV", {V, V, V, 0, 0, 0}},
    {3, 3, u"NEGBINOMDIST", {V, V, V, 0, 0, 0}},
    {4, 4, u"NORMDIST", {V, V, V, V, 0, 0}},
    {1, 1, u"NORMSDIST", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"NORMINV", {V, V, V, 0, 0, 0}},
    {1, 1, u"NORMSINV", {V, 0, 0, 0, 0, 0}},
    {3, 3, u"STANDARDIZE", {V, V, V, 0, 0, 0}},
    {1, 1, u"ODD", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"PERMUT", {V, V, 0, 0, 0, 0}},
    {3, 3, u"POISSON", {V, V, V, 0, 0, 0}},
    {3, 3, u"TDIST", {V, V, V, 0, 0, 0}},
    {4, 4, u"WEIBULL", {V, V, V, V, 0, 0}},
    {2, 2, u"SUMXMY2", {A, A, 0, 0, 0, 0}},
    {2, 2, u"SUMX2MY2", {A, A, 0, 0, 0, 0}},
    {2, 2, u"SUMX2PY2", {A, A, 0, 0, 0, 0}},
    {2, 2, u"CHITEST", {A, A, 0, 0, 0, 0}},
    {2, 2, u"CORREL", {A, A, 0, 0, 0, 0}},
    {2, 2, u"COVAR", {A, A, 0, 0, 0, 0}},
    {3, 3, u"FORECAST", {V, A, A, 0, 0, 0}},
    {2, 2, u"FTEST", {A, A, 0, 0, 0, 0}},
    {2, 2, u"INTERCEPT", {A, A, 0, 0, 0, 0}},
    {2, 2, u"PEARSON", {A, A, 0, 0, 0, 0}},
    {2, 2, u"RSQ", {A, A, 0, 0, 0, 0}},
    {2, 2, u"STEYX", {A, A, 0, 0, 0, 0}},
    {2, 2, u"SLOPE", {A, A, 0, 0, 0, 0}},
    {4, 4, u"TTEST", {A, A, V, V, 0, 0}},
    {3, 99, u"PROB", {A, A, V, 0, 0, 0}},
    {1, 99, u"DEVSQ", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"GEOMEAN", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"HARMEAN", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"SUMSQ", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"KURT", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"SKEW", {R, 0, 0, 0, 0, 0}},
    {2, 99, u"ZTEST", {R, V, 0, 0, 0, 0}},
    {2, 2, u"LARGE", {R, V, 0, 0, 0, 0}},
    {2, 2, u"SMALL", {R, V, 0, 0, 0, 0}},
    {2, 2, u"QUARTILE", {R, V, 0, 0, 0, 0}},
    {2, 2, u"PERCENTILE", {R, V, 0, 0, 0, 0}},
    {2, 99, u"PERCENTRANK", {R, V, 0, 0, 0, 0}},
    {1, 99, u"MODE", {A, 0, 0, 0, 0, 0}},
    {2, 2, u"TRIMMEAN", {R, V, 0, 0, 0, 0}},
    {2, 2, u"TINV", {V, V, 0, 0, 0, 0}},
    {255, 255, u"333", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"MOVIE.COMMAND", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.MOVIE", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"CONCATENATE", {V, 0, 0, 0, 0, 0}},
    {2, 2, u"POWER", {V, V, 0, 0, 0, 0}},
    {255, 255, u"PIVOT.ADD.DATA", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.PIVOT.TABLE", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.PIVOT.FIELD", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GET.PIVOT.ITEM", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"RADIANS", {V, 0, 0, 0, 0, 0}},
    {1, 1, u"DEGREES", {V, 0, 0, 0, 0, 0}},
    {2, 99, u"SUBTOTAL", {V, R, 0, 0, 0, 0}},
    {2, 99, u"SUMIF", {R, V, R, 0, 0, 0}},
    {2, 2, u"COUNTIF", {R, V, 0, 0, 0, 0}},
    {1, 1, u"COUNTBLANK", {R, 0, 0, 0, 0, 0}},
    {255, 255, u"SCENARIO.GET", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"OPTIONS.LISTS.GET", {0, 0, 0, 0, 0, 0}},
    {4, 4, u"ISPMT", {V, V, V, V, 0, 0}},
    {3, 3, u"DATEDIF", {V, V, V, 0, 0, 0}},
    {255, 255, u"DATESTRING", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"NUMBERSTRING", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"ROMAN", {V, V, 0, 0, 0, 0}},
    {255, 255, u"OPEN.DIALOG", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"SAVE.DIALOG", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"VIEW.GET", {0, 0, 0, 0, 0, 0}},
    {255, 255, u"GETPIVOTDATA", {0, 0, 0, 0, 0, 0}},
    {1, 2, u"HYPERLINK", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"PHONETIC", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"AVERAGEA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"MAXA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"MINA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"STDEVPA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"VARPA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"STDEVA", {R, 0, 0, 0, 0, 0}},
    {1, 99, u"VARA", {R, 0, 0, 0, 0, 0}},
    {1, 1, u"BAHTTEXT", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAIDAYOFWEEK", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAIDIGIT", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAIMONTHOFYEAR", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAINUMSOUND", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAINUMSTRING", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAISTRINGLENGTH", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ISTHAIDIGIT", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ROUNDBAHTDOWN", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ROUNDBAHTUP", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"THAIYEAR", {0, 0, 0, 0, 0, 0}},
    {1, 99, u"RTD", {0, 0, 0, 0, 0, 0}},
    {1, 1, u"ISHYPERLINK", {0, 0, 0, 0, 0, 0}},
};

// The named numbers stand where their names do.
constexpr bool Named(int number, std::u16string_view name) {
    return std::u16string_view(Table[number].Name) == name;
}
static_assert(Named(fn::Count, u"COUNT") && Named(fn::If, u"IF") && Named(fn::IsNA, u"ISNA") &&
              Named(fn::IsError, u"ISERROR") && Named(fn::Sum, u"SUM") && Named(fn::Average, u"AVERAGE") &&
              Named(fn::Min, u"MIN") && Named(fn::Max, u"MAX") && Named(fn::Row, u"ROW") &&
              Named(fn::Column, u"COLUMN") && Named(fn::NA, u"NA") && Named(fn::Npv, u"NPV") &&
              Named(fn::StDev, u"STDEV") && Named(fn::Dollar, u"DOLLAR") && Named(fn::Fixed, u"FIXED") &&
              Named(fn::Sin, u"SIN") && Named(fn::Cos, u"COS") && Named(fn::Tan, u"TAN") &&
              Named(fn::Atan, u"ATAN") && Named(fn::Pi, u"PI") && Named(fn::Sqrt, u"SQRT") &&
              Named(fn::Exp, u"EXP") && Named(fn::Ln, u"LN") && Named(fn::Log10, u"LOG10") &&
              Named(fn::Abs, u"ABS") && Named(fn::Int, u"INT") && Named(fn::Sign, u"SIGN") &&
              Named(fn::Round, u"ROUND") && Named(fn::Lookup, u"LOOKUP") && Named(fn::True, u"TRUE") &&
              Named(fn::False, u"FALSE") && Named(fn::And, u"AND") && Named(fn::Or, u"OR") &&
              Named(fn::Not, u"NOT") && Named(fn::Mod, u"MOD") && Named(fn::IsNumber, u"ISNUMBER") &&
              Named(fn::External, u"255") && Named(fn::Concatenate, u"CONCATENATE"));

} // namespace

const TExcelFunctions& ExcelFunction(int index) {
    return Table[index];
}

namespace {

// Names by an open-addressed table four times the function count: a lookup
// is a hash of the name and one or two probes.
constexpr size_t SlotCount = 2048;
static_assert(SlotCount >= 4 * ExcelFunctionCount);

uint32_t NameHash(std::u16string_view name) {
    uint32_t h = 2166136261u;
    for (char16_t c : name) h = (h ^ c) * 16777619u;
    return h;
}

} // namespace

int FindExcelFunction(std::u16string_view upperName) {
    static const auto slots = [] {
        std::array<int16_t, SlotCount> t;
        t.fill(-1);
        // The first entry of a name that appears twice is the one found.
        for (int i = 0; i < ExcelFunctionCount; ++i) {
            const std::u16string_view name = Table[i].Name;
            size_t k = NameHash(name) % SlotCount;
            while (t[k] >= 0 && Table[t[k]].Name != name) k = (k + 1) % SlotCount;
            if (t[k] < 0) t[k] = int16_t(i);
        }
        return t;
    }();
    for (size_t k = NameHash(upperName) % SlotCount; slots[k] >= 0; k = (k + 1) % SlotCount)
        if (Table[slots[k]].Name == upperName) return slots[k];
    return -1;
}

namespace {

using X = TExcelVersion;

// The first version of each function, by runs of numbers (they were given
// out in order); Excel 4 stands for it and every version before it, the
// oldest written here.
struct TFirstVersion {
    int First, Last;
    TExcelVersion Version;
};
constexpr TFirstVersion FirstVersions[] = {
    {0, 204, X::xvExcel40},
    {205, 211, X::xvExcel50}, // the byte-counting text functions (FINDB .. LENB)
    {212, 213, X::xvExcel40},
    {214, 215, X::xvExcel50}, // ASC, DBCS
    {216, 332, X::xvExcel40},
    {333, 357, X::xvExcel50},                    // CONCATENATE, SUBTOTAL, SUMIF, COUNTIF, DATEDIF, ROMAN ...
    {358, ExcelFunctionCount - 1, X::xvExcel97}, // HYPERLINK, AVERAGEA .. VARA, BAHTTEXT ...
};

// Functions whose later arguments came with a version: before it they
// took at most Most.
struct TEarlierArguments {
    int Number;
    TExcelVersion Until;
    int Most;
};
constexpr TEarlierArguments EarlierArguments[] = {
    {70, X::xvExcel50, 1},  // WEEKDAY: the kind of numbering
    {101, X::xvExcel50, 3}, // HLOOKUP: the approximate match switch
    {102, X::xvExcel50, 3}, // VLOOKUP
    {220, X::xvExcel50, 2}, // DAYS360: the European method
};

// Every number has its version, and the counts stand by their functions.
constexpr bool EveryNumberCovered() {
    int next = 0;
    for (const TFirstVersion& f : FirstVersions) {
        if (f.First != next || f.Last < f.First) return false;
        next = f.Last + 1;
    }
    return next == ExcelFunctionCount;
}
static_assert(EveryNumberCovered());
static_assert(Named(70, u"WEEKDAY") && Named(101, u"HLOOKUP") && Named(102, u"VLOOKUP") &&
              Named(220, u"DAYS360") && Named(205, u"FINDB") && Named(211, u"LENB") && Named(333, u"333") &&
              Named(357, u"VIEW.GET") && Named(358, u"GETPIVOTDATA"));

const char* VersionName(TExcelVersion v) {
    switch (v) {
    case X::xvExcel40:
        return "Excel 4";
    case X::xvExcel50:
        return "Excel 5";
    default:
        return "Excel 97";
    }
}

} // namespace

bool FunctionInVersion(int number, int count, TExcelVersion version, std::string* why) {
    const std::string in = VersionName(version);
    if (number < 0 || number >= ExcelFunctionCount) {
        if (why) *why = "function number " + std::to_string(number) + " is not known";
        return false;
    }
    const std::u16string_view name = Table[number].Name;
    const std::string text(name.begin(), name.end());
    for (const TFirstVersion& f : FirstVersions)
        if (number >= f.First && number <= f.Last && version < f.Version) {
            if (why) *why = text + " is not a function of " + in;
            return false;
        }
    for (const TEarlierArguments& e : EarlierArguments)
        if (e.Number == number && version < e.Until && count > e.Most) {
            if (why)
                *why = text + " takes at most " + std::to_string(e.Most) + " argument" +
                       (e.Most > 1 ? "s" : "") + " in " + in;
            return false;
        }
    return true;
}

uint8_t ArgumentClass(const TExcelFunctions& f, int position) {
    uint8_t c = 0;
    for (int i = 0; i < 6 && i <= position; ++i)
        if (f.Classes[i]) c = f.Classes[i];
    return c;
}

} // namespace xls
