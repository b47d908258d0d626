# q710_glob(VAR dir...): the .cpp files under the given folders, re-globbed at
# build time so a new file needs no edit of the CMake files.
function(q710_glob var)
  set(all)
  foreach(d ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${d}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  set(${var} ${all} PARENT_SCOPE)
endfunction()

# q710_library(NAME name SOURCES ... LIBS ...): a static library, or an
# interface library while the folder holds no sources yet.
function(q710_library)
  cmake_parse_arguments(L "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(L_SOURCES)
    add_library(${L_NAME} STATIC ${L_SOURCES})
    target_include_directories(${L_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${L_NAME} PUBLIC ${L_LIBS})
  else()
    add_library(${L_NAME} INTERFACE)
    target_include_directories(${L_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${L_NAME} INTERFACE ${L_LIBS})
  endif()
endfunction()
