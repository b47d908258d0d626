"""Workbooks with formulas that a conversion between .xlsx and .xls must
carry, made by other programs' writers, and what other readers see in the
copies.

  formula_conversions.py make DIR
      writes DIR/openpyxl.xlsx (openpyxl), DIR/xlsxwriter.xlsx (XlsxWriter),
      DIR/libre.fods (a flat OpenDocument file LibreOffice turns into a
      package: its own formula texts) and DIR/names.xlsx (openpyxl: a sheet
      named in Cyrillic, one of 40 characters, formulas and names that name
      them, with links, a chart, a conditional format and a validation) and
      DIR/kept.xlsx (the same with a chart sheet, and names a package
      cannot hold); DIR/values.xlsx (openpyxl) and DIR/values.xls (xlwt):
      formulas without cached values that older versions cannot hold;
      DIR/functions.xlsx (XlsxWriter): functions and arguments that came
      with Excel 5 and Excel 97, with their values;
      DIR/later.xlsx (openpyxl): a sheet named "Tab[x]y", a range of
      sheets and later functions, for gnumeric to write;
      DIR/limits.xlsx (openpyxl): names and formulas past the limits of an
      .xls and names whose formulas do not compile; DIR/shared.xlsx: a shared
      formula naming a whole column.
  formula_conversions.py read OUTDIR FILE...
      for FILE number i writes OUTDIR/i.txt: OK (or FAIL<TAB>message), then
        F<TAB>sheet<TAB>cell<TAB>formula text        (.xlsx, openpyxl)
        V<TAB>sheet<TAB>cell<TAB>value               (cached values)
        N<TAB>name<TAB>hidden<TAB>function           (.xls, xlrd's names)
        D<TAB>name<TAB>formula text                  (.xlsx, openpyxl's names)
        L<TAB>n<TAB>sheet names joined by |          (.xlsx external links)
        R<TAB>sheet<TAB>what<TAB>reference            (.xlsx hyperlink locations,
          chart series, conditional formats, validations)
      a value is n:<repr of the number>, s:<text>, b:0/1 or e:<error text>.
"""
import sys
import traceback

ERRORS = {0x00: "#NULL!", 0x07: "#DIV/0!", 0x0F: "#VALUE!", 0x17: "#REF!", 0x1D: "#NAME?", 0x24: "#NUM!",
          0x2A: "#N/A"}


def escape(s):
    return str(s).replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def value(v):
    import datetime
    if isinstance(v, (datetime.datetime, datetime.date)):
        from openpyxl.utils.datetime import to_excel
        v = to_excel(v)
    if isinstance(v, bool):
        return "b:%d" % v
    if isinstance(v, (int, float)):
        return "n:%r" % float(v)
    if isinstance(v, str) and v.startswith("#") and v in ERRORS.values():
        return "e:" + v
    return "s:" + str(v)


