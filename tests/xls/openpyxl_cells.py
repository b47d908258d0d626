"""Cells of .xlsx/.xlsm files as python3-openpyxl sees them, the oracle of
the package reader's and writer's tests. Usage: openpyxl_cells.py OUTDIR
FILE...; for FILE number i it writes OUTDIR/i.txt:
  OK                                 or  FAIL<TAB>message (openpyxl refuses the file)
                                     or  LIMIT<TAB>MemoryError (no verdict: the memory cap)
  S<TAB>index<TAB>title              one line per worksheet (wb.worksheets)
  C<TAB>sheet<TAB>row<TAB>col<TAB>kind<TAB>value
with zero-based rows and columns. kind: n (number, dates as serial
numbers, value as repr of the float), t (text with backslash, tab, CR and
LF escaped), b (0 or 1), e (error text), f (a formula whose cached value
is not in the file; value empty). A formula cell with a cached value has
the kind of that value. openpyxl_cells.py --values OUTDIR FILE... reads each
file once, for its values only: no f lines.

openpyxl_cells.py --styles FILE prints the formatting of every cell of the
first worksheet, one fact per line:
  font <row> <col> bold=<0|1> italic=<0|1> size=<points> name=<name> rgb=<value|none>
  fill <row> <col> <patternType> <fgColor rgb or indexed>
  border <row> <col> <left> <right> <top> <bottom>
  numfmt <row> <col> <format text>
  merged <range>
  width <letter> <width>
  height <row> <points> hidden=<0|1>
  name <name> <value>
  print_area <range>"""
import datetime
import sys
import warnings

import openpyxl
from openpyxl.utils.datetime import to_excel


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def describe(value, epoch):
    if isinstance(value, bool):
        return "b", str(int(value))
    if isinstance(value, (int, float)):
        return "n", repr(float(value))
    if isinstance(value, datetime.timedelta):
        return "n", repr(value.total_seconds() / 86400)
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return "n", repr(float(to_excel(value, epoch)))
    if isinstance(value, str):
        return "t", escape(value)
    return "t", escape(str(value))


def cells(path, values_only=False):
    keep_vba = path.lower().endswith(".xlsm")
    try:
        book = openpyxl.load_workbook(path, data_only=True, keep_vba=keep_vba)
        formulas = book if values_only else openpyxl.load_workbook(path, data_only=False, keep_vba=keep_vba)
    except MemoryError:
        raise
    except Exception as e:  # any failure of the oracle is a result too
        return ["FAIL\t" + escape(type(e).__name__ + ": " + str(e))]
    lines = ["OK"]
    for si, sheet in enumerate(book.worksheets):
        lines.append("S\t%d\t%s" % (si, escape(sheet.title)))
        fsheet = formulas.worksheets[si]
        for (row, col), cell in sorted(sheet._cells.items()):
            if row < 1 or col < 1:
                continue
            value = cell.value
            if value is None:
                f = None if values_only else fsheet._cells.get((row, col))
                if f is not None and f.data_type == "f":
                    lines.append("C\t%d\t%d\t%d\tf\t" % (si, row - 1, col - 1))
                continue
            if cell.data_type == "e":
                kind, text = "e", escape(str(value))
            else:
                kind, text = describe(value, book.epoch)
            lines.append("C\t%d\t%d\t%d\t%s\t%s" % (si, row - 1, col - 1, kind, text))
    return lines


def rgb(color):
    if color is None:
        return "none"
    if color.type == "rgb":
        return str(color.rgb)
    if color.type == "indexed":
        return "indexed:%d" % color.indexed
    if color.type == "theme":
        return "theme:%d" % color.theme
    return "none"


def styles(path):
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    lines = []
    for row in sheet.iter_rows():
        for c in row:
            if c.value is None:
                continue
            r, k = c.row - 1, c.column - 1
            f = c.font
            lines.append("font %d %d bold=%d italic=%d size=%g name=%s rgb=%s" % (
                r, k, int(bool(f.b)), int(bool(f.i)), f.sz or 0, f.name, rgb(f.color)))
            if c.fill is not None and c.fill.fill_type:
                lines.append("fill %d %d %s %s" % (r, k, c.fill.fill_type, rgb(c.fill.fgColor)))
            b = c.border
            sides = [(s.style if s is not None else None) or "none"
                     for s in (b.left, b.right, b.top, b.bottom)]
            if any(s != "none" for s in sides):
                lines.append("border %d %d %s" % (r, k, " ".join(sides)))
            lines.append("numfmt %d %d %s" % (r, k, c.number_format))
    for m in sheet.merged_cells.ranges:
        lines.append("merged %s" % m.coord)
    for letter, dim in sorted(sheet.column_dimensions.items()):
        if dim.width:
            lines.append("width %s %g" % (letter, dim.width))
    for number, dim in sorted(sheet.row_dimensions.items()):
        if dim.ht is not None or dim.hidden:
            lines.append("height %d %g hidden=%d" % (number - 1, dim.ht or 0, int(bool(dim.hidden))))
    for name in book.defined_names.definedName:
        lines.append("name %s %s" % (name.name, name.attr_text))
    if sheet.print_area:
        lines.append("print_area %s" % sheet.print_area)
    return lines


def main():
    warnings.simplefilter("ignore")
    if sys.argv[1] == "--styles":
        sys.stdout.write("\n".join(styles(sys.argv[2])) + "\n")
        return
    values_only = sys.argv[1] == "--values"
    args = sys.argv[2:] if values_only else sys.argv[1:]
    for i, path in enumerate(args[1:]):
        try:
            lines = cells(path, values_only)
        except MemoryError:  # the cap the tests run oracles under: no verdict
            lines = ["LIMIT\tMemoryError"]
        with open("%s/%d.txt" % (args[0], i), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
