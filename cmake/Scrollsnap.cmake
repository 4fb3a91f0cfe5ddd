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
# into the executable test_<name> and registers it with CTest.
function(ss_folder_tests name dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/tests/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} ss_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SCROLLSNAP_SOURCE_DIR=${PROJECT_SOURCE_DIR};SCROLLSNAP_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
