# Compound files, the BIFF record stream, record lists and the shared string
# table reader (their sources come from the instrumented core library).
fuzz_target(NAME cfb_parse SOURCES cfb_parse.cpp)
fuzz_target(NAME xls_records SOURCES xls_records.cpp)
fuzz_target(NAME recordstorage SOURCES recordstorage.cpp)
fuzz_target(NAME sst SOURCES sst.cpp)
# Formula tokens (every layout, every walker) and formula text (the encoder's modes).
fuzz_target(NAME formula_tokens SOURCES formula_tokens.cpp)
fuzz_target(NAME formula_text SOURCES formula_text.cpp)
# Number format masks as files hold them, rendered for any value.
fuzz_target(NAME number_mask SOURCES number_mask.cpp)
# Sheets added, deleted and renamed, formulas set, copied and moved on a
# small workbook made from the input, written in both formats and read back.
fuzz_target(NAME sheet_edits SOURCES sheet_edits.cpp)
