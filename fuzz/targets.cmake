
# Record lists fed with read records (recstore).
fuzz_target(NAME recordstorage SOURCES
  ${CMAKE_SOURCE_DIR}/recordstorage_fuzz.cpp
  ${Q710_ROOT}/SrcXLS/formats/RecordStorage.cpp
  ${Q710_ROOT}/SrcXLS/formats/DefaultRecords.cpp
  ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp
  ${Q710_ROOT}/platform/compound/CompoundFile.cpp
  ${Q710_ROOT}/platform/compound/CompoundImage.cpp)
