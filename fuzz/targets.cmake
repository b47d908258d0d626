# Compound files and the BIFF record stream.
set(cfb_sources ${Q710_ROOT}/platform/compound/CompoundFile.cpp ${Q710_ROOT}/platform/compound/CompoundImage.cpp)
fuzz_target(NAME cfb_parse SOURCES cfb_parse.cpp ${cfb_sources})
fuzz_target(NAME xls_records SOURCES xls_records.cpp ${cfb_sources} ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp)
