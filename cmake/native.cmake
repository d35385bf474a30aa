# Native Linux build: the portable core only, its unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the libFuzzer targets (built with clang) and the benchmarks.

nimbrel_core_library(nimbrel_core)

set(NIMBREL_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
nimbrel_core_library(nimbrel_core_checked)
target_compile_options(nimbrel_core_checked PRIVATE ${NIMBREL_SANITIZERS})
target_link_options(nimbrel_core_checked PUBLIC ${NIMBREL_SANITIZERS})

find_package(benchmark REQUIRED)
file(GLOB NIMBREL_BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
# The plain copy is a program of its own (console/CMakeLists.txt).
list(FILTER NIMBREL_BENCH_SOURCES EXCLUDE REGEX "(_win|plain_copy)\\.cpp$")
add_executable(nimbrel_bench ${NIMBREL_BENCH_SOURCES})
target_link_libraries(nimbrel_bench PRIVATE nimbrel_core benchmark::benchmark)
target_include_directories(nimbrel_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(nimbrel_bench PRIVATE ${NIMBREL_WARNINGS})

if(NIMBREL_TESTS)
    enable_testing()
    include(GoogleTest)
    nimbrel_googletest()

    file(GLOB NIMBREL_CORE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
    add_executable(core_tests ${NIMBREL_CORE_TEST_SOURCES})
    target_include_directories(core_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(core_tests PRIVATE nimbrel_core_checked GTest::gtest_main GTest::gmock)
    target_compile_options(core_tests PRIVATE ${NIMBREL_WARNINGS} ${NIMBREL_SANITIZERS})
    gtest_discover_tests(core_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)

    # The console tool run as a script runs it.
    add_executable(console_tests ${PROJECT_SOURCE_DIR}/tests/console/console_test.cpp)
    target_include_directories(console_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(console_tests PRIVATE NIMBREL_TOOL="$<TARGET_FILE:nimbrel_cli>")
    target_link_libraries(console_tests PRIVATE nimbrel_core_checked GTest::gtest_main)
    target_compile_options(console_tests PRIVATE ${NIMBREL_WARNINGS} ${NIMBREL_SANITIZERS})
    add_dependencies(console_tests nimbrel_cli)
    gtest_discover_tests(console_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60)

    # The user's guide, as a browser shows it; the screenshot stays in the build for a look.
    add_test(NAME native.readme.renders
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-readme.sh ${PROJECT_SOURCE_DIR}/resources/ReadMe.htm
                     ${CMAKE_BINARY_DIR}/readme.png)
    set_tests_properties(native.readme.renders PROPERTIES TIMEOUT 300)

    # The Debian package made as scripts/release.sh makes it, from this build's tool (CPack strips
    # it), checked as a user gets it. It goes into the build, never into build/release. With
    # Ninja cpack builds nothing itself: the build before the tests makes the tool and its
    # compressed documents.
    set(NIMBREL_DEB_CHECK_DIR ${CMAKE_BINARY_DIR}/deb-check)
    add_test(NAME native.release.DebianPackage
             COMMAND sh -c [[rm -rf "$2" && "$1" -G DEB --config "$3/CPackConfig.cmake" -B "$2" -D CPACK_OUTPUT_FILE_PREFIX="$2" && exec "$4" "$2"/*.deb]]
                     sh ${CMAKE_CPACK_COMMAND} ${NIMBREL_DEB_CHECK_DIR} ${CMAKE_BINARY_DIR}
                     ${PROJECT_SOURCE_DIR}/scripts/check-deb.sh)
    set_tests_properties(native.release.DebianPackage PROPERTIES TIMEOUT 120)

    # The fuzz targets need clang's libFuzzer, so they are a small build of their own
    # inside this one; each runs for a few seconds as a test.
    find_program(NIMBREL_CLANGXX clang++)
    if(NIMBREL_CLANGXX)
        include(ExternalProject)
        ExternalProject_Add(fuzzers
            SOURCE_DIR ${PROJECT_SOURCE_DIR}
            BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
            CMAKE_ARGS -DNIMBREL_FUZZ_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
                       -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
            BUILD_ALWAYS ON
            INSTALL_COMMAND "")
        include(${PROJECT_SOURCE_DIR}/tests/fuzz/targets.cmake)
        foreach(target IN LISTS NIMBREL_FUZZ_TARGETS)
            set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${target})
            file(MAKE_DIRECTORY ${corpus})
            add_test(NAME fuzz.${target}
                COMMAND ${CMAKE_BINARY_DIR}/fuzz/tests/fuzz/fuzz_${target}
                        -max_total_time=8 -rss_limit_mb=1024 -print_final_stats=0
                        ${corpus} ${PROJECT_SOURCE_DIR}/tests/fuzz/seeds/${target})
        endforeach()
    else()
        message(WARNING "clang++ not found: the fuzz targets are not built")
    endif()
endif()
