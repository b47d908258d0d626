# dBase III table files (imports read them from anywhere).
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp ${Q710_ROOT}/platform/AtomicFile.cpp
            ${Q710_ROOT}/platform/CodePages.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp)
