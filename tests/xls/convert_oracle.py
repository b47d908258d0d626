"""Workbooks of the conversion tests and what the other programs see in them.

convert_oracle.py make OUTDIR writes the recipes (python3-openpyxl,
python3-xlsxwriter, python3-xlwt):
  openpyxl.xlsx   fonts and solid fills in RGB colours, theme colours 0..11
                  and tinted theme colours; pattern fills; rows with outline
                  levels; the package's default theme
  owntheme.xlsx   the same with a theme of other colours
  notheme.xlsx    the same without a theme part
  xlsxwriter.xlsx RGB fonts and fills, pattern fills by number, outline
                  levels, and the largest double and its negative (B1, B2)
  xlwt.xls        palette fonts and fills, pattern fills, outline levels,
                  frozen panes
  features.xlsx   a note, a validation, a conditional format, a hyperlink,
                  frozen panes, an autofilter, a picture, a chart, sheet
                  protection and a header: what a conversion leaves behind
  alternate.xlsx  a sheet with an mc:AlternateContent element
  beyond.xlsx     sheet Data: numbers in A1 and IV65536, the last cell an
                  .xls has, and in IW1, XFD1, A70000 and XFD1048576; merged
                  areas A70001:B70002, IU2:IX2 and A3:B4
  damaged.xlsx    a picture, a note and custom properties; damaged_<n>.xlsx
                  the same with the checksum of entry <n> spoiled
                  (n: image, custom, vml, drawing)

convert_oracle.py xls FILE... prints for each file ("file <path>") the
first sheet through python3-xlrd (formatting_info):
  cell <row> <col> font=<RRGGBB> near=<RRGGBB> fill=<pattern> fg=<RRGGBB> fgnear=<RRGGBB> bg=<RRGGBB>
  value <row> <col> <repr of a number>
  level <row> <outline level>
Colours are those of the file's palette ("auto" for the automatic
colours); near is the entry of the default palette (8..63) nearest to it,
by the sum of the three differences, the first of equal ones.

convert_oracle.py xlsx FILE... prints for each file the first sheet
through python3-openpyxl:
  cell <row> <col> fill=<pattern number> fgnear=<RRGGBB>
(fgnear: the default palette's entry nearest to an RGB pattern colour)
  level <row> <outline level>
  note <row> <col> <text>
  setting pane <top left cell> <state> <active pane>   (when frozen or split)
  setting zoom <percent>
  setting margins <left> <right> <top> <bottom> <header> <footer>
  setting header <odd header text>
  setting footer <odd footer text>
  setting fit <fitToPage 0/1> <fitToWidth> <fitToHeight>
  setting rowformat <row> <number format of the row>   (rows with customFormat)
(rows and columns counted from 0)."""
import io
import os
import re
import struct
import sys
import zipfile
import zlib

PATTERNS = ["none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal",
            "darkVertical", "darkDown", "darkUp", "darkGrid", "darkTrellis",
            "lightHorizontal", "lightVertical", "lightDown", "lightUp", "lightGrid",
            "lightTrellis", "gray125", "gray0625"]

# Row, column: (kind, value, tint) of the font and of the solid fill.
RGB_CELLS = [("FFFF0000", "FF0000FF"), ("FF00B050", "FFFFC000"), ("FF7030A0", "FF92D050")]
TINTS = [0.4, -0.25, 0.8, -0.5, 0.6, -0.05]
PATTERNED = [("lightGrid", "FFFF0000", "FF00FF00"), ("darkDown", "FF0000FF", "FFFFFF00"),
             ("mediumGray", "FF000000", None), ("gray125", None, None)]
LEVELS = {5: 1, 6: 2, 7: 3, 8: 2}  # sheet row (from 1): outline level

OWN_THEME_COLOURS = ["000000", "FFFFFF", "44546A", "E7E6E6", "5B9BD5", "ED7D31", "A5A5A5",
                     "FFC000", "4472C4", "70AD47", "0563C1", "954F72"]


