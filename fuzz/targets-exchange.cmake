# dBase III tables and XML report documents, as the imports read them.
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp)
fuzz_target(NAME report_frame SOURCES report_frame.cpp ${Q710_ROOT}/exchange/ReportDocument.cpp)
fuzz_target(NAME groups_csv SOURCES groups_csv.cpp ${Q710_ROOT}/exchange/GroupCsvLine.cpp
            ${Q710_ROOT}/exchange/CsvOptions.cpp ${Q710_ROOT}/exchange/NumberTexts.cpp
            ${Q710_ROOT}/console/NumberText.cpp)
# The goods readers of the CSV and XML imports, apart from the device and the windows.
set(goods_import_sources ${Q710_ROOT}/exchange/GoodsImportRun.cpp ${Q710_ROOT}/exchange/CsvOptions.cpp
    ${Q710_ROOT}/exchange/NumberTexts.cpp ${Q710_ROOT}/console/NumberText.cpp)
fuzz_target(NAME goods_csv SOURCES goods_csv.cpp ${Q710_ROOT}/exchange/GoodsCsvImport.cpp ${goods_import_sources})
fuzz_target(NAME goods_xml SOURCES goods_xml.cpp ${Q710_ROOT}/exchange/GoodsXmlImport.cpp
            ${Q710_ROOT}/exchange/ReportDocument.cpp ${goods_import_sources})
# The electronic journal stream and the Z report buffer, as the register hands them out.
set(journal_sources ${Q710_ROOT}/exchange/JournalStream.cpp ${Q710_ROOT}/exchange/JournalXml.cpp
    ${Q710_ROOT}/console/UInt64Lib.cpp)
fuzz_target(NAME journal_stream SOURCES journal_stream.cpp ${journal_sources})
fuzz_target(NAME zreport SOURCES zreport.cpp ${Q710_ROOT}/exchange/ZReportXml.cpp ${journal_sources})
