// The table of xlsx_peers.py written by SheetJS (npm "xlsx"):
//   node sheetjs_write.js ORACLEDIR OUT.xlsx
// ORACLEDIR holds node_modules/xlsx.
const XLSX = require(process.argv[2] + "/node_modules/xlsx");
const ws = XLSX.utils.aoa_to_sheet([
    ["Назва", 12.5, true], ["a & <b>", -3], ["  lead", 1234567890123, 0.1], ["рядок\nдругий"]]);
ws["D1"] = {t: "n", f: "B1*2", v: 25};
ws["!ref"] = "A1:D4";
const wb = XLSX.utils.book_new();
XLSX.utils.book_append_sheet(wb, ws, "Goods & groups");
XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([["x"]]), "Second");
XLSX.writeFile(wb, process.argv[3]);
