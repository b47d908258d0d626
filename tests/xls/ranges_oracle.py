"""The sheet collections bound to cell areas as independent readers see
them, one fact per line, for the reader's and the writer's tests.
  ranges_oracle.py xlrd FILE...      hyperlinks of .xls files (python3-xlrd)
  ranges_oracle.py openpyxl FILE...  hyperlinks, conditional formats, data
                                     validations and autofilters of .xlsx
                                     files (python3-openpyxl)
Each file starts with a line "FILE <name>"; a failure gives "ERROR <text>"."""
import sys


def xlrd_dump(path):
    import xlrd
    import os
    book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
    for sheet in book.sheets():
        for h in sheet.hyperlink_list:
            print("link", sheet.name, h.frowx, h.lrowx, h.fcolx, h.lcolx, h.type, repr(h.url_or_path),
                  repr(h.desc), repr(h.target), repr(h.textmark), repr(h.quicktip))


def openpyxl_dump(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                h = cell.hyperlink
                if h:
                    print("link", sheet.title, cell.coordinate, repr(h.target), repr(h.location))
        for cf in sheet.conditional_formatting:
            for rule in cf.rules:
                print("cf", sheet.title, cf.sqref, rule.type, rule.operator, rule.formula)
        for dv in sheet.data_validations.dataValidation:
            print("dv", sheet.title, dv.sqref, dv.type, dv.operator, repr(dv.formula1), repr(dv.formula2),
                  dv.allow_blank, repr(dv.promptTitle), repr(dv.prompt), repr(dv.errorTitle), repr(dv.error))
        if sheet.auto_filter.ref:
            print("autofilter", sheet.title, sheet.auto_filter.ref)
            for col in sheet.auto_filter.filterColumn:
                print("filter", sheet.title, col.colId, repr(col.filters), repr(col.customFilters))


def main():
    dump = xlrd_dump if sys.argv[1] == "xlrd" else openpyxl_dump
    for path in sys.argv[2:]:
        print("FILE " + path)
        try:
            dump(path)
        except Exception as ex:
            print("ERROR " + str(ex).replace("\n", " "))


main()
