# Windows trees: build/win32 (the shipped program) and build/win64 (the same
# program plus every test program, run under Wine).
# shell32, comdlg32, ole32 and version are loaded on first use, by full path
# (src/app/system_libraries).
set(SETUP_SYSTEM_LIBS advapi32 user32 gdi32 kernel32)
set(SETUP_BITS 64)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SETUP_BITS 32)
endif()

# The program itself: small, no exceptions, no RTTI, runtime linked in.
# No -fdata-sections: for PE targets GCC then gives every zero-initialised
# object a .data$name section of its own, and the installer context (17 KiB
# of zeros) would be stored in the file instead of in .bss.
set(SETUP_PROGRAM_FLAGS -Oz -fno-exceptions -fno-rtti -ffunction-sections
    -fno-asynchronous-unwind-tables -fno-unwind-tables)
# 32-bit Windows aligns the stack to 4 bytes only, and the program has no
# use for more (no SSE): no code to align it in every function. Optimising
# for size, GCC keeps a frame pointer on 32-bit x86 unless told not to: 2.5 KB.
if(SETUP_BITS EQUAL 32)
  list(APPEND SETUP_PROGRAM_FLAGS -mpreferred-stack-boundary=2 -fomit-frame-pointer)
endif()
# Setup.exe commits its whole stack at start (SETUP_STACK_LINK), so no
# function needs to touch a large frame page by page; without such probes
# GCC passes arguments with push instead of mov, which on 32-bit x86 is
# 9 KB less code. Only for the program: setupcheck keeps the default stack.
set(SETUP_STACK_FLAGS "")
set(SETUP_STACK_LINK "")
if(SETUP_BITS EQUAL 32)
  set(SETUP_STACK_FLAGS -mno-stack-arg-probe)
  set(SETUP_STACK_LINK "SHELL:-Xlinker --stack -Xlinker 0x200000,0x200000")  # 2 MiB, all committed
