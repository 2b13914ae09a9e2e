# setupcheck, the package checker: its own program in every tree. It uses the
# subsystems' text processing; nothing in Setup uses it.
set(SETUP_CHECK_DIR ${CMAKE_SOURCE_DIR}/src/check)

# The platform layer: the profile reader's emulation (its view of lines is
# used everywhere), the system calls on Windows, and the emulated platform
# (file search through std::filesystem) elsewhere and in the Wine test that
# compares the two.
set(SETUP_CHECK_PLATFORM_SOURCES ${SETUP_CHECK_DIR}/profile_emulation.cpp
    ${SETUP_CHECK_DIR}/wildcard_match.cpp ${SETUP_CHECK_DIR}/text_1250.cpp)
if(WIN32)
  list(APPEND SETUP_CHECK_PLATFORM_SOURCES ${SETUP_CHECK_DIR}/check_platform_win32.cpp)
endif()
set(SETUP_CHECK_EMULATION_SOURCES ${SETUP_CHECK_DIR}/search_emulation.cpp)
file(GLOB SETUP_CHECK_SOURCES CONFIGURE_DEPENDS ${SETUP_CHECK_DIR}/*.cpp)
list(FILTER SETUP_CHECK_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
list(REMOVE_ITEM SETUP_CHECK_SOURCES ${SETUP_CHECK_PLATFORM_SOURCES} ${SETUP_CHECK_EMULATION_SOURCES}
     ${SETUP_CHECK_DIR}/setupcheck_main.cpp ${SETUP_CHECK_DIR}/stand_ins.cpp)

add_library(setup_check_platform OBJECT ${SETUP_CHECK_PLATFORM_SOURCES})
add_library(setup_check_emulation OBJECT ${SETUP_CHECK_EMULATION_SOURCES})
add_library(setup_check_objects OBJECT ${SETUP_CHECK_SOURCES})
# The subsystems' text processing with setupcheck's stand-ins for what only
# a real installation has (file versions, shell folders, registry).
# SHA-256 comes from the platform: CryptoAPI on Windows, OpenSSL's libcrypto
# natively where it is installed (without it the checker says so).
# The seal reads, walks and hashes the package's files the same way.
if(WIN32)
  set(SETUP_CHECK_CRYPTO ${CMAKE_SOURCE_DIR}/src/app/crypto_win32.cpp
      ${CMAKE_SOURCE_DIR}/src/seal/package_files_win32.cpp
      ${CMAKE_SOURCE_DIR}/src/seal/package_walk_win32.cpp)
else()
  set(SETUP_CHECK_CRYPTO ${CMAKE_SOURCE_DIR}/src/app/crypto_openssl.cpp
      ${CMAKE_SOURCE_DIR}/src/seal/package_files_posix.cpp)
  find_package(OpenSSL QUIET COMPONENTS Crypto)
endif()
add_library(setup_check_core STATIC ${SETUP_CORE_SOURCES} ${SETUP_CHECK_DIR}/stand_ins.cpp
            ${SETUP_CHECK_CRYPTO})
if(NOT WIN32 AND OPENSSL_CRYPTO_LIBRARY)
  target_compile_definitions(setup_check_core PRIVATE SETUP_HAVE_OPENSSL)
  target_link_libraries(setup_check_core PUBLIC OpenSSL::Crypto)
endif()
add_executable(setupcheck ${SETUP_CHECK_DIR}/setupcheck_main.cpp)
target_link_libraries(setupcheck PRIVATE setup_check_objects setup_check_platform setup_check_core)
if(NOT WIN32)
  target_link_libraries(setupcheck PRIVATE setup_check_emulation)
endif()
set(SETUP_CHECK_TARGETS setup_check_platform setup_check_emulation setup_check_objects
    setup_check_core setupcheck)
foreach(t ${SETUP_CHECK_TARGETS})
  target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${t} PRIVATE ${SETUP_WARNINGS})
endforeach()

if(SETUP_CHECK_ONLY)
  if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
  endif()
  return()
endif()

if(WIN32)
  # A console program beside Setup.exe: the same size-conscious build.
  foreach(t ${SETUP_CHECK_TARGETS})
    target_compile_options(${t} PRIVATE ${SETUP_PROGRAM_FLAGS})
    target_compile_definitions(${t} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501)
  endforeach()
  # Built without exceptions, as Setup.exe: the unwind tables of the static
  # C++ runtime would only let an exception that nothing catches reach
  # std::terminate, which it reaches without them too (40 KB).
  target_link_options(setupcheck PRIVATE ${SETUP_PROGRAM_FLAGS} -static -s -Wl,--gc-sections
                      -Wl,--no-insert-timestamp -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/no-eh-frame.ld)
  set_target_properties(setupcheck PROPERTIES SUFFIX .exe)
  if(SETUP_BITS EQUAL 32)
    add_test(NAME static.setupcheck_exe
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/static/check_setupcheck_exe.sh
                     $<TARGET_FILE:setupcheck>)
    return()
  endif()
  # The Wine tests: the platform layer against the system, and every package
  # the end-to-end tests build goes through setupcheck.exe first.
  if(TARGET unit_tests)
    target_link_libraries(unit_tests PRIVATE setup_check_platform setup_check_emulation)
  endif()
  if(TARGET e2e_tests)
    add_dependencies(e2e_tests setupcheck)
    setup_wine_path(SETUP_CHECK_EXE_WIN "${CMAKE_BINARY_DIR}/setupcheck.exe")
    setup_wine_path(SETUP_CHECK_EXPECT_WIN "${CMAKE_SOURCE_DIR}/tests/e2e/package_findings.txt")
    target_compile_definitions(e2e_tests PRIVATE
      "SETUP_CHECK_EXE_PATH=\"${SETUP_CHECK_EXE_WIN}\""
      "SETUP_CHECK_EXPECTATIONS=\"${SETUP_CHECK_EXPECT_WIN}\"")
  endif()
  return()
endif()

# Native sanitizer tree: the checker's tests, its fuzz target, and the plain
# build a package's CI makes.
# The standard library's own checks (an empty string's back(), an index
# past the end) trap in the tests and the fuzz target too.
foreach(t ${SETUP_CHECK_TARGETS})
  target_compile_options(${t} PRIVATE ${SETUP_SANITIZE})
  target_compile_definitions(${t} PRIVATE _GLIBCXX_ASSERTIONS)
endforeach()
target_compile_options(setup_check_objects PRIVATE -fsanitize=fuzzer-no-link)
target_link_options(setupcheck PRIVATE -fsanitize=address,undefined)

file(GLOB SETUP_CHECK_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/check/*.cpp)
if(SETUP_CHECK_TESTS)
  add_executable(check_tests ${SETUP_CHECK_TESTS})
  target_include_directories(check_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(check_tests PRIVATE ${SETUP_SANITIZE})
  target_compile_definitions(check_tests PRIVATE "SETUP_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\""
                             "SETUP_CHECK_PROGRAM=\"$<TARGET_FILE:setupcheck>\"")
  add_dependencies(check_tests setupcheck)
  target_link_options(check_tests PRIVATE -fsanitize=address,undefined)
  target_link_libraries(check_tests PRIVATE setup_check_objects setup_check_platform
                        setup_check_emulation setup_check_core gtest gtest_main)
  gtest_discover_tests(check_tests TEST_PREFIX "native.check." DISCOVERY_TIMEOUT 60)
endif()
if(TARGET setupcheck_fuzz)
  target_link_libraries(setupcheck_fuzz PRIVATE setup_check_objects setup_check_platform
                        setup_check_emulation)
endif()
add_test(NAME check.plain_build
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/native/check/plain_build.sh
                 ${CMAKE_BINARY_DIR}/check-only)
set_tests_properties(check.plain_build PROPERTIES TIMEOUT 900)
