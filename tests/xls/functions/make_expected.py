"""Formulas over the built-in functions as LibreOffice computes them: the
oracle of the evaluator's class test (EvaluatorFiles.GeneratedFormulas in
e2e_evaluator.cpp). Makes COUNT formulas from SEED over the functions the
library computes (text, math, statistical, lookup, logical and information
functions, dates as serial numbers) and the operators, with edge arguments:
empty cells, errors, booleans, texts that read as numbers, negative, huge
and tiny numbers, decimal sums, arrays and ranges. Writes them with
python3-openpyxl into cases.xlsx, column E of the sheet whose A1:C15 hold
the inputs, has LibreOffice (en-US, every formula recalculated on load) and
gnumeric (ssconvert --recalc) compute them and writes expected.tsv:
  row<TAB>formula<TAB>kind<TAB>value<TAB>gnumeric kind<TAB>gnumeric value
with kind n (value: repr of the float), s, b (TRUE or FALSE) or e (the
error's text). Both files are committed, so the test needs neither program;
gnumeric judges the rows where LibreOffice makes choices of its own.
Run it from any folder after changing the generator:
  /usr/bin/python3 tests/xls/functions/make_expected.py [--count N] [--seed S] [--out DIR]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))

# The inputs: A1:A15 edge values (A2 stays empty, A15 a decimal sum), B1:B6
# ascending numbers, C1:C6 texts.
INPUTS = {
    "A1": 1, "A3": "x", "A4": 2, "A5": -2.5, "A6": True, "A7": "#N/A", "A8": "3", "A9": 0.1,
    "A10": 1e20, "A11": 1e-300, "A12": 45292.75, "A13": "1E3", "A14": -0.5, "A15": "=0.1+0.2",
}
for i in range(6):
    INPUTS["B%d" % (i + 1)] = 10 * (i + 1)
    INPUTS["C%d" % (i + 1)] = "abcdef"[i]

NUMBERS = ["0", "1", "-1", "2.5", "-2.5", "0.5", "-0.5", "7", "-7", "3", "2.675", "1234.5678", "0.1",
           "1E20", "1E-20", "1E300", "-1E300", "1E15", "1E-7", "1E-5", "123456789012345678", "3.14159",
           "45292.75", "0.30000000000000004"]
SUMS = ["0.1+0.2", "1-0.9", "0.3-0.1", "0.7+0.1", "(0.1+0.2)*10", "1-0.9-0.1", "0.1*3"]
CELLS = ["A%d" % i for i in range(1, 16)] + ["B2", "B5", "C3"]
RANGES = ["A1:A15", "A1:A6", "A1:A4", "B1:B6", "C1:C6", "B1:C6", "A2:A3"]
ERRORS = ["NA()", "1/0", "#N/A", "#DIV/0!", "#VALUE!"]
BOOLEANS = ["TRUE", "FALSE"]
TEXTS = ['"x"', '""', '"3"', '" 2.5"', '"1e3"', '"abc"', '"TRUE"', '"-4"']
ARRAYS = ["{1,2,3}", '{1,"a";TRUE,#N/A}', "{0.1,0.2}", "{10,20,30}", '{"a","b","c"}']
DATES = ["45292.75", "A12", "45292", "36526.5", "0.75"]

# name: (the least and most arguments, the kinds of argument it takes)
# kinds: v a value, r values of ranges and arrays too, d the digits of a number
FUNCTIONS = {
    "SIN": (1, 1, "v"), "COS": (1, 1, "v"), "TAN": (1, 1, "v"), "ATAN": (1, 1, "v"), "EXP": (1, 1, "v"),
    "LN": (1, 1, "v"), "LOG10": (1, 1, "v"), "ABS": (1, 1, "v"), "INT": (1, 1, "v"), "SIGN": (1, 1, "v"),
    "ROUND": (2, 2, "vd"), "MOD": (2, 2, "vv"), "PI": (0, 0, ""),
    "COUNT": (1, 4, "r"), "SUM": (1, 4, "r"), "AVERAGE": (1, 4, "r"), "MIN": (1, 4, "r"),
    "MAX": (1, 4, "r"), "STDEV": (1, 4, "r"), "NPV": (2, 4, "vr"),
    "CONCATENATE": (1, 4, "v"), "FIXED": (1, 3, "vdv"), "DOLLAR": (1, 2, "vd"),
    "IF": (2, 3, "vvv"), "AND": (1, 3, "r"), "OR": (1, 3, "r"), "NOT": (1, 1, "v"),
    "TRUE": (0, 0, ""), "FALSE": (0, 0, ""),
    "ISNA": (1, 1, "v"), "ISERROR": (1, 1, "v"), "ISNUMBER": (1, 1, "v"), "NA": (0, 0, ""),
}
OPERATORS = ["+", "-", "*", "/", "^", "&", "=", "<>", "<", ">", "<=", ">="]


class Generator:
    def __init__(self, seed):
        self.rnd = random.Random(seed)

    def pick(self, items):
        return self.rnd.choice(items)

    def value(self, depth):
        r = self.rnd.random()
        if depth < 2 and r < 0.2:
            return self.call(depth + 1)
        kinds = [NUMBERS, NUMBERS, SUMS, CELLS, CELLS, ERRORS, BOOLEANS, TEXTS, DATES]
        return self.pick(self.pick(kinds))

    def values(self, depth):
        r = self.rnd.random()
        if r < 0.35:
            return self.pick(RANGES)
        if r < 0.5:
            return self.pick(ARRAYS)
        return self.value(depth)

    def digits(self, depth):
        if self.rnd.random() < 0.8:
            return self.pick(["0", "1", "2", "-1", "-2", "3", "0.5", "1.9", "-0.5", "15", "-20"])
        return self.value(depth)

    def argument(self, kind, depth):
        return {"v": self.value, "r": self.values, "d": self.digits}[kind](depth)

    def call(self, depth=0):
        name = self.pick(list(FUNCTIONS))
        least, most, kinds = FUNCTIONS[name]
        count = self.rnd.randint(least, most)
        args = [self.argument(kinds[min(i, len(kinds) - 1)], depth) for i in range(count)]
        # A missing argument now and then.
        if count > 1 and self.rnd.random() < 0.05:
            args[self.rnd.randrange(count)] = ""
        return "%s(%s)" % (name, ",".join(args))

    def lookup(self):
        value = self.pick(NUMBERS + SUMS + CELLS + TEXTS + ['"c"', "35", "40-1E-14", "60", "5"])
        shape = self.rnd.randrange(4)
        if shape == 0:
            return "LOOKUP(%s,B1:B6)" % value
        if shape == 1:
            return "LOOKUP(%s,B1:B6,C1:C6)" % value
        if shape == 2:
            return "LOOKUP(%s,C1:C6,B1:B6)" % value
        return "LOOKUP(%s,{10,20,30},{\"a\",\"b\",\"c\"})" % value

    def place(self):
        return self.pick(["ROW()", "COLUMN()", "ROW(%s)" % self.pick(CELLS + RANGES),
                          "COLUMN(%s)" % self.pick(CELLS + RANGES)])

    def date(self):
        d = self.pick(DATES)
        return self.pick(["INT(%s)" % d, "MOD(%s,1)*24" % d, "%s-INT(%s)" % (d, d), "(%s-45292)*1440" % d,
                          "ROUND(MOD(%s,1)*86400,0)" % d, "FIXED(%s,3)" % d, "%s+1/24" % d,
                          "INT(%s/7)" % d, "MOD(INT(%s),7)" % d, "%s&\"\"" % d])

    def operation(self):
        if self.rnd.random() < 0.15:
            return self.pick(["-", "+"]) + self.value(1) + self.pick(["", "%"])
        return self.value(1) + self.pick(OPERATORS) + self.value(1)

    def formula(self):
        r = self.rnd.random()
        if r < 0.5:
            return self.call()
        if r < 0.65:
            return self.operation()
        if r < 0.75:
            return self.lookup()
        if r < 0.8:
            return self.place()
        if r < 0.9:
            return self.date()
        return "IF(%s,%s,%s)" % (self.operation(), self.value(1), self.value(1))


def write(path, formulas):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Data"
    for ref, v in INPUTS.items():
        sheet[ref] = v
    for i, f in enumerate(formulas):
        sheet.cell(row=i + 1, column=5, value="=" + f)
    book.save(path)


PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse">\
<value>0</value></prop></item>
</oor:items>
"""