def png():
    raw = b"".join(b"\x00" + b"\xff\x00\x00" * 4 for _ in range(4))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def own_theme(default_theme):
    """openpyxl's theme text with the colours of the scheme replaced."""
    text = default_theme.decode("utf-8") if isinstance(default_theme, bytes) else default_theme
    names = ["dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3", "accent4", "accent5",
             "accent6", "hlink", "folHlink"]
    for name, colour in zip(names, OWN_THEME_COLOURS):
        start = text.index("<a:%s>" % name)
        end = text.index("</a:%s>" % name, start)
        text = text[:start] + '<a:%s><a:srgbClr val="%s"/>' % (name, colour) + text[end:]
    return text


def with_openpyxl(path, theme=None):
    import openpyxl
    from openpyxl.styles import Color, Font, PatternFill
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Colours"
    for r, (font, fill) in enumerate(RGB_CELLS, 1):
        cell = sheet.cell(row=r, column=1, value="rgb")
        cell.font = Font(color=font)
        cell.fill = PatternFill("solid", fgColor=fill)
    for t in range(12):
        cell = sheet.cell(row=t + 1, column=2, value="theme %d" % t)
        cell.font = Font(color=Color(theme=t))
        cell.fill = PatternFill("solid", fgColor=Color(theme=11 - t))
    for i, tint in enumerate(TINTS):
        cell = sheet.cell(row=i + 1, column=3, value="tint %g" % tint)
        cell.font = Font(color=Color(theme=5 + i % 2, tint=tint))
        cell.fill = PatternFill("solid", fgColor=Color(theme=4 + i % 6, tint=tint))
    # White on black from the theme.
    cell = sheet.cell(row=7, column=3, value="white on black")
    cell.font = Font(color=Color(theme=0))
    cell.fill = PatternFill("solid", fgColor=Color(theme=1))
    for i, (pattern, fg, bg) in enumerate(PATTERNED):
        cell = sheet.cell(row=i + 1, column=4, value=pattern)
        colours = {"fgColor": fg} if fg else {}
        if bg:
            colours["bgColor"] = bg
        cell.fill = PatternFill(pattern, **colours)
    for row, level in LEVELS.items():
        sheet.cell(row=row, column=5, value=level)
        sheet.row_dimensions[row].outline_level = level
    if theme is not None:
        book.loaded_theme = theme
    book.save(path)


def without_theme(source, path):
    """The package without its theme part and the references to it."""
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for item in src.infolist():
            if "theme" in item.filename:
                continue
            data = src.read(item.filename)
            if item.filename in ("[Content_Types].xml", "xl/_rels/workbook.xml.rels"):
                data = re.sub(rb"<(Override|Relationship) [^>]*theme1\.xml[^>]*/>", b"", data)
            out.writestr(item, data)


def with_xlsxwriter(path):
    import xlsxwriter
    book = xlsxwriter.Workbook(path)
    sheet = book.add_worksheet("Colours")
    for r, (font, fill) in enumerate(RGB_CELLS):
        fmt = book.add_format({"font_color": "#" + font[2:], "pattern": 1, "bg_color": "#" + fill[2:]})
        sheet.write(r, 0, "rgb", fmt)
    sheet.write(0, 1, sys.float_info.max)
    sheet.write(1, 1, -sys.float_info.max)
    for i, (pattern, fg, bg) in enumerate(PATTERNED):
        look = {"pattern": PATTERNS.index(pattern)}
        if fg:
            look["fg_color"] = "#" + fg[2:]
        if bg:
            look["bg_color"] = "#" + bg[2:]
        sheet.write(i, 3, pattern, book.add_format(look))
    for row, level in LEVELS.items():
        sheet.write(row - 1, 4, level)
        sheet.set_row(row - 1, None, None, {"level": level})
    book.close()


def with_xlwt(path):
    import xlwt
    book = xlwt.Workbook()
    sheet = book.add_sheet("Colours")
    for r, (font, fill, pattern) in enumerate([(10, 12, 1), (12, 13, 15), (17, 22, 7), (8, 9, 2)]):
        style = xlwt.easyxf("font: colour_index %d; pattern: pattern %d, pattern_fore_colour %d, "
                            "pattern_back_colour %d" % (font, pattern, fill, 11))
        sheet.write(r, 0, "palette", style)
    for row, level in LEVELS.items():
        sheet.write(row - 1, 4, level)
        sheet.row(row - 1).level = level
    sheet.set_panes_frozen(True)
    sheet.set_horz_split_pos(1)
    book.save(path)


