# Rows, columns, print settings and selection fed with read records.
fuzz_target(NAME rowscolumns SOURCES rowscolumns.cpp)
