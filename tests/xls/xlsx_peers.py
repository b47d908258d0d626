"""Writes the peers' packages of the package reader's tests, the same table
by each writer: xlsx_peers.py OUTDIR makes OUTDIR/openpyxl.xlsx and
OUTDIR/xlsxwriter.xlsx (Debian's python3-openpyxl and python3-xlsxwriter),
and OUTDIR/customxml.xlsx: openpyxl's package with a custom XML part whose
workbook relationship reuses the first sheet's Id (openpyxl still reads
the sheet).

Sheet "Goods & groups": A1 "Назва", B1 12.5, C1 TRUE, D1 =B1*2 (XlsxWriter
stores its result 25, openpyxl none), A2 "a & <b>", B2 -3, A3 "  lead",
B3 1234567890123, C3 0.1, A4 "рядок\\nдругий"; sheet "Second": A1 "x" (XlsxWriter's also B1 1
in a 9-point font, C1 2 in a 10-point one, A2 "plain bold and red italic" with a bold run and a red
italic one)."""
import os
import sys
import zipfile

import openpyxl
import xlsxwriter

ROWS = [["Назва", 12.5, True], ["a & <b>", -3], ["  lead", 1234567890123, 0.1],
        ["рядок\nдругий"]]


def with_openpyxl(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Goods & groups"
    for r, row in enumerate(ROWS, 1):
        for c, value in enumerate(row, 1):
            sheet.cell(row=r, column=c, value=value)
    sheet["D1"] = "=B1*2"
    book.create_sheet("Second")["A1"] = "x"
    book.save(path)


def with_xlsxwriter(path):
    book = xlsxwriter.Workbook(path)
    sheet = book.add_worksheet("Goods & groups")
    for r, row in enumerate(ROWS):
        for c, value in enumerate(row):
            sheet.write(r, c, value)
    sheet.write_formula("D1", "=B1*2", None, 25)
    second = book.add_worksheet("Second")
    second.write("A1", "x")
    # Three fonts in the styles: the runs' fonts come after them.
    second.write("B1", 1, book.add_format({"font_size": 9}))
    second.write("C1", 2, book.add_format({"font_size": 10}))
    second.write_rich_string("A2", "plain ", book.add_format({"bold": True}), "bold", " and ",
                             book.add_format({"italic": True, "font_color": "red"}), "red italic")
    book.close()


def with_custom_xml(source, path):
    rel = ('<Relationship Id="rId1" Target="../customXml/item1.xml" Type="http://schemas.openxmlformats.org/'
           'officeDocument/2006/relationships/customXml"/></Relationships>')
    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/_rels/workbook.xml.rels":
                assert b'Id="rId1"' in data
                data = data.replace(b"</Relationships>", rel.encode())
            zout.writestr(item, data)
        zout.writestr("customXml/item1.xml", '<?xml version="1.0"?><data xmlns="urn:q710"/>')
    assert openpyxl.load_workbook(path)["Goods & groups"]["A1"].value == "Назва"


out = sys.argv[1]
with_openpyxl(os.path.join(out, "openpyxl.xlsx"))
with_xlsxwriter(os.path.join(out, "xlsxwriter.xlsx"))
with_custom_xml(os.path.join(out, "openpyxl.xlsx"), os.path.join(out, "customxml.xlsx"))
