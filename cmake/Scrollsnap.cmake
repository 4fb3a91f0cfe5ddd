# Helpers shared by the folders' CMakeLists.
#
# Sources are found by folder: the *.cpp files directly in a folder belong to
# its library, the *.cpp files in its tests/ folder to its test executable.

# ss_folder_sources(<out-var> <folder>...): the library sources of folders.
function(ss_folder_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND all ${srcs})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# ss_folder_tests(<name> <folder> LIBS <libs>...): builds <folder>/tests/*.cpp
# into the executable test_<name> and registers it with CTest. A file
# <folder>/tests/lib_<x>.cpp is not part of the executable: it becomes the
# loadable library build/lib/testlibs/<x>.so, which the tests find through
# $SCROLLSNAP_BUILD_DIR.
function(ss_folder_tests name dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
  file(GLOB libsrcs CONFIGURE_DEPENDS ${dir}/tests/lib_*.cpp)
  if(libsrcs)
    list(REMOVE_ITEM srcs ${libsrcs})
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  foreach(lib IN LISTS libsrcs)
    get_filename_component(libname ${lib} NAME_WE)
    string(REGEX REPLACE "^lib_" "" libname ${libname})
    add_library(testlib_${name}_${libname} MODULE ${lib})
    set_target_properties(testlib_${name}_${libname} PROPERTIES PREFIX "" OUTPUT_NAME ${libname}
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/testlibs)
    target_include_directories(testlib_${name}_${libname} PRIVATE ${PROJECT_SOURCE_DIR})
    add_dependencies(test_${name} testlib_${name}_${libname})
  endforeach()
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} ss_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SCROLLSNAP_SOURCE_DIR=${PROJECT_SOURCE_DIR};SCROLLSNAP_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
