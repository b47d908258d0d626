# Goods files written without the program: ElementTree XML, csv-module CSV,
# xlwt BIFF8, dBase III and BIFF2-BIFF4 built with struct.
#   goods_writers.py FORMAT OUT RECIPE.json
# RECIPE: {"rows": [[number, plu, barcode, name, price, quantity, group, tax,
#          weighed, presence, blocking, payout], ...], options...}
# Prices and quantities are texts with '.', written with "decimal".
import csv
import json
import struct
import sys
import xml.etree.ElementTree as ET

ATTRIBUTES = ["Number", "PLU", "Barcode", "Name", "Price", "Remains", "GroupID", "VAT", "Weight", "Presence",
              "Blocking", "PaymentType"]


def decimal(text, recipe):
    return text.replace(".", recipe.get("decimal", ","))


def write_xml(out, rows, recipe):
    root = ET.Element("REPORT")
    header = ET.SubElement(root, "HEADER")
    for tag, text in [("DEVELOPMENT", "ElementTree"), ("MODEL", "ZRV-Q710"), ("VERSION", "2-01"),
                      ("REPORT_ID", "{XMLREP2}"), ("REPORT_NAME", "Товари")]:
        ET.SubElement(header, tag).text = text
    fields = ET.SubElement(root, "FIELDS_NAME")
    for i, name in enumerate(ATTRIBUTES[1:]):
        fields.set("FIELD_%d" % (i + 1), name)
    data = ET.SubElement(root, "DATA")
    truth = [("True", "False"), ("1", "0"), ("true", "false")]
    for row in rows:
        item = ET.SubElement(data, "Item")
        for i, value in enumerate(row):
            if value is None:
                continue
            if i in (4, 5):
                value = decimal(value, recipe)
            elif 8 <= i <= 10:
                value = truth[i - 8][0 if value else 1]
            item.set(ATTRIBUTES[i], str(value))
    ET.indent(root)
    ET.ElementTree(root).write(out, encoding=recipe.get("encoding", "UTF-8"), xml_declaration=True)


def write_csv(out, rows, recipe):
    quotes = recipe.get("quotes", False)
    with open(out, "w", encoding=recipe.get("encoding", "cp1251"), newline="") as f:
        writer = csv.writer(f, delimiter=recipe.get("delimiter", ";"), lineterminator="\r\n",
                            quoting=csv.QUOTE_NONNUMERIC if quotes else csv.QUOTE_MINIMAL)
        for row in rows:
            values = list(row)
            if values[1] is None:
                values[1] = 0 if quotes else ""
            if quotes:
                # Numbers as numbers: QUOTE_NONNUMERIC quotes only the texts.
                values[2] = int(values[2])
                values[4], values[5] = float(values[4]), float(values[5])
            else:
                values[4], values[5] = decimal(values[4], recipe), decimal(values[5], recipe)
            if recipe.get("blanks"):
                values[3] = " " + values[3] + " "
            writer.writerow(values)
            if recipe.get("empty_lines"):
                writer.writerow([])


DBF_FIELDS = [("NUMBER", "N", 5, 0), ("PLU", "N", 6, 0), ("BARCODE", "C", 13, 0), ("NAME", "C", 31, 0),
              ("PRICE", "F", 10, 2), ("REMAINS", "F", 12, 3), ("GROUPID", "N", 3, 0), ("VAT", "N", 1, 0),
              ("WEIGHT", "L", 1, 0), ("PRESENCE", "L", 1, 0), ("BLOCKING", "L", 1, 0), ("PAYTYPE", "N", 1, 0)]


def write_dbf(out, rows, recipe):
    encoding = recipe.get("encoding", "cp1251")
    record_length = 1 + sum(f[2] for f in DBF_FIELDS)
    header = struct.pack("<BBBBIHH17xB2x", 3, 124, 1, 15, len(rows), 32 * (len(DBF_FIELDS) + 1) + 1,
                         record_length, recipe.get("codepage", 0x26 if encoding == "cp866" else 0))
    for name, kind, length, decimals in DBF_FIELDS:
        header += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), length, decimals)
    body = b""
    for row in rows:
        body += b" "
        for (name, kind, length, decimals), value in zip(DBF_FIELDS, row):
            if kind == "L":
                text = b"T" if value else b"F"
            elif kind == "F":
                text = ("%*.*f" % (length, decimals, float(value))).encode("ascii")
            elif kind == "N":
                # A blank number field is no number: no PLU is written as 0.
                text = ("%*s" % (length, 0 if value is None else value)).encode("ascii")
            else:
                text = str(value).encode(encoding).ljust(length)[:length]
            assert len(text) == length, (name, text)
            body += text
    with open(out, "wb") as f:
        f.write(header + b"\r" + body + b"\x1a")


