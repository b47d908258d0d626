// Hand-made BIFF record streams for the reader's tests, streams written
// by the record writers, and the record lists of workbook streams.
#pragma once

#include "SrcXLS/formats/XLSStream.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace biffbuild {

using Bytes = std::vector<uint8_t>;

struct Body {
    Bytes b;
    Body& U8(uint8_t v);
    Body& U16(uint16_t v);
    Body& U32(uint32_t v);
    Body& F64(double v);
    Body& Raw(std::initializer_list<uint8_t> v);
    Body& Raw(const Bytes& v);
    // u16 count, flag 0, Latin-1 characters (BIFF8).
    Body& Str16(const std::string& latin1);
    // u8 count, 8-bit characters (BIFF5 and below).
    Body& Str8(const std::string& bytes);
};

class Stream {
public:
    Stream& Rec(uint16_t id, const Body& body = {});
    Stream& Rec(uint16_t id, const Bytes& body);
    Stream& Raw(const Bytes& bytes);
    const Bytes& Data() const { return data; }

    // BOF of BIFF8 (version 0x0600) or BIFF5 (0x0500) of a substream type.
    Stream& Bof8(uint16_t type);
    Stream& Bof5(uint16_t type);
    Stream& Eof() { return Rec(0x000A); }
    Stream& BoundSheet8(const std::string& name, uint8_t visibility = 0, uint8_t type = 0);
    Stream& BoundSheet5(const std::string& name);
    Stream& Number(uint16_t row, uint16_t col, double v, uint16_t xf = 15);
    Stream& Formula(uint16_t row, uint16_t col, const Bytes& result, uint16_t options, const Bytes& tokens);

private:
    Bytes data;
};

// The stream as "Workbook" (or "Book") in a compound file image.
Bytes CompoundImage(const Bytes& stream, const char16_t* name = u"Workbook");

struct Record {
    uint16_t Id;
    Bytes Body;
    bool operator==(const Record&) const = default;
};
// The records of a workbook stream; a cut record ends the list, or, when
// whole is asked for, is an error (streams this library wrote).
std::vector<Record> Records(const Bytes& stream, bool whole = false);
std::vector<uint16_t> IdsOf(const std::vector<Record>& records);
// The first record of an id, or null.
const Record* Find(const std::vector<Record>& records, uint16_t id);
size_t CountOf(const std::vector<Record>& records, uint16_t id);
// The records of each substream (globals first), split at BOF/EOF pairs of
// the top level; records of nested substreams stay with their parent.
std::vector<std::vector<Record>> Substreams(const Bytes& stream);
// The "Workbook" or "Book" stream of a compound file image, or the image
// itself when it is a plain BIFF2-BIFF4 file.
Bytes WorkbookStream(const Bytes& image);
Bytes WorkbookStream(const std::string& image);
// Runs the writer on a stream opened for the version and answers the bytes
// of its workbook stream.
Bytes Written(const std::function<void(xls::TXLSStream&)>& writer,
              xls::TExcelVersion v = xls::TExcelVersion::xvExcel97);

} // namespace biffbuild
