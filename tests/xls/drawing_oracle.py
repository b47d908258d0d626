"""Notes, comments and pictures as independent readers see them, the oracle
of the drawing tests. For FILE number i each command writes OUTDIR/i.txt,
whose first line is OK or FAIL<TAB>message:
  drawing_oracle.py notes OUTDIR FILE...    .xls through python3-xlrd:
      N<TAB>sheet<TAB>row<TAB>col<TAB>author<TAB>text   one line per note
  drawing_oracle.py xlsx OUTDIR FILE...     .xlsx through python3-openpyxl:
      C<TAB>sheet<TAB>cell<TAB>author<TAB>text          one line per comment
      I<TAB>sheet<TAB>anchor<TAB>format<TAB>width<TAB>height<TAB>pixels
                                                        one line per picture
  drawing_oracle.py charts OUTDIR FILE...   charts of .xlsx through python3-openpyxl:
      H<TAB>sheet<TAB>name<TAB>kind<TAB>series formulas (values, comma-separated)
                                                        one line per chart
  drawing_oracle.py series OUTDIR FILE...   every chart series of .xlsx through python3-openpyxl:
      C<TAB>sheet<TAB>kind<TAB>bar direction       one line per chart, then per series
      S<TAB>values<TAB>categories<TAB>cached values (comma-separated)
  drawing_oracle.py controls OUTDIR FILE... form controls of LibreOffice's .fods:
      F<TAB>kind<TAB>name=value ... (label, linked cell, source range,
      drop-down)<TAB>macros run by its events           one line per control
  drawing_oracle.py paths OUTDIR FILE...    shape outlines of .xlsx drawing parts:
      D<TAB>part<TAB>the a:path element                 one line per path
  drawing_oracle.py shapes OUTDIR FILE...   shapes of .xlsx drawing parts:
      S<TAB>part<TAB>name<TAB>geometry<TAB>text       one line per shape; geometry
                                   the preset's name or "custom:" and its paths
  drawing_oracle.py png OUTDIR FILE...      pictures through PIL:
      P<TAB>width<TAB>height<TAB>pixels   pixels: MD5 of the RGBA data
Texts have backslash, tab, CR and LF escaped."""
import hashlib
import io
import os
import sys