def xls_row(row, recipe):
    # Cells of columns A..L: the barcode before the PLU; flags as truth values.
    number, plu, barcode, name, price, quantity, group, tax, weighed, presence, blocking, payout = row
    price_cell = decimal(price, recipe) + " грн." if recipe.get("money_text") else float(price)
    return [int(number), barcode if recipe.get("text_barcodes") else int(barcode),
            "" if plu is None else int(plu), name, price_cell, float(quantity), int(group), int(tax),
            bool(weighed), bool(presence), bool(blocking), int(payout)]


def write_xls(out, rows, recipe):
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Goods")
    sheet.write(0, 0, "Goods written by xlwt")
    for col, caption in enumerate(["НОМЕР:", "ШТРИХ-КОД:", "PLU:", "НАЙМЕНУВАННЯ:"]):
        sheet.write(1, col, caption)
    for r, row in enumerate(rows):
        for col, value in enumerate(xls_row(row, recipe)):
            if value != "":
                sheet.write(r + 2, col, value)
    book.save(out)


def biff(version):
    # Record ids and cell layouts of BIFF2 (3-byte cell attributes) and
    # BIFF3/BIFF4 (XF index).
    if version == 2:
        cell = lambda row, col: struct.pack("<HH3x", row, col)
        return {"bof": (0x0009, struct.pack("<HH", 0x0002, 0x0010)), "number": 0x0003, "label": 0x0004,
                "bool": 0x0005, "cell": cell, "label_length": "<B"}
    cell = lambda row, col: struct.pack("<HHH", row, col, 0)
    bof = 0x0209 if version == 3 else 0x0409
    # One font and one cell XF (font 0, format 0 "General"), which the cells use.
    xf = (0x0243, struct.pack("<BBBBHHI", 0, 0, 0, 0, 0, 0, 0)) if version == 3 else \
        (0x0443, struct.pack("<BBHBBHI", 0, 0, 0, 0, 0, 0, 0))
    font = (0x0231, struct.pack("<HHHB", 200, 0, 0x7FFF, 5) + b"Arial")
    return {"bof": (bof, struct.pack("<HHH", version * 0x100, 0x0010, 0)), "number": 0x0203, "label": 0x0204,
            "bool": 0x0205, "cell": cell, "label_length": "<H", "styles": [font, xf]}


def write_biff(out, rows, recipe, version):
    ids = biff(version)
    records = []
    add = lambda rid, body: records.append(struct.pack("<HH", rid, len(body)) + body)
    add(*ids["bof"])
    add(0x0042, struct.pack("<H", 1251))  # CODEPAGE
    for style in ids.get("styles", []):
        add(*style)
    for r, row in enumerate(rows):
        for col, value in enumerate(xls_row(row, recipe)):
            head = ids["cell"](r + 2, col)
            if isinstance(value, bool):
                add(ids["bool"], head + struct.pack("<BB", int(value), 0))
            elif isinstance(value, (int, float)):
                add(ids["number"], head + struct.pack("<d", float(value)))
            elif value != "":
                text = value.encode("cp1251")
                add(ids["label"], head + struct.pack(ids["label_length"], len(text)) + text)
    add(0x000A, b"")
    with open(out, "wb") as f:
        f.write(b"".join(records))


def main():
    kind, out = sys.argv[1], sys.argv[2]
    with open(sys.argv[3], encoding="utf-8") as f:
        recipe = json.load(f)
    rows = recipe["rows"]
    writers = {"xml": write_xml, "csv": write_csv, "dbf": write_dbf, "xls": write_xls,
               "biff2": lambda o, r, s: write_biff(o, r, s, 2),
               "biff3": lambda o, r, s: write_biff(o, r, s, 3),
               "biff4": lambda o, r, s: write_biff(o, r, s, 4)}
    writers[kind](out, rows, recipe)


main()
