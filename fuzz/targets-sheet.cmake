# --- sheetset: rows, columns, print settings and selection fed with read records ---
file(GLOB sheet_library_sources ${Q710_ROOT}/SrcXLS/*.cpp ${Q710_ROOT}/SrcXLS/model/*.cpp)
fuzz_target(NAME rowscolumns
  SOURCES ${Q710_ROOT}/fuzz/rowscolumns.cpp ${sheet_library_sources}
          ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp ${Q710_ROOT}/SrcXLS/formats/RecordStorage.cpp
          ${Q710_ROOT}/SrcXLS/formats/DefaultRecords.cpp
          ${Q710_ROOT}/platform/compound/CompoundFile.cpp ${Q710_ROOT}/platform/compound/CompoundImage.cpp
          ${Q710_ROOT}/platform/AtomicFile.cpp ${Q710_ROOT}/platform/CodePages.cpp)
