# velt_add_test(NAME SOURCES... LIBS...) registers one GoogleTest executable with CTest.
include(GoogleTest)
function(velt_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        VELT_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        VELT_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
endfunction()
