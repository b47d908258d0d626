// Written BIFF streams for tests: run a writer on an in-memory record
// stream and take the bytes apart into records.
#pragma once

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/XLSStream.h"
#include "platform/compound/CompoundFile.h"

#include <functional>
#include <vector>

struct TestRecord {
    uint16_t Id;
    std::vector<uint8_t> Body;
};

// The workbook stream ("Workbook" or "Book") of a compound image, or the
// image itself when it is a plain BIFF2-BIFF4 file.
inline std::vector<uint8_t> WorkbookStreamOf(const std::vector<uint8_t>& image) {
    using platform::cfb::CompoundFile;
    if (!CompoundFile::IsCompoundFile(image)) return image;
    CompoundFile f = CompoundFile::Parse(image);
    for (const char16_t* name : {u"Workbook", u"Book"})
        if (auto* e = f.Root().FindStream(name)) return e->Data;
    return {};
}

// Runs the writer on a stream opened for the version and answers the bytes
// of its workbook stream.
inline std::vector<uint8_t> WrittenStream(const std::function<void(xls::TXLSStream&)>& writer,
                                          xls::TExcelVersion v = xls::TExcelVersion::xvExcel97) {
    std::vector<uint8_t> image;
    xls::TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", v);
    writer(s);
    s.Close();
    return WorkbookStreamOf(image);
}

inline std::vector<TestRecord> RecordsOf(const std::vector<uint8_t>& bytes) {
    std::vector<TestRecord> out;
    xls::TByteReader r(bytes);
    while (!r.AtEnd()) {
        uint16_t id = r.U16("id");
        uint16_t len = r.U16("length");
        auto body = r.Bytes(len, "body");
        out.push_back({id, std::vector<uint8_t>(body.begin(), body.end())});
    }
    return out;
}

inline std::vector<uint16_t> IdsOf(const std::vector<TestRecord>& records) {
    std::vector<uint16_t> ids;
    for (const auto& r : records) ids.push_back(r.Id);
    return ids;
}
