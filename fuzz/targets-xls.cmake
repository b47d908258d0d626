# --- cfb: compound files and the BIFF record stream ---
set(cfb_sources ${Q710_ROOT}/platform/compound/CompoundFile.cpp ${Q710_ROOT}/platform/compound/CompoundImage.cpp
                ${Q710_ROOT}/platform/AtomicFile.cpp ${Q710_ROOT}/platform/CodePages.cpp)
fuzz_target(NAME cfb_parse SOURCES ${Q710_ROOT}/fuzz/cfb_parse.cpp ${cfb_sources})
fuzz_target(NAME xls_records
  SOURCES ${Q710_ROOT}/fuzz/xls_records.cpp ${cfb_sources} ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp)

# --- recstore: record lists fed with read records ---
fuzz_target(NAME recordstorage
  SOURCES ${Q710_ROOT}/fuzz/recordstorage.cpp ${cfb_sources} ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp
          ${Q710_ROOT}/SrcXLS/formats/RecordStorage.cpp ${Q710_ROOT}/SrcXLS/formats/DefaultRecords.cpp)

# --- xlsbase: the shared string table reader ---
set(xlsbase_sources
    ${Q710_ROOT}/SrcXLS/XLSChecksum.cpp ${Q710_ROOT}/SrcXLS/XLSColors.cpp ${Q710_ROOT}/SrcXLS/XLSLibState.cpp
    ${Q710_ROOT}/SrcXLS/XLSLocale.cpp ${Q710_ROOT}/SrcXLS/XLSText.cpp ${Q710_ROOT}/SrcXLS/model/HashTrie.cpp
    ${Q710_ROOT}/SrcXLS/model/XFonts.cpp ${Q710_ROOT}/SrcXLS/model/CellFormats.cpp
    ${Q710_ROOT}/SrcXLS/model/NumberFormats.cpp ${Q710_ROOT}/SrcXLS/model/ExcelMask.cpp
    ${Q710_ROOT}/SrcXLS/model/WideStringList.cpp ${Q710_ROOT}/SrcXLS/model/SST.cpp
    ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp)
fuzz_target(NAME sst SOURCES ${Q710_ROOT}/fuzz/sst.cpp ${xlsbase_sources} ${cfb_sources})
