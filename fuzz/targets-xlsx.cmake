# Office Open XML packages: the XML tokenizer with the element tree, the
# package reader and writer over the parts of a package, and a whole .xlsx
# image through the zip container; the external link and table parts that
# formulas read.
fuzz_target(NAME xlsx_xml SOURCES xlsx_xml.cpp)
fuzz_target(NAME xlsx_package SOURCES xlsx_package.cpp)
fuzz_target(NAME xlsx_file SOURCES xlsx_file.cpp)
fuzz_target(NAME xlsx_linked_parts SOURCES xlsx_linked_parts.cpp)
# Shared and array formulas of a package: texts, values (as the workbook
# imports take them too) and the binary write.
fuzz_target(NAME xlsx_formulas SOURCES xlsx_formulas.cpp ${Q710_ROOT}/exchange/WorkbookCells.cpp)
