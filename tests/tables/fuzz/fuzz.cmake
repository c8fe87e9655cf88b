# The text import under libFuzzer with AddressSanitizer and UBSan: import_clean_fuzzer (the line
# cleaner and the reading of the numbers, in memory) and import_fuzzer (the whole command, files
# and Paradox table included). libFuzzer comes with clang, whatever compiler builds the rest, so
# the fuzzers are built by clang++ directly; ctest runs each for a few seconds
# (tests/tables/fuzz/run_fuzzer.sh runs them for longer).
find_program(QV_CLANGXX NAMES clang++ clang++-14)
set(QV_IMPORT_FUZZ ${CMAKE_CURRENT_SOURCE_DIR}/tables/fuzz)
if(QV_CLANGXX)
  set(QV_IMPORT_FUZZ_FLAGS -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined
                           -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic)
  if(QV_WERROR)
    list(APPEND QV_IMPORT_FUZZ_FLAGS -Werror)
  endif()
  file(GLOB QV_TABLE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/tables/*.cpp)
  file(GLOB QV_TABLE_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/tables/*.h)

  set(QV_CLEAN_FUZZER ${CMAKE_CURRENT_BINARY_DIR}/import_clean_fuzzer)
  add_custom_command(
    OUTPUT ${QV_CLEAN_FUZZER}
    COMMAND ${QV_CLANGXX} ${QV_IMPORT_FUZZ_FLAGS} -I${PROJECT_SOURCE_DIR}/src
            ${PROJECT_SOURCE_DIR}/src/tables/comma.cpp ${QV_IMPORT_FUZZ}/fuzz_import_clean.cpp
            -o ${QV_CLEAN_FUZZER}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/tables/comma.cpp ${PROJECT_SOURCE_DIR}/src/tables/comma.h
            ${QV_IMPORT_FUZZ}/fuzz_import_clean.cpp
    COMMENT "Building the import cleaner fuzzer with clang"
    VERBATIM)

  set(QV_IMPORT_FUZZER ${CMAKE_CURRENT_BINARY_DIR}/import_fuzzer)
  add_custom_command(
    OUTPUT ${QV_IMPORT_FUZZER}
    COMMAND ${QV_CLANGXX} ${QV_IMPORT_FUZZ_FLAGS} -I${PROJECT_SOURCE_DIR}/src ${PXLIB_CFLAGS}
            ${SHAPELIB_CFLAGS} ${QV_TABLE_FILES} ${QV_IMPORT_FUZZ}/fuzz_import.cpp
            -o ${QV_IMPORT_FUZZER} ${PXLIB_LDFLAGS} ${SHAPELIB_LDFLAGS}
    DEPENDS ${QV_TABLE_FILES} ${QV_TABLE_HEADERS} ${QV_IMPORT_FUZZ}/fuzz_import.cpp
    COMMENT "Building the import fuzzer with clang"
    VERBATIM)
  add_custom_target(fuzz_import ALL DEPENDS ${QV_CLEAN_FUZZER} ${QV_IMPORT_FUZZER})

  foreach(fuzzer import_clean_fuzzer import_fuzzer)
    add_test(NAME ${fuzzer}_smoke
             COMMAND ${QV_IMPORT_FUZZ}/run_fuzzer.sh ${CMAKE_CURRENT_BINARY_DIR}/${fuzzer} 5
                     ${CMAKE_CURRENT_BINARY_DIR}/${fuzzer}_smoke)
  endforeach()
else()
  foreach(fuzzer import_clean_fuzzer import_fuzzer)
    add_test(NAME ${fuzzer}_smoke
             COMMAND sh -c "echo 'clang++ not found: the import fuzzers are not built'; exit 77")
    set_tests_properties(${fuzzer}_smoke PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
endif()
