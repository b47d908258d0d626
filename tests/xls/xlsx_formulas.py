"""The formulas of .xlsx files as their <f> elements hold them, the oracle
of the formula text. Usage: xlsx_formulas.py OUTDIR FILE...; for FILE
number i it writes OUTDIR/i.txt, OK (or FAIL<TAB>message) and one line per
formula cell of a worksheet:
  F<TAB>sheet index<TAB>sheet name<TAB>row<TAB>col<TAB>text
(\\, tab, CR and LF escaped). Every cell of an array formula's range gets the
array's text. Then one line per defined name:
  N<TAB>name<TAB>localSheetId (-1 for a global name)<TAB>text"""
import re
import sys
import zipfile
from xml.etree import ElementTree

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}


def escape(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def cell(ref):
    m = re.match(r"\$?([A-Z]+)\$?(\d+)", ref)
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)) - 1, col - 1


def formulas(path):
    z = zipfile.ZipFile(path)
    book = ElementTree.fromstring(z.read("xl/workbook.xml"))
    rels = ElementTree.fromstring(z.read("xl/_rels/workbook.xml.rels"))
    target = {r.get("Id"): r.get("Target") for r in rels}
    out = []
    index = 0
    for sheet in book.find("m:sheets", NS):
        part = target[sheet.get("{%s}id" % NS["r"])]
        if "worksheets/" not in part:
            continue
        xml = ElementTree.fromstring(z.read("xl/" + part.split("xl/")[-1].lstrip("/")))
        seen = set()
        for c in xml.iter("{%s}c" % NS["m"]):
            f = c.find("m:f", NS)
            if f is None:
                continue
            cells = [cell(c.get("r"))]
            ref = f.get("ref")
            if f.get("t") == "array" and ref and ":" in ref:
                (r1, c1), (r2, c2) = (cell(x) for x in ref.split(":"))
                cells = [(r, k) for r in range(r1, r2 + 1) for k in range(c1, c2 + 1)]
            for r, k in cells:
                if (r, k) in seen:
                    continue
                seen.add((r, k))
                out.append("F\t%d\t%s\t%d\t%d\t%s" % (index, escape(sheet.get("name")), r, k,
                                                       escape(f.text or "")))
        index += 1
    names = book.find("m:definedNames", NS)
    for n in names if names is not None else []:
        out.append("N\t%s\t%s\t%s" % (escape(n.get("name")), n.get("localSheetId", "-1"),
                                        escape(n.text or "")))
    return out


def main():
    for i, path in enumerate(sys.argv[2:]):
        try:
            lines = ["OK"] + formulas(path)
        except MemoryError:  # the cap the tests run oracles under: no verdict
            lines = ["LIMIT\tMemoryError"]
        except Exception as e:  # any failure of the oracle is a result too
            lines = ["FAIL\t%s: %s" % (type(e).__name__, e)]
        with open("%s/%d.txt" % (sys.argv[1], i), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


main()
