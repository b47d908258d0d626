# --- device: the simulated register's state file and control commands ---
set(sim_dir ${Q710_ROOT}/device/simulator)
fuzz_target(NAME sim_state SOURCES sim_state.cpp ${sim_dir}/RegisterMemory.cpp ${sim_dir}/GoodsBase.cpp
            ${sim_dir}/Sales.cpp ${sim_dir}/SimText.cpp)
file(GLOB sim_sources ${sim_dir}/*.cpp)
list(FILTER sim_sources EXCLUDE REGEX "/Exports\\.cpp$")
fuzz_target(NAME sim_control SOURCES sim_control.cpp ${sim_sources})
