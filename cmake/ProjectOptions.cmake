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
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# The installed office, for the office worker and for what its client knows about it.
set(ZELBRIN_LO_PROGRAM_DIR "/usr/lib/libreoffice/program" CACHE PATH
    "LibreOffice program folder (soffice.bin, types.rdb, fundamentalrc)")
set(ZELBRIN_LO_SDK_DIR "/usr/lib/libreoffice/sdk" CACHE PATH "LibreOffice SDK folder (libreoffice-dev)")
