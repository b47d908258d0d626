# dBase III table files (imports read them from anywhere).
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp ${Q710_ROOT}/platform/AtomicFile.cpp
            ${Q710_ROOT}/platform/CodePages.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp)
# XML report documents as the imports read them.
find_package(LibXml2 REQUIRED)
fuzz_target(NAME report_frame
  SOURCES ${Q710_ROOT}/fuzz/report_frame.cpp
          ${Q710_ROOT}/exchange/ReportDocument.cpp
          ${Q710_ROOT}/platform/XmlDocument.cpp
          ${Q710_ROOT}/platform/AtomicFile.cpp
          ${Q710_ROOT}/platform/CodePages.cpp
          ${Q710_ROOT}/platform/RegionalSettings.cpp
  LIBS LibXml2::LibXml2)
