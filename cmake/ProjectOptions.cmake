# One target carries the language standard and the warnings for every target of the project.
add_library(zelbrin_options INTERFACE)
target_compile_features(zelbrin_options INTERFACE cxx_std_20)
target_compile_options(zelbrin_options INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wno-missing-field-initializers>)
target_compile_definitions(zelbrin_options INTERFACE
  QT_USE_QSTRINGBUILDER)

# Installs a program into the one program folder, next to its siblings.
set(ZELBRIN_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/zelbrin)
function(zelbrin_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${ZELBRIN_PROGRAM_DIR})
endfunction()

# A GoogleTest program beside the library it tests; WIDGETS ones run headless.
function(zelbrin_add_test name)
  cmake_parse_arguments(T "WIDGETS" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_WIDGETS)
    target_link_libraries(${name} PRIVATE zelbrin_widgettest_main)
  else()
    target_link_libraries(${name} PRIVATE zelbrin_coretest_main)
  endif()
  target_link_libraries(${name} PRIVATE zelbrin_options GTest::gtest GTest::gmock ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  # gtest_discover_tests' PROPERTIES lose the separators of a list value (every test got only
  # the first variable), so the environment is set by a file that CTest reads after the
  # discovered tests, from the list of their names.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${env_file}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;"
    "ZELBRIN_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ZELBRIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()
