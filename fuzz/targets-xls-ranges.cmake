# Hyperlinks, conditional formats, data validations and autofilters: their
# records read from fuzzed bodies and written again.
fuzz_target(NAME sheet_ranges SOURCES sheet_ranges.cpp)
