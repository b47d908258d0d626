# The BIFF workbook reader: a raw BIFF8 workbook stream, a plain BIFF2-BIFF4
# file (the same driver as a whole image, seeded with plain files) and a
# whole .xls image.
fuzz_target(NAME xls_reader_stream SOURCES xls_reader_stream.cpp)
fuzz_target(NAME xls_reader_plain SOURCES xls_reader_file.cpp)
fuzz_target(NAME xls_reader_file SOURCES xls_reader_file.cpp)
# The reader behind a FILEPASS: decryption and the decrypted records.
fuzz_target(NAME xls_decrypt SOURCES xls_decrypt.cpp)
# A whole .xls image read and written again as Excel 97, Excel 5 and Excel 4.
fuzz_target(NAME xls_copy SOURCES xls_copy.cpp)
