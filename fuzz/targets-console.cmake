# --- console: "\Discount.ini" as the discount-group page loads it ---
fuzz_target(NAME discount_ini SOURCES discount_ini.cpp ${Q710_ROOT}/console/DiscountGroups.cpp
            ${Q710_ROOT}/console/UInt64Lib.cpp ${Q710_ROOT}/device/DeviceLibrary.cpp LIBS ${CMAKE_DL_LIBS})