def computed(path, work):
    profile = os.path.join(work, "profile")
    os.makedirs(os.path.join(profile, "user"))
    with open(os.path.join(profile, "user", "registrymodifications.xcu"), "w") as f:
        f.write(PROFILE)
    out = os.path.join(work, "out")
    env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    command = ["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "xlsx",
               "--outdir", out, path]
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return values(os.path.join(out, os.path.basename(path)))


def gnumeric(path, work):
    out = os.path.join(work, "gnumeric.xlsx")
    subprocess.run(["ssconvert", "--recalc", path, out], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return values(out)


def values(path):
    sheet = openpyxl.load_workbook(path, data_only=True).active
    rows = []
    for row in sheet.iter_rows(min_col=5, max_col=5):
        cell = row[0]
        v = cell.value
        if cell.data_type == "b" or isinstance(v, bool):
            rows.append(("b", "TRUE" if v else "FALSE"))
        elif cell.data_type == "e":
            rows.append(("e", v))
        elif isinstance(v, (int, float)):
            rows.append(("n", repr(float(v))))
        else:
            rows.append(("s", "" if v is None else v))
    return rows


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=4000)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--out", default=HERE)
    args = parser.parse_args()
    gen = Generator(args.seed)
    formulas = [gen.formula() for _ in range(args.count)]
    work = tempfile.mkdtemp()
    try:
        path = os.path.join(work, "cases.xlsx")
        write(path, formulas)
        office, other = computed(path, work), gnumeric(path, work)
        os.makedirs(args.out, exist_ok=True)
        shutil.copy(path, args.out)
        with open(os.path.join(args.out, "expected.tsv"), "w", encoding="utf-8") as out:
            for i, f in enumerate(formulas):
                kind, value = office[i] if i < len(office) else ("s", "")
                gkind, gvalue = other[i] if i < len(other) else ("s", "")
                out.write("%d\t%s\t%s\t%s\t%s\t%s\n" % (i, escaped(f), kind, escaped(value), gkind,
                                                          escaped(gvalue)))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
