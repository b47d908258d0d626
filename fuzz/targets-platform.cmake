# XML documents and ini files.
fuzz_target(NAME xml_document SOURCES xml_document.cpp)
fuzz_target(NAME ini_file SOURCES ini_file.cpp)
