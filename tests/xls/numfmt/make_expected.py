"""Number formats as LibreOffice shows them: the oracle of the format-mask
test. Writes every format of FORMATS with each of its values through
python3-xlwt into two workbooks, one with the formats under built-in
indexes where xlwt knows them (builtin.xls) and one with every format under
a custom index, as LibreOffice writes them (custom.xls); converts both with
LibreOffice to CSV as the cells are shown (en-US) and writes expected.tsv:
  file<TAB>row<TAB>format<TAB>value<TAB>shown
with the value as repr of the float, or of the text for text cells. Run it
from any folder:
  /usr/bin/python3 tests/xls/numfmt/make_expected.py
"""
import csv
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import xlwt
import xlwt.Cell
import xlwt.Style

HERE = os.path.dirname(os.path.abspath(__file__))

DATE = 45292.75  # 2024-01-01 18:00
NUMBERS = [0, 1.5, -3, 1234.5678, 0.25]
# The first of every month of 2024, and a week from Monday 2024-01-01.
MONTHS = [45292, 45323, 45352, 45383, 45413, 45444, 45474, 45505, 45536, 45566, 45597, 45627]
WEEK = [45292 + d for d in range(7)]
# 2024-01-02 12:00:12.345 and 19:45:07.891.
STAMP = 45293 + (12 * 3600 + 12.345) / 86400
STAMP_PM = 45293 + (19 * 3600 + 45 * 60 + 7.891) / 86400
# Times whose hundredths of a second end exactly in a half.
TIES = [(3600 * (i % 24) + 60 * (7 * i % 60) + 13 * i % 60 + (37 * i % 100) / 100 + 0.005) / 86400
        for i in range(40)]
