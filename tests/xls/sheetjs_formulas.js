// The formulas of workbooks as SheetJS reads them (cellFormula), the oracle
// of written formulas. Usage: node sheetjs_formulas.js MODULE_DIR OUTDIR
// FILE...; for FILE number i it writes OUTDIR/i.txt, OK (or FAIL<TAB>message,
// or LIMIT<TAB>message when it ran out of memory) and one line per formula cell:
//   F<TAB>sheet index<TAB>row<TAB>col<TAB>formula<TAB>cached value
const fs = require("fs");
const XLSX = require(process.argv[2] + "/node_modules/xlsx");
const escape = (s) =>
  String(s).replace(/\\/g, "\\\\").replace(/\t/g, "\\t").replace(/\n/g, "\\n").replace(/\r/g, "\\r");
process.argv.slice(4).forEach((file, i) => {
  let lines;
  try {
    const book = XLSX.readFile(file, { cellFormula: true });
    lines = ["OK"];
    book.SheetNames.forEach((name, s) => {
      const sheet = book.Sheets[name];
      for (const ref of Object.keys(sheet)) {
        if (ref[0] === "!" || sheet[ref].f === undefined) continue;
        const at = XLSX.utils.decode_cell(ref);
        lines.push(["F", s, at.r, at.c, escape(sheet[ref].f), escape(sheet[ref].v)].join("\t"));
      }
    });
  } catch (e) {
    // Out of memory under the tests' cap is no verdict on the file.
    const limit = e instanceof RangeError && /allocation failed|out of memory/i.test(e.message);
    lines = [(limit ? "LIMIT\t" : "FAIL\t") + escape(e.message)];
  }
  fs.writeFileSync(process.argv[3] + "/" + i + ".txt", lines.join("\n") + "\n");
});
