"""The sheet collections bound to cell areas as independent readers see
them, one fact per line, for the reader's and the writer's tests.
  ranges_oracle.py xlrd FILE...      hyperlinks of .xls files (python3-xlrd)
  ranges_oracle.py openpyxl FILE...  hyperlinks, conditional formats, data
                                     validations and autofilters of .xlsx
                                     files (python3-openpyxl)
  ranges_oracle.py biff FILE...      the CONDFMT/CF, DVAL/DV and autofilter
                                     records of .xls files decoded here from
                                     the published record layouts (olefile)
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
                values = col.filters.filter if col.filters else None
                custom = ([(c.operator, c.val) for c in col.customFilters.customFilter]
                          if col.customFilters else None)
                print("filter", sheet.title, col.colId, repr(values), repr(custom))


def biff_substreams(path):
    import olefile, struct
    ole = olefile.OleFileIO(path)
    data = ole.openstream("Workbook").read()
    pos, sheet, depth = 0, -1, 0
    while pos + 4 <= len(data):
        rid, length = struct.unpack("<HH", data[pos:pos + 4])
        body = data[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rid in (0x0809, 0x0009, 0x0209, 0x0409):
            depth += 1
            if depth == 1:
                sheet += 1
        elif rid == 0x000A:
            depth -= 1
        yield sheet, rid, body


def areas(body, at, count):
    import struct
    out = []
    for i in range(count):
        r1, r2, c1, c2 = struct.unpack("<HHHH", body[at + 8 * i:at + 8 * i + 8])
        out.append("%d:%d-%d:%d" % (r1, c1, r2, c2))
    return " ".join(out)


def dv_string(body, at):
    import struct
    count, = struct.unpack("<H", body[at:at + 2])
    flag = body[at + 2]
    size = 2 * count if flag & 1 else count
    raw = body[at + 3:at + 3 + size]
    text = raw.decode("utf-16-le") if flag & 1 else raw.decode("latin-1")
    return text.strip("".join(chr(c) for c in range(33))), at + 3 + size


def biff_dump(path):
    import struct
    for sheet, rid, body in biff_substreams(path):
        if rid == 0x01B0:
            count, = struct.unpack("<H", body[:2])
            n, = struct.unpack("<H", body[12:14])
            print("condfmt", sheet, count, areas(body, 14, n))
        elif rid == 0x01B1:
            ct, cp, cce1, cce2, flags, flags2 = struct.unpack("<BBHHIH", body[:12])
            at = 12
            blocks = []
            if flags & 0x02000000:
                size = struct.unpack("<H", body[at:at + 2])[0] if flags2 & 1 else 2
                blocks.append("num:" + body[at:at + size].hex()); at += size
            for bit, size, name in ((0x04000000, 118, "font"), (0x08000000, 8, "align"),
                                    (0x10000000, 8, "border"), (0x20000000, 4, "pattern"),
                                    (0x40000000, 2, "prot")):
                if flags & bit:
                    blocks.append(name + ":" + body[at:at + size].hex()); at += size
            print("cf", sheet, ct, cp, hex(flags & 0x7E3FFFFF), " ".join(blocks),
                  body[at:at + cce1].hex(), body[at + cce1:at + cce1 + cce2].hex())
        elif rid == 0x01B2:
            print("dval", sheet, body[:14].hex())
        elif rid == 0x01BE:
            word, = struct.unpack("<I", body[:4])
            at = 4
            texts = []
            for i in range(4):
                text, at = dv_string(body, at)
                texts.append(repr(text))
            f = []
            for i in range(2):
                size, = struct.unpack("<H", body[at:at + 2])
                f.append(body[at + 4:at + 4 + size].hex()); at += 4 + size
            n, = struct.unpack("<H", body[at:at + 2])
            print("dv", sheet, hex(word), " ".join(texts), " ".join(f), areas(body, at + 2, n))
        elif rid in (0x009B, 0x009D):
            print("filter", sheet, hex(rid), body.hex())
        elif rid == 0x009E:
            entry, flags = struct.unpack("<HH", body[:4])
            conditions, at = [], 24
            for doper in (body[4:14], body[14:24]):
                vt, op = doper[0], doper[1]
                if vt == 0x02:
                    rk, = struct.unpack("<I", doper[2:6])
                    value = rk >> 2 if rk & 2 else struct.unpack("<d", struct.pack("<Q", (rk & ~3) << 32))[0]
                    value = float(value) / (100 if rk & 1 else 1)
                    conditions.append("number %d %r" % (op, value))
                elif vt == 0x04:
                    conditions.append("number %d %r" % (op, struct.unpack("<d", doper[2:10])[0]))
                elif vt == 0x06:
                    count, flag = doper[6], body[at]
                    size = 2 * count if flag & 1 else count
                    raw = body[at + 1:at + 1 + size]
                    at += 1 + size
                    text = raw.decode("utf-16-le" if flag & 1 else "latin-1")
                    conditions.append("string %d %r" % (op, text))
                elif vt == 0x08:
                    conditions.append("boolerr %d %d %d" % (op, doper[2], doper[3]))
                else:
                    conditions.append("type %d %d" % (vt, op))
            print("filter", sheet, entry, hex(flags), " | ".join(conditions))


def main():
    dump = {"xlrd": xlrd_dump, "openpyxl": openpyxl_dump, "biff": biff_dump}[sys.argv[1]]
    for path in sys.argv[2:]:
        print("FILE " + path)
        try:
            dump(path)
        except (ImportError, MemoryError):  # no verdict: the oracle cannot go on
            raise
        except Exception as ex:
            print("ERROR " + str(ex).replace("\n", " "))


main()
