// The log of imported goods rows that share a PLU code, written beside the
// import file after every goods import.
#pragma once

#include <string>
#include <vector>

#include "exchange/JobSide.h"

namespace exchange {

// One ANSI line (without line end) per entry that has later entries with its
// PLU not yet reported: "[PLU:p Barcode:b] Номер за списком: n = n2 = n3".
// Those later entries are marked reported. Barcodes are not compared.
std::vector<std::string> DuplicatePluLines(std::vector<GoodsDupCheckRecord>& entries);

// The log's name: the import file's full name with ".log" appended.
std::string DuplicatePluLogName(const std::string& importFile);

// Deletes an older log of the import file, then writes the lines of
// DuplicatePluLines, each ended by CR LF, when there is at least one.
// Throws platform::FileError when an older log cannot be removed or the log
// cannot be written ("Не вдається записати журнал повторних кодів PLU
// <log>: <reason>").
void WriteDuplicatePluLog(const std::string& importFile, std::vector<GoodsDupCheckRecord>& entries);

} // namespace exchange
