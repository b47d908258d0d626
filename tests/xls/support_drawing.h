// Sheet drawings in tests: a drawing written to records, records read into
// a drawing, and the drawing records of a sheet decoded into lines that two
// files can be compared by (drawing records as a tree, OBJ bodies, TXO texts
// and runs, NOTE records), whatever the BIFF records they were cut into.
#pragma once

#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "support_biffbuild.h"

#include <functional>
#include <string>
#include <vector>

namespace drawingtest {

using biffbuild::Bytes;
using biffbuild::Record;

// The records a writer makes on a BIFF8 stream.
std::vector<Record> WrittenRecords(const std::function<void(xls::TXLSStream&)>& writer);

// A BIFF8 stream over the records, opened for reading and standing at the
// first of them.
class RecordReader {
public:
    explicit RecordReader(const std::vector<Record>& records);
    xls::TXLSStream& Stream() { return stream; }
    // The records not read yet.
    std::vector<Record> Rest();

private:
    Bytes image;
    xls::TXLSStream stream;
};

// The records WriteDrawing makes.
std::vector<Record> WrittenDrawing(const xls::TEscherDrawing& drawing);
// The drawing group's MSODRAWINGGROUP record and its CONTINUEs.
std::vector<Record> WrittenGroup(xls::TEscherGroup& group);

// Reads records (the first an MSODRAWING) into the drawing, binding the NOTE
// records that follow it; raises what the reader raises. Answers the
// records left after the drawing and its notes.
std::vector<Record> ReadDrawingFrom(xls::TEscherDrawing& drawing, const std::vector<Record>& records);
// Reads an MSODRAWINGGROUP record and its CONTINUEs into the group.
void ReadGroupFrom(xls::TEscherGroup& group, const std::vector<Record>& records);

// One line per drawing record (indented by depth, containers by type alone),
// OBJ body, TXO (options, text, runs) and NOTE (sorted, at the end); the Dg
// record, whose counts the writer computes, left out. Given the blip names
// of the workbook, picture references show the name of their picture.
std::vector<std::string> DecodeDrawing(const std::vector<Record>& sheetRecords,
                                       const std::vector<std::string>* blipNames = nullptr);
// Per entry of the picture store, in file order: its picture data's digest
// (metafiles inflated), or "none" for an entry without picture.
std::vector<std::string> BlipNames(const std::vector<Record>& globals);

// drawing_oracle.py's command on the files: the lines it wrote for each
// (the first OK, FAIL<TAB>message, or NOVERDICT<TAB>reason when it gave none:
// the test has failed or been marked skipped then).
std::vector<std::vector<std::string>> DrawingOracle(const std::string& command,
                                                    const std::vector<std::string>& files);

// Bytes of n characters, each UTF-16.
std::u16string TextOf(size_t n);

} // namespace drawingtest
