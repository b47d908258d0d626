# Sheet drawings, the drawing group with its pictures, bitmaps converted to
# PNG, the OBJ, TXO and NOTE records of shapes, and form controls.
fuzz_target(NAME drawing_sheet SOURCES drawing_sheet.cpp)
fuzz_target(NAME drawing_group SOURCES drawing_group.cpp)
fuzz_target(NAME drawing_bitmap SOURCES drawing_bitmap.cpp)
fuzz_target(NAME drawing_objects SOURCES drawing_objects.cpp)
fuzz_target(NAME drawing_controls SOURCES drawing_controls.cpp)
