// Records a workbook keeps as they were read, because the model does not
// hold them, go into a file of another version only where their layout is
// that version's too; the others are left out, and named.
#pragma once

#include "SrcXLS/formats/DefaultRecords.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace xls {

// True when a record of this id, read in version read, has the same layout
// in version written.
bool KeptLayoutIsShared(uint16_t id, TExcelVersion read, TExcelVersion written);

// For each record of the list, whether the writer writes it: defaults and
// placeholders are the writer's own; a kept record goes as it was only
// where its layout is shared (never into an Excel 4 file, whose writer
// makes every record itself), its CONTINUE records with it, and a
// substream kept inside a sheet (an embedded chart) whole or not at all.
std::vector<bool> KeptRecordsWritten(const TRecordStorageDefault& list, TExcelVersion read,
                                     TExcelVersion written);

// The kept records of the list that a write in version written leaves out:
// one name per id in list order ("DV (0x01BE) x2"), and the substreams
// (their records not named one by one); ids in skip are named elsewhere.
struct TKeptLeftOut {
    std::vector<std::string> Names;
    int Substreams = 0;
};
TKeptLeftOut KeptRecordsLeftOut(const TRecordStorageDefault& list, TExcelVersion read, TExcelVersion written,
                                std::initializer_list<uint16_t> skip = {});

// True for a kept record of another version's layout that the writer
// makes anew in the layout of the version written (INTERFACEHDR).
bool RewritesKeptRecord(uint16_t id, TExcelVersion read, TExcelVersion written);

} // namespace xls
