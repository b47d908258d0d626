"""Cells of .xls files as python3-xlrd sees them, the oracle of the reader's
real-file test. Usage: xlrd_cells.py OUTDIR FILE...; for FILE number i it
writes OUTDIR/i.txt:
  OK                         or  FAIL<TAB>message
  S<TAB>index<TAB>name       one line per worksheet
  C<TAB>sheet<TAB>row<TAB>col<TAB>kind<TAB>value
kind n (number, dates included; value as repr of the float), t (text with
backslash, tab, CR and LF escaped), b (0 or 1), e (the BIFF error code).
Blank cells are not listed."""
import sys

import xlrd


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def dump(path):
    try:
        book = xlrd.open_workbook(path, ragged_rows=True)
    except Exception as e:  # any failure of the oracle is a result too
        return ["FAIL\t" + escape(type(e).__name__ + ": " + str(e))]
    lines = ["OK"]
    cells = []
    for si in range(book.nsheets):
        sheet = book.sheet_by_index(si)
        lines.append("S\t%d\t%s" % (si, escape(sheet.name)))
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                t = cell.ctype
                if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    kind, value = "n", repr(float(cell.value))
                elif t == xlrd.XL_CELL_TEXT:
                    kind, value = "t", escape(cell.value)
                elif t == xlrd.XL_CELL_BOOLEAN:
                    kind, value = "b", str(int(cell.value))
                else:
                    kind, value = "e", str(int(cell.value))
                cells.append("C\t%d\t%d\t%d\t%s\t%s" % (si, r, c, kind, value))
    return lines + cells


def main():
    out = sys.argv[1]
    for i, path in enumerate(sys.argv[2:]):
        with open("%s/%d.txt" % (out, i), "w", encoding="utf-8") as f:
            f.write("\n".join(dump(path)) + "\n")


main()
