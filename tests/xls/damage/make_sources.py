#!/usr/bin/python3
"""Makes the sound workbooks the damage test starts from, once: a package
written by XlsxWriter with pictures, text boxes, notes, charts, buttons,
conditional formats, validations and hyperlinks on three sheets; the same
workbook as LibreOffice and gnumeric write it (Excel 97 and a package; gnumeric Excel 95 too);
and as this library writes it (xlsbench copy). Run it from the source tree
with the build in build/ (or XLSBENCH naming the program); commit what it
writes beside it. Nothing of it runs in CI."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
XLSBENCH = os.environ.get("XLSBENCH", os.path.join(HERE, "..", "..", "..", "build", "bin", "xlsbench"))


def png(width, height, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def write_package(path, scratch):
    book = xlsxwriter.Workbook(path)
    bold = book.add_format({"bold": True})
    red = book.add_format({"bg_color": "#FFC7CE"})
    for n in range(3):
        sheet = book.add_worksheet("Sheet%d" % (n + 1))
        sheet.write(0, 0, "Name", bold)
        sheet.write(0, 1, "Price", bold)
        sheet.write(0, 2, "Count", bold)
        for r in range(1, 31):
            sheet.write(r, 0, "Item %d of sheet %d" % (r, n + 1))
            sheet.write_number(r, 1, r * 1.25 + n)
            sheet.write_number(r, 2, (r * 7 + n) % 13)
            sheet.write_formula(r, 3, "=B%d*C%d" % (r + 1, r + 1), None, (r * 1.25 + n) * ((r * 7 + n) % 13))
        picture = os.path.join(scratch, "p%d.png" % n)
        with open(picture, "wb") as f:
            f.write(png(16 + n, 12, (40 * n, 120, 200)))
        sheet.insert_image("F2", picture)
        sheet.insert_textbox("F8", "A text box on sheet %d" % (n + 1), {"width": 160, "height": 50})
        sheet.write_comment("A2", "A note on sheet %d" % (n + 1), {"author": "Tester"})
        sheet.write_comment("B5", "Another note", {"author": "Tester"})
        chart = book.add_chart({"type": "column"})
        chart.add_series({"values": "=Sheet%d!$B$2:$B$11" % (n + 1), "name": "Prices"})
        sheet.insert_chart("F12", chart, {"x_scale": 0.6, "y_scale": 0.6})
        sheet.insert_button("J2", {"caption": "Button %d" % (n + 1), "width": 80, "height": 24})
        sheet.conditional_format("B2:B31", {"type": "cell", "criteria": ">", "value": 20, "format": red})
        sheet.conditional_format("C2:C31", {"type": "cell", "criteria": "between", "minimum": 2,
                                            "maximum": 5, "format": red})
        sheet.data_validation("C2:C31", {"validate": "integer", "criteria": "between", "minimum": 0,
                                         "maximum": 100, "input_title": "Count", "input_message": "0 to 100"})
        sheet.data_validation("E2:E5", {"validate": "list", "source": ["one", "two", "three"]})
        sheet.write_url("A33", "https://example.com/sheet%d" % (n + 1), None, "A link")
        sheet.write_url("A34", "internal:Sheet1!A1", None, "Back to the first sheet")
    book.close()


def run(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)


def main():
    scratch = tempfile.mkdtemp()
    try:
        source = os.path.join(HERE, "xlsxwriter.xlsx")
        write_package(source, scratch)
        profile = "-env:UserInstallation=file://" + os.path.join(scratch, "lo")
        for filter_, name in (("xls:MS Excel 97", "libreoffice.xls"),
                              ("xlsx:Calc MS Excel 2007 XML", "libreoffice.xlsx")):
            out = os.path.join(scratch, "lo-" + name.split(".")[0])
            run(["soffice", profile, "--headless", "--convert-to", filter_, "--outdir", out, source])
            made = os.path.join(out, os.listdir(out)[0])
            shutil.move(made, os.path.join(HERE, name))
        for exporter, name in (("Gnumeric_Excel:excel_biff8", "gnumeric.xls"),
                               ("Gnumeric_Excel:excel_biff7", "gnumeric95.xls"),
                               ("Gnumeric_Excel:xlsx2", "gnumeric.xlsx")):
            run(["ssconvert", "--export-type=" + exporter, source, os.path.join(HERE, name)])
        run([XLSBENCH, "copy", os.path.join(HERE, "libreoffice.xls"), os.path.join(HERE, "ours.xls")])
        run([XLSBENCH, "copy", source, os.path.join(HERE, "ours.xlsx")])
        run([XLSBENCH, "copy", os.path.join(HERE, "gnumeric95.xls"), os.path.join(HERE, "ours95.xls")])
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    sys.exit(main())
