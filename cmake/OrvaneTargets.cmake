# Helpers shared by every module's CMakeLists.
include(GoogleTest)

# ov_test(NAME n SOURCES ... [LIBS ...] [LABEL l])
# One GoogleTest program; each test case becomes a ctest entry named "<program>.<Suite>.<Test>",
# labelled l (default unit; one label, as the discovery script cannot carry a list).
# With UNITY the sources build in batches: the Qt test programs instantiate the same GoogleTest
# and Qt templates in every file, and compiling a batch of them together takes a fraction of
# the time. Their files then must not define the same name in their anonymous namespaces.
function(ov_test)
  cmake_parse_arguments(T "UNITY" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_UNITY)
    set_target_properties(${T_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 6)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          Threads::Threads)
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       TEST_PREFIX "${T_NAME}." PROPERTIES LABELS ${T_LABEL} TIMEOUT 120)
endfunction()

# ov_fuzz_target(NAME n SOURCES ... [LIBS ...] CORPUS dir)
# With ORVANE_FUZZ (clang, fuzz preset) a libFuzzer program; otherwise a replay program
# that ctest runs over the committed corpus, so every build checks the known inputs.
function(ov_fuzz_target)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(ORVANE_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY ORVANE_FUZZ_TARGETS "${F_NAME}|${F_CORPUS}")
  else()
    add_executable(${F_NAME}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
    add_test(NAME fuzz_replay.${F_NAME} COMMAND ${F_NAME}_replay ${F_CORPUS})
    set_tests_properties(fuzz_replay.${F_NAME} PROPERTIES LABELS "unit;fuzz" TIMEOUT 300)
  endif()
endfunction()

# ORVANE_POSTGRES_TESTS lists the suites that run again on PostgreSQL ("server", "shell").
# ov_postgres_fixture(out_var): the ctest fixture "postgres", a cluster that
# scripts/pg_cluster.sh makes for the run and removes after it (once per build tree); out_var
# names the file that holds its URL.
set(ORVANE_POSTGRES_TESTS "" CACHE STRING "Suites that run on PostgreSQL too: server;shell")
function(ov_postgres_fixture out_var)
  # Under /tmp, where the cluster's owner (postgres, when the tests run as root) can reach it.
  string(MD5 pg_id "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${pg_id}" 0 12 pg_id)
  set(pg_dir "/tmp/orvane-pg-${pg_id}")
  set(${out_var} "${pg_dir}/url" PARENT_SCOPE)
  get_property(done GLOBAL PROPERTY ORVANE_POSTGRES_FIXTURE)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY ORVANE_POSTGRES_FIXTURE ON)
  add_test(NAME postgres_cluster_start
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/pg_cluster.sh start ${pg_dir})
  set_tests_properties(postgres_cluster_start PROPERTIES
                       FIXTURES_SETUP postgres LABELS integration TIMEOUT 120)
  add_test(NAME postgres_cluster_stop
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/pg_cluster.sh stop ${pg_dir})
  set_tests_properties(postgres_cluster_stop PROPERTIES
                       FIXTURES_CLEANUP postgres LABELS integration TIMEOUT 120)
endfunction()