FORMATS = [
    ("General", NUMBERS + [123456789012, 1e-7, 1.0 / 3, 1e20, 123456.789012345, -0.0001, 1e-10, 2.5e-9]),
    ("general", [1.25]),
    ("GENERAL", [-7.5]),
    ("0", NUMBERS + [2.5, 3.5, -0.4]),
    ("0.00", NUMBERS + [-0.001, 1.005, 2.675]),
    ("#,##0", NUMBERS + [1234567.5]),
    ("#,##0.00", NUMBERS + [-1234567.891, 0.005]),
    ("0.###", [1.5, 2, 0.1234, -3.25]),
    ("#.##", [0.5, 12.345, 0, 7]),
    ("#,###", [0, 1234, 5]),
    ("0.0#", [1, 1.234, 1.2]),
    ("000.00", [1.5, 12345.678]),
    ("00000", [42, 123456]),
    ("???.??", [1.5, 123.4]),
    ("0%", [0.5, 0.123, -0.25]),
    ("0.00%", [0.5, 0.12345, 1]),
    ("00,000", [12, 1234567]),
    ("0.??", [2, 2.5]),
    ("#,##0.0#", [1234.5, 0.25]),
    ("0.00E+00", [123456, 0.000123, -5, 0, 9999.9]),
    ("0E+0", [123456, 0.5]),
    ("##0.0E+0", [123456, 1234, 0.00012, 12, 999999, -1500]),
    ("#,##0,", [1234567, 999]),
    ("0.0,,", [123456789]),
    ("# ?/?", [1.25, 0.75, 3, 2.3, -1.5, 0, -0.75, 0.99]),
    ("# ??/??", [1.25, 3.14159, 0.333]),
    ("?/?", [0.75, 1.25, 0.1, 0, -0.75, 3]),
    ("0 ?/8", [2.3, 0.5, 3, 2.95]),
    ("# ?/4", [1.3, 2]),
    ("#,##0;(#,##0)", [1234, -1234, 0]),
    ("0.00;[Red]-0.00", [1.5, -1.5]),
    ("0.00;(0.00);\"-\"", [-2, 0, 3]),
    ("#,##0.00_);(#,##0.00)", [1234.5, -1234.5]),
    ("_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", [1234, -1234, 0, "x"]),
    ("\"$\"#,##0.00", [1234.5, -3]),
    ("#,##0.00 \"грн.\"", [1234.5]),
    ("[$грн.-422] #,##0.00", [1234.5, -2]),
    ("#,##0.00 [$₴-422]", [99.9]),
    ("[$$-409]#,##0.00", [5]),
    ("\"Total: \"0", [42, -42]),
    ("0*-", [5]),
    ("*x0", [5]),
    ("#,##0.00 *-", [5]),
    ("0\" pcs\"", [7]),
    ("\\+0;\\-0;0", [5, -5, 0]),
    ("@", [1.5, "text"]),
    ("[>100]\"big\";\"small\"", [50, 150, -50]),
    ("[<=5]0.0;0", [3, 7, -2]),
    ("[=1]\"one\";0", [1, 2]),
    ("[<>0]0.0;\"none\"", [0, 2]),
    ("[<0]\"neg\";[>0]\"pos\";\"zero\"", [-3, 3, 0]),
    ("[>=1000]#,##0,\"K\";0", [1500, 999, -5]),
    ("[Blue][>0]0;[Red][<0]0;0", [4, -4, 0]),
    ("m/d/yy", [DATE, 1]),
    ("d-mmm-yy", [DATE]),
    ("d-mmm", [DATE]),
    ("mmm-yy", [DATE]),
    ("dd.mm.yyyy", [DATE, 36526]),
    ("yyyy-mm-dd", [DATE]),
    ("dd/mm/yyyy hh:mm", [DATE]),
    ("mmmm d, yyyy", [DATE]),
    ("dddd", [DATE]),
    ("ddd, d mmm", [DATE]),
    ("mmmmm", [DATE]),
    ("yy", [DATE]),
    ("h:mm", [0.5625, DATE, 0.5624953703703704]),
    ("h:mm:ss", [0.5625, 0.99999, 0.5624953703703704]),
    ("hh:mm", [0.04166666666666666]),
    ("h:mm AM/PM", [0.75, 0.25, 0]),
    ("h:mm:ss AM/PM", [0.5]),
    ("h:mm am/pm", [0.75]),
    ("h:mm A/P", [0.75, 0.1]),
    ("[h]:mm", [1.5625, 0.5]),
    ("[h]:mm:ss", [1.5, 2.75]),
    ("[mm]:ss", [0.0625]),
    ("[ss]", [0.01]),
    ("mm:ss", [0.0006944444444444445]),
    ("mm:ss.0", [0.00072916, 1.25 / 86400, 62.96 / 86400]),
    ("m/d/yy h:mm", [DATE]),
    ("d/m/yyyy", [DATE]),
    ("0.0", [-0.04, 0.05, 0.15]),
    ("#,##0.000", [1234.56789]),
    ("0.00\\%", [12.5]),
    ("00.00.00", [123456]),
    # Empty sections show nothing; a condition on the first section leaves
    # the second to negative numbers when a third follows.
    ("0;;;", [-5, 0, 5]),
    (";;;", [5, -5, 0]),
    ("0;", [-5, 0, 5]),
    ("[Red];", [1]),
    ("General;;", [-1, 0, 1]),
    ("0;-0;;@", [0, 3]),
    (";0", [1, -1]),
    ("\"x\";;", [0, 1]),
    ("[>5]0;;0.0", [7, 3, -1]),
    ("[<5]0;0.00;0.0", [7, 3, -1]),
    # Fractions: fixed denominators, '#' numerators, blank and hidden parts.
    ("# ?/100", [0.33, 2.5, 0, -0.75]),
    ("#\" \"?/100", [2.5, 0.33]),
    ("# #/#", [0.75, 1.5, 0, 2, -0.75]),
    ("?/100", [1.5, 0.333, 0]),
    ("# ??/16", [2.3, 0.03]),
    ("# #/8", [0.75, 2]),
    ("# #/100", [0.75, 2.5]),
    ("# ?/#", [0.75, 2]),
    ("# #/?", [0.75, 2]),
    ("# 0/0", [0, 0.75, 2]),
    ("0 #/#", [0, 0.75, 2]),
    ("? #/#", [0.75, 2]),
    ("0 0/100", [0, 0.75]),
    ("# ?/??", [0.75, 2]),
    ("# #/# \"x\"", [0, 0.75]),
    ("\"a\"# #/#", [0.75, -0.75]),
    ("##/##", [2.5, 0]),
    # Elapsed times round to the second (or the decimals shown); clock times
    # cut, and reach the next day only where a date is shown.
    ("[h]:mm:ss", [1.15e-05, 0.999999999, 1.9999999, -0.25, -1.15e-05, 0.21388310185185186,
                   1.4999942129629629]),
    ("[mm]", [0.0416666, 0.0416, -0.0416666]),
    ("[ss]", [1.15e-05]),
    ("[h]:mm", [1.9999999, 0.999994]),
    ("[hh]:mm", [0.1]),
    ("[mm]:ss", [0.0001]),
    ("[m]:ss", [0.0001]),
    ("[h]:mm:ss.000", [1.15e-05]),
    ("[h]:mm:ss.0", [-1.15e-05]),
    ("[h]", [-0.79]),
    ("[h]:mm;[h]:mm", [-0.25]),
    ("\"t\"[h]:mm", [-0.25]),
    ("yyyy-mm-dd hh:mm:ss", [45293.99999999, 45293.5000058, 45293.99999305556, 45293.999994212965]),
    ("d h:mm:ss", [45293.999995370374, 45293.99999305556]),
    ("yyyy-mm-dd h:mm", [45293.99999999, 45293.9999]),
    ("yyyy-mm-dd", [45293.99999999]),
    ("h:mm:ss", [0.999999999, 45293.99999999, 1.15e-05, 0.21388888877314816, 45000.291666666664,
                 45293.333333333336, 0.9999999999999999, -0.25, 45293.499999999985]),
    ("hh:mm", [0.999999999]),
    ("mm:ss", [0.999999999]),
    ("h:mm:ss AM/PM", [0.999999999]),
    ("h:mm:ss.000", [0.9999999999, 0.5000000001]),
    ("yyyy-mm-dd hh:mm:ss.00", [45293.999995370374, 45293.9999999537]),
    ("ddd h:mm:ss", [45293.999994212965]),
    # Rounding half away from zero of the number as written shortest;
    # percentages of value*100 as a double.
    ("0%", [1.005, 0.005, 0.015, 2.675, 0.285, 0.575, -1.005]),
    ("0.0%", [1.0005, 0.0005, 0.123449999999]),
    ("0", [100.49999999999999, 0.49999999999999994, 2.4999999999999996, -28.499999999999996, 1e15 + 0.5]),
    ("0.0", [0.04999999999999999, 0.24999999999999997, -0.05]),
    ("0.00", [1.00499999999999]),
    # A language prefix: its month and day names (genitive after a day of
    # the month) and its separators, for the whole format.
    ("[$-422]dd mmmm yyyy", [45293]),
    ("[$-419]dd mmmm yyyy", [45293]),
    ("[$-419]mmmm", MONTHS),
    ("[$-419]d mmmm", MONTHS),
    ("[$-419]mmm", MONTHS),
    ("[$-419]d mmm", [45413]),
    ("[$-419]mmmmm", [45292, 45444]),
    ("[$-422]mmmm", MONTHS),
    ("[$-422]d mmmm", MONTHS),
    ("[$-422]mmm", MONTHS),
    ("[$-422]d mmm", [45383]),
    ("[$-422]mmmmm", [45292, 45383]),
    ("[$-422]d mmmmm", [45293]),
    ("[$-419]dddd", WEEK),
    ("[$-419]ddd", WEEK),
    ("[$-422]dddd", WEEK),
    ("[$-422]ddd", WEEK),
    ("[$-422]mmmm d", [45293]),
    ("[$-422]mmm d mmmm", [45293]),
    ("[$-422]mm dd mmmm", [45293]),
    ("[$-422]dddd mmmm", [45293]),
    ("[$-422]dddd, d mmmm yyyy", [45293]),
    ("[$-419]ddd, d mmm", [45293]),
    ("[$-419]d mmmm yyyy \"г.\"", [45293]),
    ("[$-422]#,##0.00", [1234567.5, -1234.5]),
    ("[$-419]#,##0", [1234567]),
    ("[$-422]0.0%", [0.125]),
    ("[$-422]General", [1.5]),
    ("[$-422]0.00E+00", [1234.5]),
    ("[$-422]d/m/yyyy", [45293]),
    ("[$-422]h:mm:ss.00", [0.5]),
    ("[$-419]dd/mm/yy", [45293]),
    ("[$-10422]mmmm", [45293]),
    ("[$-FC19]dd mmmm yyyy", [45293]),
    ("[$-409]mmmm", [45293]),
    ("[Red][$-422]d mmmm", [45293]),
    ("[$-422]mmmm;[$-419]d mmmm", [45293, -45293]),
    ("0.00;[$-422]-0.00", [-1.5]),
    # Texts through the text section: the first section when it holds '@',
    # else the fourth, or a last second or third one holding '@' (which
    # numbers then pass over). Without one a text shows as it is.
    ("\"pre \"@", ["txt", 5]),
    ("@\" suffix\"", ["txt"]),
    ("0;-0;\"zero\";\"txt:\"@", ["abc", " ", 5, -5, 0]),
    ("_-* #,##0.00_-;-* #,##0.00_-;_-* \"-\"??_-;_-@_-", ["x", 1234.5, -1234.5, 0]),
    ("General", ["abc"]),
    ("0.00", ["abc"]),
    ("0;@", ["ab", 5, -5]),
    ("#,##0.00 \"грн.\";@\" (т)\"", ["ab", -5]),
    ("[>5]0;[<0]0;\"q\"@", ["ab", -5, 0]),
    ("\"a\"@;\"b\"@", ["abc", 5]),
    ("0;\"a\"@;\"b\"@", ["abc", -5]),
    ("@;0", ["ab", 5, -5]),
    ("@@", ["ab"]),
    ("_(@_)", ["ab"]),
    ("[Red]@", ["ab"]),
    ("@ 0", ["abc"]),
    ("0;-0;0;", ["abc"]),
    ("0;-0;0;\"lit\"", ["abc"]),
    ("0;0;0;General", ["abc"]),
    ("0;0;0;#,##0.00", ["abc"]),
    ("\"x\"\\@", ["abc"]),
    # Decimals of a second are rounded, but never up into the next second.
    ("ss.00", [12.345678 / 86400, 59.996 / 86400, 12.005 / 86400]),
    ("ss.0", [9.25 / 86400, 9.45 / 86400, 9.35 / 86400]),
    ("mm:ss.000", [1.2345678 / 86400, 59.9996 / 86400]),
    ("h:mm:ss.00", [0.123456789, 0.9999999]),
    ("h:mm:ss.0 AM/PM", [0.5 + 0.25 / 86400]),
    ("d h:mm:ss.000", [30931.6536123551, 45293.5 + 59.97 / 86400, 45293 + 86399.9997 / 86400]),
    # Fractions of a second after dates with "." separators, the decimal
    # separator of a language prefix among them.
    ("dd.mm.yyyy hh:mm:ss.000", [STAMP, STAMP_PM]),
    ("d.m.yy h:mm:ss.00", [STAMP]),
    ("dd.mm hh:mm:ss.00", [STAMP]),
    ("dd.mm.yy mm:ss.00 AM/PM", [STAMP, STAMP_PM]),
    ("[$-419]dd.mm.yyyy hh:mm:ss.000", [STAMP]),
    ("[$-422]dd.mm.yyyy hh:mm:ss.000", [STAMP_PM]),
    ("yyyy.mm.dd h:mm:ss.0", [STAMP]),
    ("dd. mm ss.00", [STAMP]),
    # Zero in an exponent of optional digits; a condition that leaves the
    # sign to the format; a literal after a fraction of a large number;
    # fixed denominators at an exact tie.
    ("#.##E+0", [0, 12345, -0.0]),
    ("#E+0", [0]),
    ("[<0]0;0", [-5, 5]),
    ("[<=0]0;0", [-5]),
    ("[<0]0", [-5]),
    ("[<0]0;[>0]0;0", [-5]),
    ("[<=0]0;[>0]0", [-5]),
    ("[<0]0.0;0;0", [-5]),
    ("[<-1]0;0", [-5]),
    ("# ??/8 \"pcs\"", [-3.2e15, 2.3]),
    ("# ?/? \"x\"", [-3.2e15]),
    ("# ?/2", [0.75, 1.25, 2.25, -0.75]),
    ("?/2", [0.75, 1.25]),
    ("# ?/10", [2.75, 0.25, 0.05, 0.45, -2.75]),
    ("# ?/4", [0.125, 0.375]),
    ("0 ?/8", [0.0625, 0.1875]),
    # Hours after the AM/PM mark, digits before an exponent's point, ties of
    # a second's fraction, the system's long time and minus zero.
    ("AM/PM h:mm", [0.6, 0.25, 0]),
    ("A/P h:mm", [0.6, 0.1]),
    ("AM/PM hh:mm:ss", [0.6, 0.05]),
    ("am/pm h \"h\"", [0.6]),
    ("00.00E+0", [3021459.27, 123.456, 0.0123, -5]),
    ("000.0E+00", [3021459.27]),
    ("d.m.yy h:mm:ss.00", [45293.50014380787]),
    ("hh:mm:ss.00", TIES),
    ("[$-F400]h:mm:ss AM/PM", [0.3, 0.75, 0]),
    ("0.00E+00", [-0.0, 0.0]),
    ("0.00", [-0.0]),
    ("General", [-0.0]),
]


