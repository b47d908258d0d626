"""What python3-xlrd (.xls) and python3-openpyxl (.xlsx) read of workbooks
made through the library, for its generator test. Usage: made_oracle.py
OUTDIR FILE...; one process for the whole batch; for FILE number i it writes
OUTDIR/i.txt:
  OK                                     or  FAIL<TAB>message (the reader refuses the file)
                                         or  LIMIT<TAB>MemoryError (no verdict: the memory cap)
  S<TAB>sheet<TAB>name
  C<TAB>sheet<TAB>row<TAB>col<TAB>kind<TAB>value
  M<TAB>sheet<TAB>row1<TAB>col1<TAB>row2<TAB>col2      a merged area (inclusive)
  L<TAB>sheet<TAB>row<TAB>col<TAB>target<TAB>location  a hyperlink at its first cell
  Z<TAB>sheet<TAB>zoom                                  a zoom other than 100
  P<TAB>sheet<TAB>rows<TAB>cols                         frozen panes
with zero-based rows and columns; kind n (value: the float as "%.17g"), t
(text, escaped), b (0 or 1), e (error text)."""
import os
import re
import sys

CONTROL = re.compile("_x(00[01][0-9A-Fa-f])_")

ERRORS = {0x00: "#NULL!", 0x07: "#DIV/0!", 0x0F: "#VALUE!", 0x17: "#REF!", 0x1D: "#NAME?", 0x24: "#NUM!",
          0x2A: "#N/A"}


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n"))


def xlrd_facts(path):
    import xlrd
    # Merged areas come with the formatting, which xlrd reads from Excel 5 on.
    try:
        book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"), formatting_info=True)
    except NotImplementedError:
        book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
    for si in range(book.nsheets):
        sheet = book.sheet_by_index(si)
        yield "S\t%d\t%s" % (si, escape(sheet.name))
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                t = cell.ctype
                if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    kind, value = "n", "%.17g" % float(cell.value)
                elif t == xlrd.XL_CELL_TEXT:
                    kind, value = "t", escape(cell.value)
                elif t == xlrd.XL_CELL_BOOLEAN:
                    kind, value = "b", str(int(cell.value))
                else:
                    kind, value = "e", ERRORS.get(cell.value, "?")
                yield "C\t%d\t%d\t%d\t%s\t%s" % (si, r, c, kind, value)
        for r1, r2, c1, c2 in sheet.merged_cells:
            yield "M\t%d\t%d\t%d\t%d\t%d" % (si, r1, c1, r2 - 1, c2 - 1)
        for h in sheet.hyperlink_list:
            yield "L\t%d\t%d\t%d\t%s\t%s" % (si, h.frowx, h.fcolx, escape(h.url_or_path or ""),
                                             escape(h.textmark or ""))
        if sheet.scl_mag_factor and sheet.scl_mag_factor != 100:
            yield "Z\t%d\t%d" % (si, sheet.scl_mag_factor)
        if sheet.panes_are_frozen:
            yield "P\t%d\t%d\t%d" % (si, sheet.horz_split_pos, sheet.vert_split_pos)


def openpyxl_value(cell):
    v = cell.value
    if cell.data_type == "e":
        return "e", str(v)
    if isinstance(v, bool):
        return "b", str(int(v))
    if isinstance(v, (int, float)):
        return "n", "%.17g" % float(v)
    # openpyxl keeps the package's escapes of the characters it cannot hold.
    return "t", escape(CONTROL.sub(lambda m: chr(int(m.group(1), 16)), str(v)))


def openpyxl_facts(path):
    import openpyxl
    from openpyxl.utils.cell import coordinate_from_string, column_index_from_string, range_boundaries
    book = openpyxl.load_workbook(path, data_only=True)
    for si, sheet in enumerate(book.worksheets):
        yield "S\t%d\t%s" % (si, escape(sheet.title))
        # The cells there are (iter_rows would make every cell of the used area).
        cells = sorted(sheet._cells.values(), key=lambda c: (c.row, c.column))
        for cell in cells:
            h = cell.hyperlink
            if h:
                yield "L\t%d\t%d\t%d\t%s\t%s" % (si, cell.row - 1, cell.column - 1, escape(h.target or ""),
                                                 escape(h.location or ""))
            # openpyxl gives an empty cell with a hyperlink the link's text.
            if cell.value is None or (h and cell.value in (h.display, h.target, h.location)):
                continue
            kind, value = openpyxl_value(cell)
            yield "C\t%d\t%d\t%d\t%s\t%s" % (si, cell.row - 1, cell.column - 1, kind, value)
        for m in sheet.merged_cells.ranges:
            c1, r1, c2, r2 = range_boundaries(str(m))
            yield "M\t%d\t%d\t%d\t%d\t%d" % (si, r1 - 1, c1 - 1, r2 - 1, c2 - 1)
        zoom = sheet.sheet_view.zoomScale
        if zoom and zoom != 100:
            yield "Z\t%d\t%d" % (si, zoom)
        if sheet.freeze_panes:
            col, row = coordinate_from_string(sheet.freeze_panes)
            yield "P\t%d\t%d\t%d" % (si, row - 1, column_index_from_string(col) - 1)


def facts(path):
    try:
        read = list(openpyxl_facts(path) if path.endswith(".xlsx") else xlrd_facts(path))
    except MemoryError:
        raise
    except Exception as e:  # any failure of the oracle is a result too
        return ["FAIL\t" + escape(type(e).__name__ + ": " + str(e))]
    return ["OK"] + read


def main():
    import warnings
    warnings.simplefilter("ignore")
    out = sys.argv[1]
    for i, path in enumerate(sys.argv[2:]):
        try:
            lines = facts(path)
        except MemoryError:  # the cap the tests run oracles under: no verdict
            lines = ["LIMIT\tMemoryError"]
        with open("%s/%d.txt" % (out, i), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


main()
