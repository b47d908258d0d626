# Chart record trees of embedded charts and the chart model bound to them.
fuzz_target(NAME chart_records SOURCES chart_records.cpp)