def make(d):
    import openpyxl
    import xlsxwriter

    wb = openpyxl.Workbook()
    one = wb.active
    one.title = "One"
    two = wb.create_sheet("Two")
    my = wb.create_sheet("My Sheet")
    two["A1"] = 21
    my["A1"] = 5
    for r, v in enumerate([1, 2, 3], 1):
        one.cell(r, 2, v)
    one["B4"] = 4
    cells = {
        "A1": "=Two!A1*2",
        "A2": "=SUM(Two:'My Sheet'!A1)",
        "A3": "=IFERROR(1/0,7)",
        "A4": '=_xlfn.CONCAT("a","b")',
        "A5": "=_xlfn.IFS(1>2,1,TRUE,9)",
        "A6": '=SUMIFS(B1:B3,B1:B3,">1")',
        "A7": "=EDATE(40000,1)",
        "A8": "=INT(2.9999999999999996)",
        "A9": "=IF(1.0000000000000002*4503599627370496=4503599627370496,0,1)",
        "A10": "=su(B4)",
        "A11": "='My Sheet'!A1+Two!A1",
        "A12": '=LENB("abc")',
        "A13": '=FINDB("c","abc",1)',
        "A14": '=SEARCHB("B","abc")',
        "A15": '=REPLACEB("abcd",2,2,"X")',
        "A16": '=LEFTB("abc",2)&RIGHTB("abc")',
        "A17": '=MIDB("abcd",2,2)',
        "A18": '=ASC("ab")',
        # Later functions as some writers give them, without their prefix.
        "A19": "=NETWORKDAYS.INTL(45000,45100)",
        "A20": '=TEXTJOIN(",",TRUE,"a","b")',
    }
    for ref, f in cells.items():
        one[ref] = f
    wb.save(d + "/openpyxl.xlsx")

    import warnings
    from openpyxl.workbook.defined_name import DefinedName
    wb = openpyxl.Workbook()
    main = wb.active
    main.title = "Main"
    prices = wb.create_sheet("Ціни")
    prices["A1"] = 10
    prices["A2"] = 32
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # openpyxl warns of a title of more than 31 characters
        wb.create_sheet("A sheet name of forty characters, 1234")["A1"] = 7
    main["A1"] = "='Ціни'!A1*2"
    main["A2"] = "=SUM('Ціни'!A1:A2)+'A sheet name of forty characters, 1234'!A1"
    main["A3"] = "=SUM(Prices)"
    wb.defined_names.append(DefinedName("Prices", attr_text="'Ціни'!$A$1:$A$2"))
    wb.defined_names.append(DefinedName("Seven", attr_text="'A sheet name of forty characters, 1234'!$A$1"))
    # Links, a chart, a conditional format and a validation that name them.
    from openpyxl.chart import BarChart, Reference
    from openpyxl.formatting.rule import FormulaRule
    from openpyxl.styles import PatternFill
    from openpyxl.worksheet.datavalidation import DataValidation
    from openpyxl.worksheet.hyperlink import Hyperlink
    main["B1"] = "far"
    main["B1"].hyperlink = Hyperlink(ref="B1", location="'A sheet name of forty characters, 1234'!A1")
    main["B2"] = "prices"
    main["B2"].hyperlink = Hyperlink(ref="B2", location="'Ціни'!A2")
    chart = BarChart()
    chart.add_data(Reference(prices, min_col=1, min_row=1, max_row=2))
    main.add_chart(chart, "E2")
    main.conditional_formatting.add(
        "A1:A3",
        FormulaRule(formula=["'Ціни'!$A$1>5"], fill=PatternFill(bgColor="FFFF00", fill_type="solid")))
    valid = DataValidation(type="list", formula1="'A sheet name of forty characters, 1234'!$A$1:$A$2")
    valid.add("C1")
    main.add_data_validation(valid)
    wb.save(d + "/names.xlsx")
    # The same with "?" in the names of "Ціни" and of a chart sheet, as no
    # writer makes them, and a conditional format of an extension list.
    other = BarChart()
    other.add_data(Reference(prices, min_col=1, min_row=1, max_row=2))
    wb.create_chartsheet("Chart X1").add_chart(other)
    wb.save(d + "/kept-source.xlsx")
    import zipfile
    ext = ('<extLst><ext xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main" '
           'uri="{78C0D931-6437-407d-A8EE-F0AAD7539E65}"><x14:conditionalFormattings>'
           '<x14:conditionalFormatting xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
           '<x14:cfRule type="expression" priority="2" id="{00000000-0000-0000-0000-000000000001}">'
           '<xm:f>\'Ціни\'!$A$2&gt;5</xm:f><x14:dxf/></x14:cfRule><xm:sqref>A1:A3</xm:sqref>'
           '</x14:conditionalFormatting></x14:conditionalFormattings></ext></extLst>')
    with zipfile.ZipFile(d + "/kept-source.xlsx") as src, zipfile.ZipFile(d + "/kept.xlsx", "w",
                                                                     zipfile.ZIP_DEFLATED) as out:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename == "xl/worksheets/sheet1.xml":
                data = data.replace(b"</worksheet>", ext.encode() + b"</worksheet>")
            if item.filename.endswith((".xml", ".rels")):
                for old, new in (("Ціни", "Ці?ни"),
                                 ("&#1062;&#1110;&#1085;&#1080;", "&#1062;&#1110;?&#1085;&#1080;"),
                                 ("Chart X1", "Chart?1")):
                    data = data.replace(old.encode(), new.encode())
            out.writestr(item, data)

    # Names past the limits of an .xls, and names whose formulas do not compile.
    wb = openpyxl.Workbook()
    main = wb.active
    main.title = "Main"
    data = wb.create_sheet("S1")
    for r, v in enumerate([1, 2, 3], 1):
        data.cell(r, 1, v)
    data["B1"] = 10
    data["C1"] = 100
    main["A1"] = "=SUM(Far)"
    main["A2"] = "=SUM(Wide)"
    main["A3"] = "=SUM(Rows)"
    main["A4"] = "=SUM(S1!A1:A70000)"
    main["A5"] = "=S1!A70000+1"
    for name, text in (("Far", "S1!$A$1:$A$70000"), ("Wide", "S1!$A$1:$XFD$1"), ("Rows", "S1!$1:$3"),
                       ("Beyond", "S1!$A$70001:$B$70002"), ("Bad", "1+"),
                       ("Deep", "(" * 300 + "1" + ")" * 300)):
        wb.defined_names.append(DefinedName(name, attr_text=text))
    wb.save(d + "/limits.xlsx")

    # A shared formula naming a whole column, as spreadsheet programs write
    # it: the text in the first cell of its block only.
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    rows = ""
    for r in range(1, 6):
        cells = '<c r="A%d"><v>%d</v></c>' % (r, r)
        if r >= 2:
            f = '<f t="shared" ref="B2:B5" si="0">SUM(A:A)+A2</f>' if r == 2 else '<f t="shared" si="0"/>'
            cells += '<c r="B%d">%s<v>%d</v></c>' % (r, f, 15 + r)
        rows += '<row r="%d">%s</row>' % (r, cells)
    with zipfile.ZipFile(d + "/shared.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<Types xmlns="http://schemas.openxmlformats.org/package/2006/'
                   'content-types"><Default Extension="xml" ContentType="application/xml"/></Types>')
        z.writestr("_rels/.rels", '<Relationships><Relationship Id="rId1" Type="%s/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>' % rel)
        z.writestr("xl/workbook.xml", '<workbook xmlns:r="%s"><sheets><sheet name="S" sheetId="1" '
                   'r:id="rId1"/></sheets></workbook>' % rel)
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships><Relationship Id="rId1" Type="%s/worksheet" '
                   'Target="worksheets/sheet1.xml"/></Relationships>' % rel)
        z.writestr("xl/worksheets/sheet1.xml", "<worksheet><sheetData>%s</sheetData></worksheet>" % rows)

    wb = xlsxwriter.Workbook(d + "/xlsxwriter.xlsx")
    ws = wb.add_worksheet("Data")
    ws.write_row(0, 0, ["Name", "Price", "Qty"])
    ws.write_row(1, 0, ["a", 2, 3])
    ws.write_row(2, 0, ["b", 4, 5])
    ws.add_table("A1:D3", {"name": "Goods", "columns": [
        {"header": "Name"}, {"header": "Price"}, {"header": "Qty"},
        {"header": "Total", "formula": "=Goods[[#This Row],[Price]]*Goods[[#This Row],[Qty]]"}]})
    # A totals row: XlsxWriter names the column alone ("[Сума]").
    ws.add_table("H1:I4", {"name": "Sums", "total_row": True, "data": [["a", 10.5], ["b", 20.25]],
                           "columns": [{"header": "Назва", "total_string": "Разом"},
                                       {"header": "Сума", "total_function": "sum"}]})
    ws.write_formula("F1", "=SUM(Goods[Price])", None, 6)
    ws.write_formula("F2", '=LENB("abc")', None, 3)
    ws.write_formula("F3", "=SumVBA(A2:A6)", None, 1500)
    ws.write_formula("F4", "=SUM(Goods[#Totals])", None, 0)
    ws.write_formula("F5", "=Goods[[#Headers],[Qty]]", None, "Qty")
    ws.write_formula("F6", "=COUNTA(Goods[#All])", None, 12)
    # Given no value: XlsxWriter caches 0 and asks for a calculation on load.
    ws.write_formula("G1", '=VLOOKUP("b",A2:C3,3,FALSE)')
    wb.close()

    # Functions that came with Excel 5 or Excel 97, and arguments that came
    # with Excel 5, beside functions every version has.
    wb = xlsxwriter.Workbook(d + "/functions.xlsx")
    ws = wb.add_worksheet("Main")
    ws.write_column(0, 0, [1, 2, 6])
    for row, (f, v) in enumerate([
            ('=HYPERLINK("http://example.org/","go")', "go"),
            ("=AVERAGEA(A1:A3)", 3),
            ("=MAXA(A1:A3)", 6),
            ("=MINA(A1:A3)", 1),
            ("=STDEVA(1,3,5)", 2),
            ('=CONCATENATE("a","b")', "ab"),
            ("=SUBTOTAL(9,A1:A3)", 9),
            ('=SUMIF(A1:A3,">1")', 8),
            ('=COUNTIF(A1:A3,">1")', 2),
            ('=DATEDIF(45000,45100,"d")', 100),
            ("=VLOOKUP(2,A1:A3,1,FALSE)", 2),
            ("=VLOOKUP(2,A1:A3,1)", 2),
            ("=WEEKDAY(45000,2)", 3),
            ("=WEEKDAY(45000)", 4),
            ("=DAYS360(45000,45100,TRUE)", 98),
            ("=ROMAN(4)", "IV"),
            ("=AVEDEV(A1:A3)", 2),
            ("=STDEVA(1,3,5)+MAX(A1:A3)", 8),
    ]):
        ws.write_formula(row, 1, f, None, v)
    wb.close()

    # Formulas whose writers cache no value (openpyxl none, xlwt an empty
    # text), some of which older versions cannot hold.
    wb = openpyxl.Workbook()
    main = wb.active
    main.title = "Main"
    wb.create_sheet("Other")["A1"] = 100
    main["A1"] = 1
    main["C5"] = "=SUM(Main:Other!A1)"
    main["C6"] = "=Other!A1*5+23"
    main["C7"] = '=CONCATENATE("a","b")'
    main["C8"] = '=HYPERLINK("x-y")'
    main["C9"] = '=MID("xyz",2,1)'
    main["C10"] = '=SUMIF(A1:A1,">0",Other!A1:A1)+Other!A1'
    wb.save(d + "/values.xlsx")
    import xlwt
    book = xlwt.Workbook()
    one, two = book.add_sheet("One"), book.add_sheet("Two")
    one.write(0, 0, 1)
    two.write(0, 0, 2)
    one.write(1, 0, xlwt.Formula("SUM(One:Two!A1)"))
    one.write(2, 0, xlwt.Formula("Two!A1*3"))
    # Functions the library does not compute where older versions lack them.
    for row, text in enumerate(['SUMIF(A1:A1,">0")', "VLOOKUP(1,A1:A1,1,FALSE)", "WEEKDAY(45000,2)",
                                'HYPERLINK("x-y")', 'CONCATENATE("a","b")'], 3):
        one.write(row, 0, xlwt.Formula(text))
    book.save(d + "/values.xls")

    # gnumeric's source of its Excel 95 file and package (formula_conversions
    # callers convert it): a sheet whose name holds brackets, which no
    # openpyxl title may hold, a range of sheets, later functions.
    wb = openpyxl.Workbook()
    main = wb.active
    main.title = "Main"
    wb.create_sheet("TabQxQy")["A1"] = 7
    wb.create_sheet("Lookup")["A1"] = 20
    main["A1"] = 1
    main["A3"] = 100
    main["C1"] = "=SUM(Main:Lookup!A1)"
    main["C2"] = "=SUM('TabQxQy'!A1)"
    main["C3"] = "=SUM(TabRef)*2"
    main["C4"] = '=_xlfn.IFS(A3>50,"big",TRUE,"small")'
    main["C5"] = '=_xlfn.CONCAT("a","b")'
    main["C6"] = '=_xlfn.TEXTJOIN(",",TRUE,"a","b")'
    main["C7"] = "=_xlfn.NETWORKDAYS.INTL(45000,45100)"
    wb.defined_names.append(DefinedName("TabRef", attr_text="'TabQxQy'!$A$1"))
    wb.save(d + "/later-source.xlsx")
    with zipfile.ZipFile(d + "/later-source.xlsx") as src, zipfile.ZipFile(d + "/later.xlsx", "w",
                                                                      zipfile.ZIP_DEFLATED) as out:
        for item in src.infolist():
            out.writestr(item, src.read(item.filename).replace(b"TabQxQy", b"Tab[x]y"))

    many = ";".join(["[.A1]"] * 200)
    with open(d + "/libre.fods", "w") as f:
        f.write("""<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>
<table:table table:name="Data"><table:table-row>
<table:table-cell office:value-type="float" office:value="1"/>
<table:table-cell table:formula="of:=SUM([$Data.A1:$'My Sheet'.A1])"/>
<table:table-cell table:formula="of:=SUM(%s)"/>
</table:table-row></table:table>
<table:table table:name="My Sheet"><table:table-row>
<table:table-cell office:value-type="float" office:value="5"/></table:table-row></table:table>
</office:spreadsheet></office:body></office:document>
""" % many)


