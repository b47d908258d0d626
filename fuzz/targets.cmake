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
