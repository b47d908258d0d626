# --- platform: XML document service ---
find_package(LibXml2 REQUIRED)
fuzz_target(NAME xml_document
  SOURCES ${Q710_ROOT}/fuzz/xml_document.cpp
          ${Q710_ROOT}/platform/XmlDocument.cpp
          ${Q710_ROOT}/platform/AtomicFile.cpp
          ${Q710_ROOT}/platform/CodePages.cpp
          ${Q710_ROOT}/platform/RegionalSettings.cpp
  LIBS LibXml2::LibXml2)
fuzz_target(NAME ini_file
  SOURCES ${Q710_ROOT}/fuzz/ini_file.cpp
          ${Q710_ROOT}/platform/IniFile.cpp
          ${Q710_ROOT}/platform/AtomicFile.cpp)
# --- end platform ---

# --- cfb: compound files and the BIFF record stream ---
set(cfb_sources ${Q710_ROOT}/platform/compound/CompoundFile.cpp ${Q710_ROOT}/platform/compound/CompoundImage.cpp
                ${Q710_ROOT}/platform/AtomicFile.cpp ${Q710_ROOT}/platform/CodePages.cpp)
fuzz_target(NAME cfb_parse SOURCES ${Q710_ROOT}/fuzz/cfb_parse.cpp ${cfb_sources})
fuzz_target(NAME xls_records
  SOURCES ${Q710_ROOT}/fuzz/xls_records.cpp ${cfb_sources} ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp)
# --- end cfb ---

# --- xlsbase: the shared string table reader ---
set(xlsbase_sources
    ${Q710_ROOT}/SrcXLS/XLSChecksum.cpp ${Q710_ROOT}/SrcXLS/XLSColors.cpp ${Q710_ROOT}/SrcXLS/XLSLibState.cpp
    ${Q710_ROOT}/SrcXLS/XLSLocale.cpp ${Q710_ROOT}/SrcXLS/XLSText.cpp ${Q710_ROOT}/SrcXLS/model/HashTrie.cpp
    ${Q710_ROOT}/SrcXLS/model/XFonts.cpp ${Q710_ROOT}/SrcXLS/model/CellFormats.cpp
    ${Q710_ROOT}/SrcXLS/model/NumberFormats.cpp ${Q710_ROOT}/SrcXLS/model/ExcelMask.cpp
    ${Q710_ROOT}/SrcXLS/model/WideStringList.cpp ${Q710_ROOT}/SrcXLS/model/SST.cpp
    ${Q710_ROOT}/SrcXLS/formats/XLSStream.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp)
fuzz_target(NAME sst SOURCES ${Q710_ROOT}/fuzz/sst.cpp ${xlsbase_sources} ${cfb_sources})
# --- end xlsbase ---