def with_features(path):
    import openpyxl
    from openpyxl.chart import BarChart, Reference
    from openpyxl.comments import Comment
    from openpyxl.drawing.image import Image
    from openpyxl.formatting.rule import CellIsRule
    from openpyxl.styles import PatternFill
    from openpyxl.worksheet.datavalidation import DataValidation
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Data"
    for i in range(1, 6):
        sheet.cell(i, 1, i)
        sheet.cell(i, 2, i * 2)
    sheet["A1"].comment = Comment("a note", "me")
    dv = DataValidation(type="whole", operator="between", formula1="1", formula2="9")
    sheet.add_data_validation(dv)
    dv.add("A1:A5")
    sheet.conditional_formatting.add(
        "B1:B5",
        CellIsRule(operator="greaterThan", formula=["4"], fill=PatternFill("solid", fgColor="FFFF0000")))
    sheet["C1"] = "link"
    sheet["C1"].hyperlink = "http://example.com/"
    sheet.freeze_panes = "A2"
    sheet.auto_filter.ref = "A1:B5"
    sheet.add_image(Image(io.BytesIO(png())), "E2")
    chart = BarChart()
    chart.add_data(Reference(sheet, min_col=2, min_row=1, max_row=5))
    sheet.add_chart(chart, "E10")
    sheet.protection.sheet = True
    sheet.oddHeader.center.text = "Head"
    book.save(path)


def with_beyond(path):
    import openpyxl
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Data"
    for n, ref in enumerate(["A1", "IV65536", "IW1", "XFD1", "A70000", "XFD1048576"], 1):
        sheet[ref] = n
    sheet.merge_cells("A70001:B70002")
    sheet.merge_cells("IU2:IX2")
    sheet.merge_cells("A3:B4")
    book.save(path)


def with_alternate(path):
    import openpyxl
    book = openpyxl.Workbook()
    book.active["A1"] = 1
    book.save(path)
    alternate = ('<mc:AlternateContent '
                 'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
                 '<mc:Choice Requires="x14"><controls/></mc:Choice></mc:AlternateContent>')
    with zipfile.ZipFile(path) as src:
        parts = [(i, src.read(i.filename)) for i in src.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for item, data in parts:
            if item.filename == "xl/worksheets/sheet1.xml":
                data = data.replace(b"</worksheet>", alternate.encode() + b"</worksheet>")
            out.writestr(item, data)


def damage(source, path, part):
    """The package with the checksum of one entry spoiled in both headers."""
    data = bytearray(open(source, "rb").read())
    info = zipfile.ZipFile(source).getinfo(part)
    struct.pack_into("<I", data, info.header_offset + 14, info.CRC ^ 0xFFFFFFFF)
    end = data.rfind(b"PK\x05\x06")
    at = struct.unpack_from("<I", data, end + 16)[0]
    while data[at:at + 4] == b"PK\x01\x02":
        n, e, c = struct.unpack_from("<HHH", data, at + 28)
        if bytes(data[at + 46:at + 46 + n]).decode() == part:
            struct.pack_into("<I", data, at + 16, info.CRC ^ 0xFFFFFFFF)
        at += 46 + n + e + c
    open(path, "wb").write(bytes(data))


def with_damage(out):
    import xlsxwriter
    path = os.path.join(out, "damaged.xlsx")
    book = xlsxwriter.Workbook(path)
    sheet = book.add_worksheet("Data")
    sheet.write("A1", "hello")
    sheet.write("A2", 42)
    sheet.insert_image("C3", "x.png", {"image_data": io.BytesIO(png())})
    sheet.write_comment("A1", "a note")
    book.set_custom_property("Checked", True)
    book.close()
    for name, part in [("image", "xl/media/image1.png"), ("custom", "docProps/custom.xml"),
                       ("vml", "xl/drawings/vmlDrawing1.vml"), ("drawing", "xl/drawings/drawing1.xml")]:
        damage(path, os.path.join(out, "damaged_%s.xlsx" % name), part)


def make(out):
    import openpyxl
    from openpyxl.writer.theme import theme_xml
    with_openpyxl(os.path.join(out, "openpyxl.xlsx"))
    with_openpyxl(os.path.join(out, "owntheme.xlsx"), own_theme(theme_xml))
    without_theme(os.path.join(out, "openpyxl.xlsx"), os.path.join(out, "notheme.xlsx"))
    with_xlsxwriter(os.path.join(out, "xlsxwriter.xlsx"))
    with_xlwt(os.path.join(out, "xlwt.xls"))
    with_features(os.path.join(out, "features.xlsx"))
    with_alternate(os.path.join(out, "alternate.xlsx"))
    with_beyond(os.path.join(out, "beyond.xlsx"))
    with_damage(out)
    assert openpyxl


def nearest(rgb, palette):
    best, distance = None, 1 << 30
    for i in range(8, 64):
        entry = palette.get(i)
        if entry is None:
            continue
        d = sum(abs(a - b) for a, b in zip(rgb, entry))
        if d < distance:
            best, distance = entry, d
    return best


def hexof(rgb):
    return "%02X%02X%02X" % tuple(rgb) if rgb else "auto"


def dump_xls(path):
    import xlrd
    from xlrd.formatting import excel_default_palette_b8
    default = {i + 8: c for i, c in enumerate(excel_default_palette_b8)}
    # Ragged rows: a cell in the last row and column costs one row, not a
    # walk over every cell before it.
    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True)
    sheet = book.sheet_by_index(0)
    print("file", path)
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = book.xf_list[cell.xf_index]
            font = book.colour_map.get(book.font_list[xf.font_index].colour_index)
            ground = xf.background
            fg = book.colour_map.get(ground.pattern_colour_index)
            bg = book.colour_map.get(ground.background_colour_index)
            print("cell", r, c, "font=" + hexof(font), "near=" + hexof(font and nearest(font, default)),
                  "fill=%d" % ground.fill_pattern, "fg=" + hexof(fg),
                  "fgnear=" + hexof(fg and nearest(fg, default)), "bg=" + hexof(bg))
            if cell.ctype == xlrd.XL_CELL_NUMBER:
                print("value", r, c, repr(cell.value))
    for r, info in sorted(sheet.rowinfo_map.items()):
        if info.outline_level:
            print("level", r, info.outline_level)


