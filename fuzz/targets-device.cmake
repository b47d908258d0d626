# --- device: the simulated register's state file and control commands ---
set(sim_dir ${Q710_ROOT}/device/simulator)
fuzz_target(NAME sim_state SOURCES sim_state.cpp ${sim_dir}/RegisterMemory.cpp ${sim_dir}/GoodsBase.cpp
            ${sim_dir}/SimText.cpp)
file(GLOB sim_sources ${sim_dir}/*.cpp)
list(FILTER sim_sources EXCLUDE REGEX "/Exports\\.cpp$")
fuzz_target(NAME sim_control SOURCES sim_control.cpp ${sim_sources})
# dBase III table files (imports read them from anywhere).
fuzz_target(NAME dbf SOURCES dbf.cpp ${Q710_ROOT}/exchange/DBF.cpp ${Q710_ROOT}/platform/AtomicFile.cpp
            ${Q710_ROOT}/platform/CodePages.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp)