def read_xlsx(path):
    import re
    import openpyxl
    import openpyxl.workbook.child
    # Packages of other writers hold sheet names that openpyxl would not
    # give a sheet ("Tab[x]y"): they are read as they are.
    openpyxl.workbook.child.INVALID_TITLE_REGEX = re.compile(r"(?!)")
    out = []
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                if c.data_type == "f":
                    out.append("F\t%s\t%s\t%s" % (escape(ws.title), c.coordinate, escape(str(c.value)[1:])))
    for n in wb.defined_names.definedName:
        out.append("D\t%s\t%s" % (escape(n.name), escape(n.attr_text)))
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                if c.hyperlink is not None and c.hyperlink.location:
                    out.append("R\t%s\thyperlink %s\t%s" % (escape(ws.title), c.coordinate,
                                                               escape(c.hyperlink.location)))
        for chart in ws._charts:
            for s in chart.series:
                for ref in (s.val, s.cat):
                    refs = [getattr(ref, k, None) for k in ("numRef", "strRef")] if ref is not None else []
                    for r in refs:
                        if r is not None and r.f:
                            out.append("R\t%s\tchart\t%s" % (escape(ws.title), escape(r.f)))
        for cf in ws.conditional_formatting:
            for rule in cf.rules:
                for f in rule.formula or []:
                    out.append("R\t%s\tformat %s\t%s" % (escape(ws.title), cf.sqref, escape(f)))
        for dv in ws.data_validations.dataValidation:
            if dv.formula1:
                out.append("R\t%s\tvalidation %s\t%s" % (escape(ws.title), dv.sqref, escape(dv.formula1)))
    for n, link in enumerate(getattr(wb, "_external_links", []), 1):
        book = link.externalBook
        names = list(book.sheetNames.sheetName) if book is not None and book.sheetNames is not None else []
        out.append("L\t%d\t%s" % (n, escape("|".join(names))))
    wb = openpyxl.load_workbook(path, data_only=True)
    for ws in wb.worksheets:
        for row in ws.iter_rows():
            for c in row:
                if c.value is not None:
                    out.append("V\t%s\t%s\t%s" % (escape(ws.title), c.coordinate, escape(value(c.value))))
    return out


