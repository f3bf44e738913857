# What the windows preset ships: the help file, compiled from help/, and the installer,
# QuorvaneAuravoSetup-<version>.exe, which carries the program, the resource library and the
# help file. Both are built by default with the rest of the preset.
find_program(QA_CHMCMD chmcmd REQUIRED)      # Debian: fp-utils
find_program(QA_MAKENSIS makensis REQUIRED)  # Debian: nsis

# ---------------------------------------------------------------- help file
# The compiler writes next to its project, so it runs on a copy of the sources, in their folder.
file(GLOB QA_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*)
set(QA_HELP_WORK ${CMAKE_BINARY_DIR}/help)
set(QA_HELP_FILE "${CMAKE_BINARY_DIR}/Quorvane Auravo.chm")
add_custom_command(
  OUTPUT ${QA_HELP_FILE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QA_HELP_WORK}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/help ${QA_HELP_WORK}
  COMMAND ${CMAKE_COMMAND} -E chdir ${QA_HELP_WORK} ${QA_CHMCMD} --verbosity 1 QuorvaneAuravo.hhp
  COMMAND ${CMAKE_COMMAND} -E rename "${QA_HELP_WORK}/Quorvane Auravo.chm" ${QA_HELP_FILE}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS ${QA_HELP_SOURCES}
  COMMENT "Compiling the help file"
  VERBATIM)
add_custom_target(qa_help ALL DEPENDS ${QA_HELP_FILE})

# ---------------------------------------------------------------- installer
set(QA_SETUP_FILE ${CMAKE_BINARY_DIR}/QuorvaneAuravoSetup-${PROJECT_VERSION}.exe)
set(QA_NSIS_SCRIPT ${CMAKE_SOURCE_DIR}/installer/QuorvaneAuravo.nsi)
# The 64-bit build's installer carries its 64-bit program: it only serves the Wine tiers of a
# machine that cannot run 32-bit programs (scripts/test).
set(QA_NSIS_TARGET "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QA_NSIS_TARGET -DTARGET=amd64-unicode)
endif()
add_custom_command(
  OUTPUT ${QA_SETUP_FILE}
  COMMAND ${QA_MAKENSIS} -V2 -WX -NOCD
          -DVERSION=${PROJECT_VERSION}
          -DOUTFILE=${QA_SETUP_FILE}
          -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DICON=${QA_RES_DIR}/art/app.ico
          ${QA_NSIS_TARGET}
          ${QA_NSIS_SCRIPT}
  DEPENDS ${QA_NSIS_SCRIPT} ${QA_HELP_FILE} $<TARGET_FILE:QuorvaneAuravo> $<TARGET_FILE:KTRResource>
          QuorvaneAuravo KTRResource
  COMMENT "Building the installer QuorvaneAuravoSetup-${PROJECT_VERSION}.exe"
  VERBATIM)
add_custom_target(qa_installer ALL DEPENDS ${QA_SETUP_FILE})

# ---------------------------------------------------------------- installer tests
# Run under Wine by scripts/installer-tests, in a prefix of their own. Wine's user is an
# administrator: the refusal of a user without the rights is tried on a setup built to see none.
set(QA_NOT_ADMIN_SETUP ${CMAKE_BINARY_DIR}/installer-test/qa_setup_not_admin.exe)
add_custom_command(
  OUTPUT ${QA_NOT_ADMIN_SETUP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer-test
  COMMAND ${QA_MAKENSIS} -V2 -WX -NOCD
          -DVERSION=${PROJECT_VERSION}
          -DOUTFILE=${QA_NOT_ADMIN_SETUP}
          -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DICON=${QA_RES_DIR}/art/app.ico
          -DTEST_NOT_ADMIN
          ${QA_NSIS_TARGET}
          ${QA_NSIS_SCRIPT}
  DEPENDS ${QA_SETUP_FILE}
  COMMENT "Building the installer tests' setup without administrator rights"
  VERBATIM)
add_custom_target(qa_installer_not_admin DEPENDS ${QA_NOT_ADMIN_SETUP})

if(TARGET gtest)
  add_executable(qa_installer_tests tests/installer/installer_test.cpp)
  # qa_app for the headers the Win32 tests' shared helpers include.
  target_link_libraries(qa_installer_tests PRIVATE qa_app qa_win32 gtest ole32 uuid shell32)
  target_include_directories(qa_installer_tests PRIVATE tests tests/win32)
  target_compile_definitions(qa_installer_tests PRIVATE "QA_VERSION_W=L\"${PROJECT_VERSION}\"")
  add_dependencies(qa_installer_tests qa_installer qa_installer_not_admin)
endif()

# The README's pictures, drawn by the real menus and dialogs under Wine (scripts/screenshots
# runs it). Built with the preset so that a change that breaks it shows at once.
add_executable(qa_screenshots tests/screenshots/screenshots.cpp src/resources/QuorvaneAuravo.rc)
target_link_options(qa_screenshots PRIVATE -municode)
target_link_libraries(qa_screenshots PRIVATE qa_app qa_win32)
target_include_directories(qa_screenshots PRIVATE tests tests/win32 ${QA_GENERATED_DIR})
