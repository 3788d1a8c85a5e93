# orvane_library(<target> SOURCES <files...> [LIBS <targets...>])
# One static library per source folder. Headers are included by their path
# from the repository root ("view/ICamera.h"). A folder that has no sources
# yet becomes an interface library, so dependants can already link to it.
function(orvane_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_SOURCES)
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

# orvane_test(<target> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# A GoogleTest program run through ctest, one ctest entry per test case so
# that every case gets a fresh process and a fresh private HOME.
function(orvane_test target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE orvane_testsupport ${ARG_LIBS})
  set(props TIMEOUT 120)
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