def read_xls(path):
    import xlrd
    out = []
    book = xlrd.open_workbook(path)
    for s in book.sheets():
        for r in range(s.nrows):
            for k in range(s.ncols):
                c = s.cell(r, k)
                if c.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                v = c.value
                if c.ctype == xlrd.XL_CELL_BOOLEAN:
                    v = bool(v)
                elif c.ctype == xlrd.XL_CELL_ERROR:
                    v = ERRORS.get(v, "#?")
                out.append("V\t%s\t%s\t%s" % (escape(s.name), xlrd.cellname(r, k), escape(value(v))))
    for n in book.name_obj_list:
        out.append("N\t%s\t%d\t%d" % (escape(n.name), n.hidden, n.func))
    return out


def read(outdir, files):
    for i, path in enumerate(files):
        try:
            lines = read_xlsx(path) if path.lower().endswith((".xlsx", ".xlsm")) else read_xls(path)
            text = "OK\n" + "\n".join(lines) + "\n"
        except ImportError:  # a module missing: the oracle cannot run at all
            raise
        except MemoryError:  # the cap the tests run oracles under: no verdict
            text = "LIMIT\tout of memory\n"
        except Exception as e:  # the reader's refusal
            text = "FAIL\t%s\n" % escape("%s: %s" % (type(e).__name__, e))
            traceback.print_exc()
        with open("%s/%d.txt" % (outdir, i), "w") as f:
            f.write(text)


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        read(sys.argv[2], sys.argv[3:])
