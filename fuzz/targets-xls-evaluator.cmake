# The formula evaluator over token bytes in every layout, on a small workbook.
fuzz_target(NAME formula_evaluator SOURCES formula_evaluator.cpp)
