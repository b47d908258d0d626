"""Cells of .xls files as python3-xlrd sees them, the oracle of the reader's
and the writer's tests. Usage: xlrd_cells.py OUTDIR FILE...; for FILE
number i it writes OUTDIR/i.txt:
  OK                         or  FAIL<TAB>message (xlrd refuses the file)
                             or  LIMIT<TAB>MemoryError (no verdict: the memory cap)
  S<TAB>index<TAB>name       one line per worksheet
  C<TAB>sheet<TAB>row<TAB>col<TAB>kind<TAB>value
kind n (number, dates included; value as repr of the float), t (text with
backslash, tab, CR and LF escaped), b (0 or 1), e (the BIFF error code).
Blank cells are not listed.

xlrd_cells.py --formatting FILE prints the file with its formatting, one
fact per line (numbers in repr form):
  sheet <index> <name> <rows> <cols>
  cell <sheet> <row> <col> <type> <value>
  font <sheet> <row> <col> <name> bold=<0|1> italic=<0|1> colour=<index> height=<twips> rgb=<RRGGBB|auto>
  numfmt <sheet> <row> <col> <number format text>
  merged <sheet> <row1> <row2+1> <col1> <col2+1>
  width <sheet> <col> <width>
  rowheight <sheet> <row> <twips>"""
import sys

import xlrd


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def dump(path):
    try:
        book = xlrd.open_workbook(path, ragged_rows=True)
    except MemoryError:
        raise
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


def dump_formatting(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    for si in range(book.nsheets):
        sh = book.sheet_by_index(si)
        print("sheet", si, sh.name, sh.nrows, sh.ncols)
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                cell = sh.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                v = repr(cell.value) if cell.ctype == xlrd.XL_CELL_NUMBER else cell.value
                print("cell", si, r, c, cell.ctype, v)
                xf = book.xf_list[cell.xf_index]
                fmt = book.format_map.get(xf.format_key)
                print("numfmt", si, r, c, fmt.format_str if fmt else "?")
                f = book.font_list[xf.font_index]
                rgb = book.colour_map.get(f.colour_index)
                print("font", si, r, c, f.name, "bold=%d" % f.bold, "italic=%d" % f.italic,
                      "colour=%d" % f.colour_index, "height=%d" % f.height,
                      "rgb=" + ("%02X%02X%02X" % rgb if rgb else "auto"))
        for m in sh.merged_cells:
            print("merged", si, *m)
        for c in sorted(sh.colinfo_map):
            print("width", si, c, sh.colinfo_map[c].width)
        for r in sorted(sh.rowinfo_map):
            print("rowheight", si, r, sh.rowinfo_map[r].height)


def main():
    if sys.argv[1] == "--formatting":
        dump_formatting(sys.argv[2])
        return
    out = sys.argv[1]
    for i, path in enumerate(sys.argv[2:]):
        try:
            lines = dump(path)
        except MemoryError:  # the cap the tests run oracles under: no verdict
            lines = ["LIMIT\tMemoryError"]
        with open("%s/%d.txt" % (out, i), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


main()