def escape(text):
    return (str(text).replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def pixels(data):
    from PIL import Image
    image = Image.open(io.BytesIO(data)).convert("RGBA")
    return image.width, image.height, hashlib.md5(image.tobytes()).hexdigest()


def notes(path):
    import xlrd
    book = xlrd.open_workbook(path)
    lines = []
    for index, sheet in enumerate(book.sheets()):
        for (row, col), note in sorted(sheet.cell_note_map.items()):
            lines.append("N\t%d\t%d\t%d\t%s\t%s" % (index, row, col, escape(note.author),
                                                    escape(note.text)))
    return lines


def xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    lines = []
    for index, sheet in enumerate(book.worksheets):
        for row in sheet.iter_rows():
            for cell in row:
                if cell.comment is not None:
                    lines.append("C\t%d\t%s\t%s\t%s" % (index, cell.coordinate,
                                                        escape(cell.comment.author or ""),
                                                        escape(cell.comment.text)))
        for image in getattr(sheet, "_images", []):
            anchor = image.anchor
            where = ""
            if hasattr(anchor, "_from"):
                where = "%d,%d" % (anchor._from.col, anchor._from.row)
            width, height, digest = pixels(image._data())
            lines.append("I\t%d\t%s\t%s\t%d\t%d\t%s" % (index, where, image.format, width, height,
                                                         digest))
    return lines


def charts(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    lines = []
    for index, sheet in enumerate(book._sheets):
        for chart in getattr(sheet, "_charts", []):
            refs = []
            for series in chart.series:
                ref = series.val.numRef.f if series.val is not None and series.val.numRef is not None else ""
                refs.append(ref or "")
            lines.append("H\t%d\t%s\t%s\t%s" % (index, escape(sheet.title), type(chart).__name__,
                                                   ",".join(refs)))
    return lines


def series(path):
    import openpyxl

    def ref(data):
        if data is None:
            return "", []
        if data.numRef is not None:
            source, cache, shown = data.numRef, data.numRef.numCache, lambda v: "%g" % float(v)
        elif getattr(data, "strRef", None) is not None:
            source, cache, shown = data.strRef, data.strRef.strCache, str
        else:
            return "", []
        points = sorted(cache.pt, key=lambda p: p.idx) if cache is not None else []
        return source.f or "", [shown(p.v) for p in points]

    book = openpyxl.load_workbook(path)
    lines = []
    for index, sheet in enumerate(book._sheets):
        for chart in getattr(sheet, "_charts", []):
            lines.append("C\t%d\t%s\t%s" % (index, type(chart).__name__, getattr(chart, "barDir", "")))
            for s in chart.series:
                values, cached = ref(s.val if s.val is not None else s.yVal)
                categories, _ = ref(s.cat if s.cat is not None else s.xVal)
                lines.append("S\t%s\t%s\t%s" % (values, categories, ",".join(cached)))
    return lines


def controls(path):
    from xml.etree import ElementTree
    form = "{urn:oasis:names:tc:opendocument:xmlns:form:1.0}"
    listener = "{urn:oasis:names:tc:opendocument:xmlns:script:1.0}event-listener"
    href = "{http://www.w3.org/1999/xlink}href"
    shown = ("name", "label", "linked-cell", "source-cell-range", "dropdown")
    lines = []
    for element in ElementTree.parse(path).getroot().iter():
        kind = element.tag[len(form):] if element.tag.startswith(form) else None
        if kind in (None, "form", "forms", "properties", "property", "list-property", "list-value",
                    "item", "option"):
            continue
        attributes = {k[len(form):]: v for k, v in element.attrib.items() if k.startswith(form)}
        fields = " ".join("%s=%s" % (k, attributes[k]) for k in shown if k in attributes)
        macros = ",".join(e.get(href, "") for e in element.iter(listener))
        lines.append("F\t%s\t%s\t%s" % (kind, escape(fields), escape(macros)))
    return lines


def paths(path):
    import re
    import zipfile
    lines = []
    with zipfile.ZipFile(path) as package:
        for name in sorted(package.namelist()):
            if re.fullmatch(r"xl/drawings/drawing\d+\.xml", name):
                text = package.read(name).decode("utf-8")
                for element in re.findall(r"<a:path\b.*?</a:path>", text):
                    lines.append("D\t%s\t%s" % (name, escape(element)))
    return lines


def shapes(path):
    import re
    import zipfile
    from xml.etree import ElementTree
    xdr = "{http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing}"
    a = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
    lines = []
    with zipfile.ZipFile(path) as package:
        for name in sorted(package.namelist()):
            if not re.fullmatch(r"xl/drawings/drawing\d+\.xml", name):
                continue
            for sp in ElementTree.fromstring(package.read(name)).iter(xdr + "sp"):
                props = sp.find(xdr + "nvSpPr/" + xdr + "cNvPr")
                preset, custom = sp.find(".//" + a + "prstGeom"), sp.find(".//" + a + "custGeom")
                paths = len(custom.findall(".//" + a + "path")) if custom is not None else 0
                geometry = (preset.get("prst") if preset is not None else
                            "custom:%d" % paths if custom is not None else "")
                text = "".join(t.text or "" for t in sp.iter(a + "t"))
                lines.append("S\t%s\t%s\t%s\t%s" % (name, escape(props.get("name", "") if props is not None
                                                                  else ""), geometry, escape(text)))
    return lines


def png(path):
    with open(path, "rb") as f:
        width, height, digest = pixels(f.read())
    return ["P\t%d\t%d\t%s" % (width, height, digest)]


def main():
    command, outdir, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    reader = {"notes": notes, "xlsx": xlsx, "charts": charts, "series": series, "controls": controls,
              "paths": paths, "shapes": shapes, "png": png}[command]
    for i, path in enumerate(files):
        try:
            lines = ["OK"] + reader(path)
        except ImportError:  # a module missing: the oracle cannot run at all
            raise
        except MemoryError:  # the cap the tests run oracles under: no verdict
            lines = ["LIMIT\tMemoryError"]
        except Exception as e:  # every failure is a result
            lines = ["FAIL\t" + escape(repr(e))]
        with open(os.path.join(outdir, "%d.txt" % i), "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