def dump_xlsx(path):
    import openpyxl
    from xlrd.formatting import excel_default_palette_b8
    default = {i + 8: c for i, c in enumerate(excel_default_palette_b8)}
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    print("file", path)
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is None:
                continue
            pattern = cell.fill.patternType if cell.fill is not None else None
            fg = cell.fill.fgColor if pattern else None
            near = "auto"
            # openpyxl gives a fill without a colour "00000000".
            if fg is not None and fg.type == "rgb" and isinstance(fg.rgb, str) and fg.rgb != "00000000":
                near = hexof(nearest([int(fg.rgb[i:i + 2], 16) for i in (2, 4, 6)], default))
            print("cell", cell.row - 1, cell.column - 1, "fill=%d" % PATTERNS.index(pattern or "none"),
                  "fgnear=" + near)
            if cell.comment is not None:
                print("note", cell.row - 1, cell.column - 1, cell.comment.text)
    for r, dim in sorted(sheet.row_dimensions.items()):
        if dim.outline_level:
            print("level", r - 1, dim.outline_level)
    view = sheet.sheet_view
    if view.pane is not None:
        print("setting pane", view.pane.topLeftCell, view.pane.state, view.pane.activePane)
    print("setting zoom", view.zoomScale or 100)
    m = sheet.page_margins
    print("setting margins", *["%g" % v for v in (m.left, m.right, m.top, m.bottom, m.header, m.footer)])
    print("setting header", sheet.oddHeader.center.text or "")
    print("setting footer", sheet.oddFooter.center.text or "")
    setup = sheet.sheet_properties.pageSetUpPr
    fit = [1 if v is None else v for v in (sheet.page_setup.fitToWidth, sheet.page_setup.fitToHeight)]
    print("setting fit", int(bool(setup is not None and setup.fitToPage)), *fit)
    for r, dim in sorted(sheet.row_dimensions.items()):
        if dim.customFormat:
            print("setting rowformat", r - 1, dim.number_format)


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2])
        return
    for path in sys.argv[2:]:
        try:
            (dump_xls if sys.argv[1] == "xls" else dump_xlsx)(path)
        except (ImportError, MemoryError):  # no verdict: the oracle cannot go on
            raise
        except Exception as e:  # the reader's refusal is a result too
            print("file", path)
            print("error", type(e).__name__, str(e).replace("\n", " "))
        sys.stdout.flush()


main()
