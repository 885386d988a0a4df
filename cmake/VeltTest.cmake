# velt_add_test(NAME SOURCES... LIBS...) registers one GoogleTest executable with CTest.
# Natively each test case is its own CTest test. Cross-built, the executable is one CTest test run
# through the emulator (Wine), in the prefix that the `wine_prefix` fixture makes first: listing
# the cases would start Wine at build time.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR AND VELT_WINEPREFIX)
    add_test(NAME wine_prefix COMMAND ${CMAKE_COMMAND} -DWINE=${VELT_WINE}
        -DPREFIX=${VELT_WINEPREFIX} -P ${CMAKE_CURRENT_LIST_DIR}/WinePrefix.cmake)
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
    set(VELT_WINE_FIXTURE ON)
endif()

function(velt_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        VELT_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
        VELT_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        if(VELT_WINE_FIXTURE)
            set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
        endif()
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
    endif()
endfunction()
