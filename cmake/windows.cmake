# Windows builds (mingw-w64): the portable core, the Win32 shell, Nimbrel.exe and, for win64,
# the tests that run under wine64.

nimbrel_core_library(nimbrel_core)

set(NIMBREL_WIN_DEFINITIONS _WIN32_WINNT=0x0600 WINVER=0x0600 _WIN32_IE=0x0600 NOMINMAX)
target_compile_definitions(nimbrel_core PUBLIC ${NIMBREL_WIN_DEFINITIONS})

file(GLOB NIMBREL_WIN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*/*_win.cpp)
list(FILTER NIMBREL_WIN_SOURCES EXCLUDE REGEX "/main_win\\.cpp$")
add_library(nimbrel_win STATIC ${NIMBREL_WIN_SOURCES})
target_link_libraries(nimbrel_win PUBLIC nimbrel_core comctl32 comdlg32 shell32 ole32 advapi32 user32 gdi32)
target_compile_options(nimbrel_win PRIVATE ${NIMBREL_WARNINGS})

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(EXISTS ${PROJECT_SOURCE_DIR}/src/app/main_win.cpp)
    add_executable(Nimbrel WIN32 ${PROJECT_SOURCE_DIR}/src/app/main_win.cpp
                   ${PROJECT_SOURCE_DIR}/resources/nimbrel.rc)
    target_link_libraries(Nimbrel PRIVATE nimbrel_win)
    target_compile_options(Nimbrel PRIVATE ${NIMBREL_WARNINGS})
    target_include_directories(Nimbrel PRIVATE ${PROJECT_SOURCE_DIR}/resources)
    # "Help" opens the ReadMe beside the program.
    add_custom_command(TARGET Nimbrel POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/resources/ReadMe.htm
                $<TARGET_FILE_DIR:Nimbrel>/ReadMe.htm)

    # The downloads for Windows users: a zip (the program and the console tool, stripped, and the
    # user guide) and an installer of the same files, named after the version and the build (win32
    # for any Windows, win64 for 64-bit Windows). Both builds put theirs in one folder, so the
    # files sit side by side. Rebuilt byte for byte from the same commit (scripts/pack-windows.sh).
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(NIMBREL_RELEASE_KIND win64)
    else()
        set(NIMBREL_RELEASE_KIND win32)
    endif()
    set(release_name Nimbrel-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}-${NIMBREL_RELEASE_KIND})
    set(NIMBREL_RELEASE_ZIP ${NIMBREL_RELEASE_DIR}/${release_name}.zip)
    set(NIMBREL_RELEASE_MSI ${NIMBREL_RELEASE_DIR}/${release_name}.msi)
    add_custom_command(OUTPUT ${NIMBREL_RELEASE_ZIP} ${NIMBREL_RELEASE_MSI}
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/pack-windows.sh ${NIMBREL_RELEASE_KIND} ${PROJECT_VERSION}
                ${CMAKE_STRIP} $<TARGET_FILE:Nimbrel> $<TARGET_FILE:nimbrel_cli>
                ${CMAKE_BINARY_DIR}/release-stage ${NIMBREL_RELEASE_DIR}
        DEPENDS Nimbrel nimbrel_cli ${PROJECT_SOURCE_DIR}/resources/ReadMe.htm
                ${PROJECT_SOURCE_DIR}/resources/nimbrel.wxs ${PROJECT_SOURCE_DIR}/resources/program.ico
                ${PROJECT_SOURCE_DIR}/scripts/pack-windows.sh ${PROJECT_SOURCE_DIR}/scripts/make-msi.sh
        COMMENT "Packing ${release_name}.zip and .msi"
        VERBATIM)
    add_custom_target(release ALL DEPENDS ${NIMBREL_RELEASE_ZIP} ${NIMBREL_RELEASE_MSI})
endif()

# The shipped program is the 32-bit one. Where this machine can run 32-bit code and Wine's 32-bit
# half is installed, the win64 build's tests also drive the win32 build's program and run the
# win32 build's Win32 tests, in the same (then WoW64) prefix. Asked anew at every configure.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/can-run-32bit.sh RESULT_VARIABLE can_run_32bit)
if(can_run_32bit EQUAL 0 AND EXISTS /usr/lib/wine/wine)
    set(NIMBREL_RUN_32BIT ON)
else()
    set(NIMBREL_RUN_32BIT OFF)
endif()
message(STATUS "32-bit programs run here: ${NIMBREL_RUN_32BIT}")

# The Win32 tests of the shell, with the program's resources so that its message box can be
# shown and answered.
function(nimbrel_win_tests)
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*.cpp)
    if(sources)
        add_executable(win_tests ${sources} ${PROJECT_SOURCE_DIR}/resources/nimbrel.rc)
        target_include_directories(win_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/resources)
        target_link_libraries(win_tests PRIVATE nimbrel_win GTest::gtest_main GTest::gmock)
        target_compile_options(win_tests PRIVATE ${NIMBREL_WARNINGS})
    endif()
endfunction()

# Built on every machine, whether or not it can run them: a fault that only the i686 compiler
# sees (a callback without CALLBACK, a pointer cut to 32 bits) must stop every developer's build.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    nimbrel_googletest()
    nimbrel_win_tests()
endif()

if(NIMBREL_TESTS AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    enable_testing()
    include(GoogleTest)
    nimbrel_googletest()

    # Every test program runs under wine64 in a prefix of this build's own, never ~/.wine.
    set(NIMBREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(NIMBREL_WINEHOME ${CMAKE_BINARY_DIR}/winehome)
    configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
    add_custom_command(OUTPUT ${NIMBREL_WINEPREFIX}/.nimbrel-ready
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-wineprefix.sh ${NIMBREL_WINEPREFIX}
        COMMENT "Preparing the Wine prefix for the tests"
        VERBATIM)
    add_custom_target(wineprefix ALL DEPENDS ${NIMBREL_WINEPREFIX}/.nimbrel-ready)

    # Peak memory of the key tools on big inputs; run by hand (see the README).
    add_executable(memory_bench ${PROJECT_SOURCE_DIR}/bench/memory_win.cpp)
    target_link_libraries(memory_bench PRIVATE nimbrel_win psapi)
    target_compile_options(memory_bench PRIVATE ${NIMBREL_WARNINGS})

    file(GLOB NIMBREL_CORE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
    add_executable(core_tests ${NIMBREL_CORE_TEST_SOURCES})
    target_include_directories(core_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(core_tests PRIVATE nimbrel_core GTest::gtest_main GTest::gmock)
    target_compile_options(core_tests PRIVATE ${NIMBREL_WARNINGS})
    gtest_discover_tests(core_tests TEST_PREFIX "win64.core." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

    nimbrel_win_tests()
    if(TARGET win_tests)
        # A small tmpfs on drive T: lets a test fill a disk for real.
        add_test(NAME win64.setup.fulldisk COMMAND ${PROJECT_SOURCE_DIR}/scripts/fulldisk.sh ${CMAKE_BINARY_DIR} mount)
        add_test(NAME win64.cleanup.fulldisk
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/fulldisk.sh ${CMAKE_BINARY_DIR} unmount)
        set_tests_properties(win64.setup.fulldisk PROPERTIES FIXTURES_SETUP fulldisk)
        set_tests_properties(win64.cleanup.fulldisk PROPERTIES FIXTURES_CLEANUP fulldisk)
        gtest_discover_tests(win_tests TEST_PREFIX "win64.win32api." DISCOVERY_MODE PRE_TEST
                             DISCOVERY_TIMEOUT 120
                             PROPERTIES RESOURCE_LOCK wine_session FIXTURES_REQUIRED fulldisk TIMEOUT 300)
    endif()

    # Both release zips and installers (the win32 build makes the others) as a Windows user
    # receives them.
    if(TARGET release)
        add_test(NAME win64.release.zips
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-release.sh ${PROJECT_SOURCE_DIR} ${NIMBREL_RELEASE_DIR}
                         ${CMAKE_BINARY_DIR}/wine-run.sh)
        set_tests_properties(win64.release.zips PROPERTIES RESOURCE_LOCK wine_session TIMEOUT 300)
        # The release's signing path, with a throwaway certificate.
        add_test(NAME win64.release.signing
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-signing.sh ${CMAKE_STRIP} $<TARGET_FILE:Nimbrel>
                         $<TARGET_FILE:nimbrel_cli> ${CMAKE_BINARY_DIR}/signing-test)
        set_tests_properties(win64.release.signing PROPERTIES TIMEOUT 300)
    endif()

    # What the program hands to the shell is recorded by this stand-in for the browser.
    add_executable(shell_recorder ${PROJECT_SOURCE_DIR}/tests/support/shell_recorder.cpp)
    target_compile_options(shell_recorder PRIVATE ${NIMBREL_WARNINGS})

    file(GLOB NIMBREL_E2E_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*.cpp)
    if(NIMBREL_E2E_TEST_SOURCES AND TARGET Nimbrel)
        add_executable(e2e_tests ${NIMBREL_E2E_TEST_SOURCES})
        target_include_directories(e2e_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/resources)
        target_link_libraries(e2e_tests PRIVATE nimbrel_core GTest::gtest_main GTest::gmock
                              comctl32 shell32 ole32 uuid msi advapi32 user32 gdi32)
        target_compile_options(e2e_tests PRIVATE ${NIMBREL_WARNINGS})
        add_dependencies(e2e_tests Nimbrel shell_recorder nimbrel_cli)
        # One desktop, one set of drive letters, one application-data folder: the Win32 and
        # end-to-end tests run one at a time.
        gtest_discover_tests(e2e_tests TEST_PREFIX "win64.e2e." DISCOVERY_MODE PRE_TEST TEST_FILTER "-NamesTest.*:InstallerTest.*"
                             DISCOVERY_TIMEOUT 120 PROPERTIES RESOURCE_LOCK wine_session TIMEOUT 300)
        # The installer in a Wine prefix of its own, as on a machine that never saw Nimbrel.
        add_test(NAME win64.e2e.Installer
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-installer.sh ${NIMBREL_RELEASE_MSI}
                         $<TARGET_FILE:e2e_tests> ${CMAKE_BINARY_DIR}/installer-test)
        set_tests_properties(win64.e2e.Installer PROPERTIES RESOURCE_LOCK wine_session TIMEOUT 600)
        # Names in the users' own locales: Wine takes a program's code page from LANG, so the
        # names test runs again in each (the install script generates them). Double-byte code
        # pages whose characters hold the byte of "\", a Cyrillic one, and the Western one.
        set(NIMBREL_NAME_LOCALES ja_JP zh_CN ru_RU de_DE)
        function(nimbrel_names_tests prefix program)
            foreach(locale ${NIMBREL_NAME_LOCALES})
                add_test(NAME ${prefix}.e2e.NamesTest.${locale} COMMAND e2e_tests --gtest_filter=NamesTest.*)
                set(environment "LANG=${locale}.UTF-8" "LC_ALL=${locale}.UTF-8")
                if(program)
                    list(APPEND environment "NIMBREL_PROGRAM=${program}")
                endif()
                set_tests_properties(${prefix}.e2e.NamesTest.${locale} PROPERTIES ENVIRONMENT "${environment}"
                                     RESOURCE_LOCK wine_session TIMEOUT 300)
            endforeach()
        endfunction()
        nimbrel_names_tests(win64 "")
        if(NIMBREL_RUN_32BIT)
            # The same end-to-end tests, driven by the same 64-bit driver, against the shipped
            # 32-bit program, which the driver takes from NIMBREL_PROGRAM.
            set(NIMBREL_WIN32_BIN ${PROJECT_SOURCE_DIR}/build/win32/bin CACHE PATH "The win32 build's programs")
            string(REPLACE "/" "\\" win32_program "Z:${NIMBREL_WIN32_BIN}/Nimbrel.exe")
            gtest_discover_tests(e2e_tests TEST_PREFIX "win32.e2e." DISCOVERY_MODE PRE_TEST TEST_FILTER "-NamesTest.*:InstallerTest.*"
                                 DISCOVERY_TIMEOUT 120 PROPERTIES RESOURCE_LOCK wine_session TIMEOUT 300
                                 ENVIRONMENT "NIMBREL_PROGRAM=${win32_program}")
            nimbrel_names_tests(win32 "${win32_program}")
            add_test(NAME win32.win32api.all COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh
                     ${NIMBREL_WIN32_BIN}/win_tests.exe --gtest_brief=1)
            set_tests_properties(win32.win32api.all PROPERTIES RESOURCE_LOCK wine_session
                                 FIXTURES_REQUIRED fulldisk TIMEOUT 900)
        endif()
    endif()
endif()
