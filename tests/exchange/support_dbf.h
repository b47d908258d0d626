#pragma once

#include "exchange/DBF.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "support_files.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace dbftest {

inline std::string A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

inline exchange::DbfDate FixedDay() {
    return {2024, 3, 5};
}

// A scratch folder that counts its entries.
struct Folder : testfiles::ScratchDir {
    int Entries() const { return testfiles::CountEntries(Path()); }
};
using testfiles::Slurp;
using testfiles::Spit;

// The message of the ED a call raises, "" when it raises none.
template <class F> std::string ErrorOf(F&& call) {
    try {
        call();
    } catch (const exchange::ED& e) {
        return e.what();
    }
    return "";
}

// Writes beyond `bytes` into any file fail (EFBIG) while the object lives: a disk that fills up half-way.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

// Creates a table with the given fields and records through TDBF; each record is a list of field texts.
inline void WriteTable(const std::string& path,
                       const std::vector<std::tuple<std::string, exchange::TDbfFieldType, int, int>>& defs,
                       const std::vector<std::vector<std::string>>& rows) {
    exchange::TDBF t;
    t.SetTableName(path);
    for (const auto& [name, type, size, dec] : defs) t.AddFieldDefs(name, type, size, dec);
    t.CreateTable();
    t.EmptyTable();
    for (const auto& row : rows) {
        t.Append();
        for (std::size_t i = 0; i < row.size(); ++i) t.SetFieldData(static_cast<int>(i + 1), row[i]);
        t.Post();
    }
    t.Close();
}

} // namespace dbftest
