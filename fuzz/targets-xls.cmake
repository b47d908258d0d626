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
