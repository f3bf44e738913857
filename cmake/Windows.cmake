# Windows build (mingw-w64): the real program, the resource library and the Win32 tests.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# Statically linked runtime: the program and the tests run from a bare folder.
add_link_options(-static -static-libgcc -static-libstdc++)

qa_glob(QA_WIN32_SOURCES src/platform/win32)
add_library(qa_win32 STATIC ${QA_WIN32_SOURCES})
target_link_libraries(qa_win32 PUBLIC qa_platform)
target_include_directories(qa_win32 PUBLIC src/platform/win32)
target_link_libraries(qa_win32 PUBLIC user32 gdi32 advapi32 shell32 comctl32 ole32 setupapi hid
                                      winmm version)

# The manifest names the program's own architecture: x86 for the product.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QA_MANIFEST_ARCH x86)
else()
  set(QA_MANIFEST_ARCH amd64)
endif()
set(QA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${QA_RES_DIR}/QuorvaneAuravo.manifest.in ${QA_GENERATED_DIR}/QuorvaneAuravo.manifest
               @ONLY)

# The program: GUI subsystem, Unicode entry point, manifest and version resource.
add_executable(QuorvaneAuravo WIN32 src/app/main_win32.cpp src/resources/QuorvaneAuravo.rc)
target_link_options(QuorvaneAuravo PRIVATE -municode)
target_link_libraries(QuorvaneAuravo PRIVATE qa_app qa_win32)
target_include_directories(QuorvaneAuravo PRIVATE ${QA_GENERATED_DIR})
set_source_files_properties(src/resources/QuorvaneAuravo.rc PROPERTIES
  OBJECT_DEPENDS "${QA_ART};${QA_RES_DIR}/KTRResource.rc;${QA_GENERATED_DIR}/QuorvaneAuravo.manifest")
# What ships has no symbol table (it only made the file larger); the linked file, symbols and
# all, stays in unstripped/ for debugging (same code at the same addresses).
add_custom_command(TARGET QuorvaneAuravo POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/unstripped
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:QuorvaneAuravo> ${CMAKE_BINARY_DIR}/unstripped/
  COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:QuorvaneAuravo>
  VERBATIM)

# The resource-only library: no code, no entry point (GNU ld takes an entry that names no
# symbol as an address, so "0" is the PE linker's /NOENTRY), no import library.
add_library(KTRResource SHARED src/resources/KTRResourceDll.rc)
set_target_properties(KTRResource PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_link_options(KTRResource PRIVATE -nostdlib -Wl,--entry=0 -s)
set_source_files_properties(src/resources/KTRResourceDll.rc PROPERTIES
  OBJECT_DEPENDS "${QA_ART};${QA_RES_DIR}/KTRResource.rc")

# Win32 tests, against the real API under Wine. GoogleTest is built from Debian's source.
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The UI conformance suite's bodies and templates are the native tier's too.
  qa_glob(QA_WIN32_TEST_SOURCES tests/win32 tests/conformance)
  if(QA_WIN32_TEST_SOURCES)
    add_executable(qa_win32_tests ${QA_WIN32_TEST_SOURCES} src/resources/QuorvaneAuravo.rc
                                  tests/conformance/ui_conformance.rc)
    target_link_libraries(qa_win32_tests PRIVATE qa_app qa_win32 gmock gtest)
    target_include_directories(qa_win32_tests PRIVATE tests tests/win32 tests/conformance
                                                  ${QA_GENERATED_DIR})

    # A library that is not the program's, for the tests of where the program takes its
    # libraries from: the program's resources with two texts changed, and code that marks
    # where it ran.
    file(READ ${QA_RES_DIR}/KTRResource.rc QA_PROBE_RC)
    string(REPLACE "\"QuorvaneAuravoSystemTrayApplication\"" "\"QA probe controller\""
           QA_PROBE_RC "${QA_PROBE_RC}")
    string(REPLACE "\"No USB Transmitter found\"" "\"QA probe notice\"" QA_PROBE_RC "${QA_PROBE_RC}")
    file(CONFIGURE OUTPUT ${QA_GENERATED_DIR}/probe/resource_probe.rc CONTENT "${QA_PROBE_RC}" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QA_RES_DIR}/KTRResource.rc)
    add_library(qa_resource_probe SHARED tests/win32/probe/resource_probe.cpp
                                         ${QA_GENERATED_DIR}/probe/resource_probe.rc)
    set_target_properties(qa_resource_probe PROPERTIES PREFIX "")
    target_include_directories(qa_resource_probe PRIVATE ${QA_RES_DIR})
    set_source_files_properties(${QA_GENERATED_DIR}/probe/resource_probe.rc PROPERTIES
      OBJECT_DEPENDS "${QA_ART}")
    add_dependencies(qa_win32_tests qa_resource_probe)
  endif()
endif()
include(cmake/Package.cmake)
