# dBase III tables and XML report documents, as the imports read them.
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp)
fuzz_target(NAME report_frame SOURCES report_frame.cpp ${Q710_ROOT}/exchange/ReportDocument.cpp)
fuzz_target(NAME groups_csv SOURCES groups_csv.cpp ${Q710_ROOT}/exchange/GroupCsvLine.cpp
            ${Q710_ROOT}/exchange/CsvOptions.cpp ${Q710_ROOT}/console/NumberText.cpp)
# The electronic journal stream and the Z report buffer, as the register hands them out.
set(journal_sources ${Q710_ROOT}/exchange/JournalStream.cpp ${Q710_ROOT}/exchange/JournalXml.cpp
    ${Q710_ROOT}/console/UInt64Lib.cpp)
fuzz_target(NAME journal_stream SOURCES journal_stream.cpp ${journal_sources})
fuzz_target(NAME zreport SOURCES zreport.cpp ${Q710_ROOT}/exchange/ZReportXml.cpp ${journal_sources})
