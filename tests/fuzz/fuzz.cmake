# Fuzz targets under libFuzzer with AddressSanitizer and UBSan. libFuzzer comes with clang,
# whatever compiler builds the rest, so each fuzzer is built by clang++ directly from the
# sources it needs; ctest runs each for a few seconds as a smoke test, and
# tests/fuzz/run_fuzzer.sh runs one for as long as wanted.
#
#   qv_fuzzer(NAME SOURCES file... [DEPENDS file...] [COMPILE flag...] [LINK flag...]
#             [ARGS seed-dir-or-libFuzzer-option...])
find_program(QV_CLANGXX NAMES clang++ clang++-14)
set(QV_FUZZ_FLAGS -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined
                  -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic)
if(QV_WERROR)
  list(APPEND QV_FUZZ_FLAGS -Werror)
endif()
if(QV_CLANGXX)
  add_custom_target(fuzzers ALL)
endif()

function(qv_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;DEPENDS;COMPILE;LINK;ARGS" ${ARGN})
  if(NOT QV_CLANGXX)
    add_test(NAME ${name}_smoke
             COMMAND sh -c "echo 'clang++ not found: ${name} is not built'; exit 77")
    set_tests_properties(${name}_smoke PROPERTIES SKIP_RETURN_CODE 77)
    return()
  endif()
  set(binary ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${binary}
    COMMAND ${QV_CLANGXX} ${QV_FUZZ_FLAGS} -I${PROJECT_SOURCE_DIR}/src ${F_COMPILE} ${F_SOURCES}
            -o ${binary} ${F_LINK}
    DEPENDS ${F_SOURCES} ${F_DEPENDS}
    COMMENT "Building ${name} with clang"
    VERBATIM)
  add_custom_target(build_${name} DEPENDS ${binary})
  add_dependencies(fuzzers build_${name})
  add_test(NAME ${name}_smoke
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run_fuzzer.sh ${binary} 5
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}_smoke ${F_ARGS})
endfunction()
