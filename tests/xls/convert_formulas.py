#!/usr/bin/python3
"""Packages with shared and array formulas for the conversion tests, and
openpyxl's view of a package's formulas.

  convert_formulas.py make DIR     writes openpyxl-shared.xlsx, openpyxl-arrays.xlsx
                                   and xlsxwriter-arrays.xlsx into DIR
  convert_formulas.py formulas FILE  one line per formula cell of the first sheet:
                                   cell, formula text, the array's area ("" when none)
  convert_formulas.py constants FILE writes a package whose formulas hold array
                                   constants and defined names (for a BIFF5 copy)

No program we can run writes shared formulas, so openpyxl's package is
rewritten into the form spreadsheet programs give them: the anchor holds
the text and the area, the other members only the index."""
import os
import re
import sys
import zipfile

import openpyxl

# (area, anchor, text at the anchor); the anchor of the third is not the
# area's first cell, as when that cell was cleared after the formula was
# filled.
SHARED = [
    ("B1:B6", "B1", "A1*2+$C$1"),
    ("D1:E3", "D1", "A1+C$1+SUM($A$1:A2)"),
    ("F2:G4", "G2", "B1-1"),
    ("H1:H3", "H1", "SUM($A$1:A1)/C1"),
]

# (area, text) of the array formulas.
ARRAYS = [
    ("D2:D4", "A1:A3*2"),
    ("E1", "SUM(A1:A3*A3:A5)"),
    ("F1:G2", "A1:B2+10"),
    ("H1", "SUM(IF(A1:A5>2,A1:A5,0))"),
    ("I1:I3", "ROUND(A1:A3/3,1)"),
    ("J1:K3", "A1:A2*{1,2}"),
]


def cells(area):
    first, _, last = area.partition(":")
    last = last or first
    c1, r1 = openpyxl.utils.cell.coordinate_from_string(first)
    c2, r2 = openpyxl.utils.cell.coordinate_from_string(last)
    for row in range(r1, r2 + 1):
        first, last = openpyxl.utils.column_index_from_string(c1), openpyxl.utils.column_index_from_string(c2)
        for col in range(first, last + 1):
            yield openpyxl.utils.get_column_letter(col) + str(row)


def make_shared(path):
    from openpyxl.formula.translate import Translator
    wb = openpyxl.Workbook()
    ws = wb.active
    for row in range(1, 7):
        ws.cell(row, 1, row)
        ws.cell(row, 3, row * 10)
    for area, anchor, text in SHARED:
        for cell in cells(area):
            ws[cell] = Translator("=" + text, origin=anchor).translate_formula(cell)
    wb.save(path)
    # The members' texts go, the anchor carries the area and the index.
    with zipfile.ZipFile(path) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    xml = parts["xl/worksheets/sheet1.xml"].decode()
    for index, (area, anchor, _) in enumerate(SHARED):
        for cell in cells(area):
            if cell == anchor:
                f = '<f t="shared" ref="%s" si="%d">\\1</f>' % (area, index)
            else:
                f = '<f t="shared" si="%d"/>' % index
            xml = re.sub(r'(<c r="%s"[^>]*>)<f>([^<]*)</f>' % cell,
                         lambda m: m.group(1) + f.replace("\\1", m.group(2)), xml)
    # A first cell without its formula: the area's anchor stands beside it.
    xml = re.sub(r'<c r="F2"[^>]*>.*?</c>', "", xml)
    parts["xl/worksheets/sheet1.xml"] = xml.encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, body in parts.items():
            z.writestr(name, body)


def make_arrays(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    for row in range(1, 6):
        ws.cell(row, 1, row)
        ws.cell(row, 2, row * 10)
    for area, text in ARRAYS:
        first = area.split(":")[0]
        ws[first] = "=" + text
        ws.formula_attributes[first] = {"t": "array", "ref": area}
    wb.save(path)


def make_xlsxwriter(path):
    import xlsxwriter
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet()
    for row in range(5):
        ws.write(row, 0, row + 1)
        ws.write(row, 1, (row + 1) * 10)
    for area, text in ARRAYS:
        ws.write_array_formula(area if ":" in area else area + ":" + area, "{=" + text + "}")
    wb.close()


# Formulas of array constants and defined names, in A1 down.
CONSTANTS = [
    "SUM({1,2,3})",
    'LOOKUP(2,{1,2,3},{"a","\u00e9","c"})',
    "SUM({1.5;2.5})+1",
    "SUM({1,2;3,4})*B2",
    "Rate*2",
    "SUM(Block)",
    "VLOOKUP(3,Table,2,FALSE)",
]


def make_constants(path):
    from openpyxl.workbook.defined_name import DefinedName
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Data"
    for row, value in enumerate([2, 3, 4], 1):
        ws.cell(row, 2, value)
        ws.cell(row, 3, "v%d" % value)
    wb.defined_names.append(DefinedName("Rate", attr_text="Data!$B$1"))
    wb.defined_names.append(DefinedName("Block", attr_text="Data!$B$1:$B$3"))
    wb.defined_names.append(DefinedName("Table", attr_text="Data!$B$1:$C$3"))
    for row, text in enumerate(CONSTANTS, 1):
        ws.cell(row, 1, "=" + text)
    wb.save(path)


def formulas(path):
    ws = openpyxl.load_workbook(path).worksheets[0]
    for row in ws.iter_rows():
        for c in row:
            if isinstance(c.value, str) and c.value.startswith("="):
                attr = ws.formula_attributes.get(c.coordinate, {})
                ref = attr.get("ref", "") if attr.get("t") == "array" else ""
                first, _, last = ref.partition(":")
                ref = first if last == first else ref
                print("%s\t%s\t%s" % (c.coordinate, c.value[1:], ref))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        out = sys.argv[2]
        make_shared(os.path.join(out, "openpyxl-shared.xlsx"))
        make_arrays(os.path.join(out, "openpyxl-arrays.xlsx"))
        make_xlsxwriter(os.path.join(out, "xlsxwriter-arrays.xlsx"))
    elif sys.argv[1] == "constants":
        make_constants(sys.argv[2])
    else:
        formulas(sys.argv[2])
