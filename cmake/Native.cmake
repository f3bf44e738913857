# Native build (Linux): the program's logic on the simulated PC, the tests, the simulator,
# the benchmarks and the fuzz targets.

# The resources in their compiled (.res) form, embedded for the simulated PC.
set(QA_RES_FILE ${CMAKE_BINARY_DIR}/KTRResource.res)
set(QA_RES_CPP ${CMAKE_BINARY_DIR}/KTRResource_res.cpp)
add_custom_command(
  OUTPUT ${QA_RES_FILE}
  COMMAND ${QA_WINDRES} -I${QA_RES_DIR} -O res ${QA_RES_DIR}/KTRResource.rc -o ${QA_RES_FILE}
  DEPENDS ${QA_RES_DIR}/KTRResource.rc ${QA_RES_DIR}/resource.h ${QA_ART}
  WORKING_DIRECTORY ${QA_RES_DIR}
  COMMENT "Compiling KTRResource.rc for the simulated PC")
add_custom_command(
  OUTPUT ${QA_RES_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${QA_RES_FILE} -DOUTPUT=${QA_RES_CPP} -DSYMBOL=qa_resource_blob
          -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
  DEPENDS ${QA_RES_FILE} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake)

qa_glob(QA_SIM_SOURCES src/platform/sim)
add_library(qa_sim STATIC ${QA_SIM_SOURCES} ${QA_RES_CPP})
target_link_libraries(qa_sim PUBLIC qa_platform)
target_include_directories(qa_sim PUBLIC src/platform/sim)

# The simulator: runs the whole program on the simulated PC from a scenario file.
qa_glob(QA_SCENARIO_SOURCES src/sim)
list(FILTER QA_SCENARIO_SOURCES EXCLUDE REGEX ".*/main\\.cpp$")
if(QA_SCENARIO_SOURCES)
  add_library(qa_scenario STATIC ${QA_SCENARIO_SOURCES})
  target_link_libraries(qa_scenario PUBLIC qa_app qa_sim)
  target_include_directories(qa_scenario PUBLIC src/sim)
  add_executable(qa_simulator ${CMAKE_SOURCE_DIR}/src/sim/main.cpp)
  target_link_libraries(qa_simulator PRIVATE qa_scenario)
endif()

# The UI conformance suite's templates, embedded the same way for its native tier.
set(QA_CONFORMANCE_DIR ${CMAKE_SOURCE_DIR}/tests/conformance)
set(QA_CONFORMANCE_RES ${CMAKE_BINARY_DIR}/ui_conformance.res)
set(QA_CONFORMANCE_CPP ${CMAKE_BINARY_DIR}/ui_conformance_res.cpp)
add_custom_command(
  OUTPUT ${QA_CONFORMANCE_RES}
  COMMAND ${QA_WINDRES} -I${QA_CONFORMANCE_DIR} -O res ${QA_CONFORMANCE_DIR}/ui_conformance.rc
          -o ${QA_CONFORMANCE_RES}
  DEPENDS ${QA_CONFORMANCE_DIR}/ui_conformance.rc ${QA_CONFORMANCE_DIR}/ui_conformance_ids.h
  WORKING_DIRECTORY ${QA_CONFORMANCE_DIR}
  COMMENT "Compiling the UI conformance templates for the simulated PC")
add_custom_command(
  OUTPUT ${QA_CONFORMANCE_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${QA_CONFORMANCE_RES} -DOUTPUT=${QA_CONFORMANCE_CPP}
          -DSYMBOL=qa_conformance_res -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
  DEPENDS ${QA_CONFORMANCE_RES} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake)

enable_testing()
find_package(GTest REQUIRED)
qa_glob(QA_TEST_SOURCES tests tests/conformance)
add_executable(qa_tests ${QA_TEST_SOURCES} ${QA_CONFORMANCE_CPP})
target_include_directories(qa_tests PRIVATE tests tests/conformance)
target_link_libraries(qa_tests PRIVATE qa_app qa_sim GTest::gmock GTest::gtest_main)
if(TARGET qa_scenario)
  target_link_libraries(qa_tests PRIVATE qa_scenario)
endif()
include(GoogleTest)
gtest_discover_tests(qa_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

# The layers hold: a source of the transmitter's layer that includes the controller's header
# does not compile. The probe is outside the default build; the test builds it and passes only
# on the compiler's own report that this header is missing (GCC's words, or Clang's), so that
# no other failure can pass for it.
add_library(qa_layering_probe OBJECT EXCLUDE_FROM_ALL tests/layering/upward_include.cpp)
target_link_libraries(qa_layering_probe PRIVATE qa_transmitter)
add_test(NAME layering.upward_include_fails
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target qa_layering_probe)
set_tests_properties(layering.upward_include_fails PROPERTIES PASS_REGULAR_EXPRESSION
  "QuorvaneAuravoSystemTrayApplicationDlg\\.h: No such file|'QuorvaneAuravoSystemTrayApplicationDlg\\.h' file not found")

# No cycle among the folders as their #include lines join them, relative paths included, which
# the include directories above cannot stop.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME layering.no_folder_cycle
           COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/include-graph
                   ${CMAKE_SOURCE_DIR}/src)
endif()

# Every example scenario is also a test: the simulator must pass it.
if(TARGET qa_simulator)
  file(GLOB QA_EXAMPLES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*.scenario)
  foreach(example IN LISTS QA_EXAMPLES)
    get_filename_component(name ${example} NAME_WE)
    add_test(NAME scenario.${name} COMMAND qa_simulator ${example})
  endforeach()
endif()

find_package(benchmark QUIET)
qa_glob(QA_BENCH_SOURCES bench)
if(benchmark_FOUND AND QA_BENCH_SOURCES)
  foreach(src IN LISTS QA_BENCH_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE qa_app qa_sim benchmark::benchmark)
  endforeach()
endif()

if(QA_FUZZ)
  qa_glob(QA_FUZZ_SOURCES fuzz)
  foreach(src IN LISTS QA_FUZZ_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address)
    target_link_libraries(${name} PRIVATE qa_app qa_sim)
    target_include_directories(${name} PRIVATE fuzz tests)
  endforeach()
endif()