# xlwt gives this text the built-in index 42, which spreadsheet programs
# hold for the currency form of it: kept to the custom workbook.
NOT_BUILTIN = {"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"}


def number_record(cell):
    # xlwt writes whole numbers as RK values, which have no minus zero.
    num = cell.number
    if num == 0 and math.copysign(1, num) < 0:
        return 0, struct.pack("<5Hd", 0x0203, 14, cell.rowx, cell.colx, cell.xf_idx, num)
    return plain_number_record(cell)


plain_number_record = xlwt.Cell.NumberCell.get_encoded_data
xlwt.Cell.NumberCell.get_encoded_data = number_record


def write(path, custom):
    if custom:
        # Nothing matches a built-in text: every format gets a custom index.
        xlwt.Style.StyleCollection._std_num_fmt_list = ["\x00%d" % i for i in range(36)]
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Formats")
    rows = []
    r = 0
    for fmt, values in FORMATS:
        if not custom and fmt in NOT_BUILTIN:
            continue
        style = xlwt.XFStyle()
        style.num_format_str = fmt
        for v in values:
            v = v if isinstance(v, str) else float(v)
            sheet.write(r, 0, v, style)
            rows.append((r, fmt, v))
            r += 1
    book.save(path)
    return rows


def shown(files, work):
    profile = os.path.join(work, "profile")
    cmd = ["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--convert-to",
           "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,true,true,false,false",
           "--outdir", work] + files
    env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    subprocess.run(cmd, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    out = {}
    for f in files:
        name = os.path.splitext(os.path.basename(f))[0]
        with open(os.path.join(work, name + ".csv"), encoding="utf-8") as fh:
            out[name] = [row[0] if row else "" for row in csv.reader(fh)]
    return out


def main():
    work = tempfile.mkdtemp()
    try:
        rows = {}
        files = []
        for name, custom in (("builtin", False), ("custom", True)):
            path = os.path.join(work, name + ".xls")
            rows[name] = write(path, custom)
            files.append(path)
        texts = shown(files, work)
        for f in files:
            shutil.copy(f, HERE)
        with open(os.path.join(HERE, "expected.tsv"), "w", encoding="utf-8") as out:
            for name in ("builtin", "custom"):
                for (r, fmt, v) in rows[name]:
                    out.write("%s\t%d\t%s\t%r\t%s\n" % (name, r, fmt, v, texts[name][r]))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
