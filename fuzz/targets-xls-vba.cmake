# The macro project: its compressed containers, dir stream and module streams.
fuzz_target(NAME vba_project SOURCES vba_project.cpp)
