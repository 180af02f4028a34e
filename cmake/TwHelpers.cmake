# Helpers shared by every folder.

# tw_add_module(<target> <WindowsFileName> SOURCES ...)
# A module is an ELF shared object whose file name is its Windows name
# ("TarnwickMon.dll"), so the layer's LoadLibraryW finds it by that name.
function(tw_add_module target winname)
  cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${target} MODULE ${M_SOURCES})
  get_filename_component(base ${winname} NAME_WE)
  get_filename_component(ext ${winname} EXT)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${base} SUFFIX ${ext})
  target_link_libraries(${target} PRIVATE twplatform ${M_LIBS})
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()

# tw_add_test_dir(<name> <dir> [LIBS ...])
# One GoogleTest executable per test folder; every *.cpp in it is a test source.
function(tw_add_test_dir name dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE twplatform twtest_main GTest::gmock GTest::gtest ${T_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  # Tests find their data beside their sources through this, not __FILE__
  # (which a compiler cache may make relative).
  target_compile_definitions(${name} PRIVATE TW_SOURCE_ROOT="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "TW_SHARED_DIR=${CMAKE_SOURCE_DIR}/../shared")
endfunction()

# tw_module_library(<target>)
# For static libraries linked into a module that tests load and unload.
# GCC makes inline variables "unique" symbols, and a module holding one is
# never unloaded: its statics would survive FreeLibrary. Compile without
# them so that a reload starts afresh.
function(tw_module_library target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  # The middle layer's libraries call each other (the job owns its writer,
  # the writer reports through its job): let the linker go round twice.
  set_property(TARGET ${target} PROPERTY LINK_INTERFACE_MULTIPLICITY 3)
endfunction()
