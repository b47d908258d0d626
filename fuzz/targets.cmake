set(sim_dir ${Q710_ROOT}/device/simulator)
fuzz_target(NAME sim_state SOURCES sim_state.cpp ${sim_dir}/RegisterMemory.cpp ${sim_dir}/GoodsBase.cpp
            ${sim_dir}/SimText.cpp)
file(GLOB sim_sources ${sim_dir}/*.cpp)
list(FILTER sim_sources EXCLUDE REGEX "/Exports\\.cpp$")
fuzz_target(NAME sim_control SOURCES sim_control.cpp ${sim_sources})
find_package(LibXml2 REQUIRED)
fuzz_target(NAME report_frame SOURCES report_frame.cpp ${Q710_ROOT}/exchange/ReportDocument.cpp
            ${Q710_ROOT}/platform/XmlDocument.cpp ${Q710_ROOT}/platform/AtomicFile.cpp
            ${Q710_ROOT}/platform/CodePages.cpp ${Q710_ROOT}/platform/RegionalSettings.cpp
            LIBS LibXml2::LibXml2)