endif()
add_library(setup_lib STATIC ${SETUP_CORE_SOURCES} ${SETUP_WIN32_SOURCES})
# Link-time optimisation: the whole program optimised as one drops what no
# caller needs and inlines across files (3.7 KiB less code in Setup.exe).
set_property(TARGET setup_lib PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
target_include_directories(setup_lib PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(setup_lib PRIVATE ${SETUP_WARNINGS} ${SETUP_PROGRAM_FLAGS} ${SETUP_STACK_FLAGS})
target_compile_definitions(setup_lib PUBLIC WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501)
target_link_libraries(setup_lib PUBLIC ${SETUP_SYSTEM_LIBS})

file(GLOB SETUP_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*)
# The program has its own entry (src/app/start_win32.cpp) instead of the
# runtime's start-up files. ld 2.40 crashes on such a link when every object
# is a link-time-optimisation object, or when msvcrt is not named: the entry
# is an ordinary object and msvcrt is named. No auto-import: no data import
# may need the runtime's pseudo-relocator, which is not linked. One
# link-time partition: each partition would keep its own copy of the texts
# both use.
add_executable(Setup WIN32 ${CMAKE_SOURCE_DIR}/src/app/start_win32.cpp ${CMAKE_SOURCE_DIR}/src/app/main_win32.cpp
               ${CMAKE_SOURCE_DIR}/res/setup.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/app/start_win32.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/setup.rc PROPERTIES OBJECT_DEPENDS "${SETUP_RESOURCES}")
target_compile_options(Setup PRIVATE ${SETUP_WARNINGS} ${SETUP_PROGRAM_FLAGS} ${SETUP_STACK_FLAGS})
target_link_libraries(Setup PRIVATE setup_lib msvcrt)
set(SETUP_ENTRY SetupStart)
if(SETUP_BITS EQUAL 32)
  set(SETUP_ENTRY _SetupStart)  # C names carry an underscore on 32-bit Windows
endif()
target_link_options(Setup PRIVATE ${SETUP_PROGRAM_FLAGS} ${SETUP_STACK_FLAGS} ${SETUP_STACK_LINK} -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp
                    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/no-eh-frame.ld
                    -nostartfiles -Wl,-e,${SETUP_ENTRY} -Wl,--disable-auto-import -flto-partition=one)
set_target_properties(Setup PROPERTIES OUTPUT_NAME Setup SUFFIX .exe INTERPROCEDURAL_OPTIMIZATION TRUE
                      LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/no-eh-frame.ld)
# windres reads the .rc with the code page it names; the texts are bytes.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1250")

if(SETUP_BITS EQUAL 32)
  add_test(NAME static.setup_exe
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/static/check_setup_exe.sh $<TARGET_FILE:Setup>)
  return()
endif()

# ---- 64-bit tree: tests under Wine ----
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

function(setup_windows_test_program name)
  target_compile_options(${name} PRIVATE ${SETUP_WARNINGS} -O1)
  target_link_options(${name} PRIVATE -static)
endfunction()

# Windows path of a file in the build tree, as Wine sees it (drive Z:).
function(setup_wine_path out unix_path)
  string(REPLACE "/" "\\\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# Fixture programs (version resources, a window of the main application).
file(GLOB SETUP_FIXTURE_CMAKE CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fixtures/*.cmake ${CMAKE_SOURCE_DIR}/tests/bench/*.cmake)
foreach(f ${SETUP_FIXTURE_CMAKE})
  include(${f})
endforeach()

# Unit tests of the routines against the real Win32 behaviour. Windows tests
# share the desktop (top-level windows of the main application's class) and
# the registry keys that locate an installation, so they run one at a time;
# the native tests and fuzz targets run beside them.
file(GLOB SETUP_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(SETUP_UNIT_TESTS)
  add_executable(unit_tests ${SETUP_UNIT_TESTS} ${CMAKE_SOURCE_DIR}/res/setup.rc)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/res/setup.rc PROPERTIES OBJECT_DEPENDS "${SETUP_RESOURCES}")
  setup_wine_path(SETUP_FIXTURE_DIR_WIN "${CMAKE_BINARY_DIR}/fixtures")
  target_compile_definitions(unit_tests PRIVATE "SETUP_FIXTURE_DIR=\"${SETUP_FIXTURE_DIR_WIN}\"")
  target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # version: the resource test reads Setup's own version directly.
  target_link_libraries(unit_tests PRIVATE setup_lib gtest gtest_main version)
  setup_windows_test_program(unit_tests)
  if(TARGET setup_fixtures)
    add_dependencies(unit_tests setup_fixtures)
  endif()
  gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       TEST_PREFIX "unit." PROPERTIES TIMEOUT 120 RESOURCE_LOCK wine_desktop
                       FIXTURES_REQUIRED wine_platform)
endif()

# End-to-end: the driver starts the real Setup.exe and answers it.
file(GLOB SETUP_DRIVER_LIB CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/driver/*_lib.cpp)
if(SETUP_DRIVER_LIB)
  add_library(setup_driver STATIC ${SETUP_DRIVER_LIB})
  target_include_directories(setup_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/driver)
  target_compile_options(setup_driver PRIVATE ${SETUP_WARNINGS})
  target_link_libraries(setup_driver PUBLIC user32 kernel32 advapi32)
  add_executable(setup_driver_cli ${CMAKE_SOURCE_DIR}/tests/driver/driver_main.cpp)
  set_target_properties(setup_driver_cli PROPERTIES OUTPUT_NAME setup_driver)
  target_link_libraries(setup_driver_cli PRIVATE setup_driver)
  setup_windows_test_program(setup_driver_cli)

  file(GLOB SETUP_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
  if(SETUP_E2E_TESTS)
    # The journal's seals: the tests write journals as an attacker would.
    add_executable(e2e_tests ${SETUP_E2E_TESTS} ${CMAKE_SOURCE_DIR}/src/journal/journal_records.cpp
                   ${CMAKE_SOURCE_DIR}/src/app/crypto_win32.cpp ${CMAKE_SOURCE_DIR}/src/app/crypto.cpp)
    setup_wine_path(SETUP_EXE_WIN "${CMAKE_BINARY_DIR}/Setup.exe")
    setup_wine_path(SETUP_BIN_DIR_WIN "${CMAKE_BINARY_DIR}")
    setup_wine_path(SETUP_FIXTURE_DIR_WIN "${CMAKE_BINARY_DIR}/fixtures")
    target_compile_definitions(e2e_tests PRIVATE
      "SETUP_EXE_PATH=\"${SETUP_EXE_WIN}\""
      "SETUP_BIN_DIR=\"${SETUP_BIN_DIR_WIN}\""
      "SETUP_FIXTURE_DIR=\"${SETUP_FIXTURE_DIR_WIN}\"")
    target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(e2e_tests PRIVATE setup_driver gtest gtest_main)
    setup_windows_test_program(e2e_tests)
    add_dependencies(e2e_tests Setup)
    if(TARGET setup_fixtures)
      add_dependencies(e2e_tests setup_fixtures)
    endif()
    gtest_discover_tests(e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         TEST_PREFIX "e2e." PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_desktop
                         FIXTURES_REQUIRED wine_platform)
  endif()
endif()
