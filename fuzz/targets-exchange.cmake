# dBase III tables and XML report documents, as the imports read them.
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp)
fuzz_target(NAME report_frame SOURCES report_frame.cpp ${Q710_ROOT}/exchange/ReportDocument.cpp)
fuzz_target(NAME groups_csv SOURCES groups_csv.cpp ${Q710_ROOT}/exchange/GroupCsvLine.cpp
            ${Q710_ROOT}/exchange/CsvOptions.cpp ${Q710_ROOT}/console/NumberText.cpp)
