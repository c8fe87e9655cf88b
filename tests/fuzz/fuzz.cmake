# Fuzz targets under libFuzzer with AddressSanitizer and UBSan. libFuzzer comes with clang,
# whatever compiler builds the rest, so the fuzzers and the sources they test are compiled by
# clang++ directly: each group of sources once into an archive (qv_fuzz_sources), each fuzzer
# linked from its target file and those archives (qv_fuzzer). ctest runs every fuzzer for a few
# seconds from its seeds; tests/fuzz/run_fuzzer.sh runs one for as long as wanted.
find_program(QV_CLANGXX NAMES clang++ clang++-14)
set(QV_FUZZ_FLAGS -std=c++20 -O1 -g -fsanitize=fuzzer-no-link,address,undefined
                  -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic
                  -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR}/tests)
if(QV_WERROR)
  list(APPEND QV_FUZZ_FLAGS -Werror)
endif()
set(QV_FUZZ_DIR ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
if(QV_CLANGXX)
  add_custom_target(fuzzers ALL)
endif()

# qv_fuzz_sources(NAME SOURCES glob... [COMPILE flag...]): the sources compiled for fuzzing
# into ${QV_FUZZ_DIR}/libNAME.a.
function(qv_fuzz_sources name)
  cmake_parse_arguments(F "" "" "SOURCES;COMPILE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${F_SOURCES})
  set(headers)
  foreach(src ${sources})
    get_filename_component(dir ${src} DIRECTORY)
    file(GLOB h CONFIGURE_DEPENDS ${dir}/*.h)
    list(APPEND headers ${h})
  endforeach()
  list(REMOVE_DUPLICATES headers)
  set(work ${QV_FUZZ_DIR}/${name}.objects)
  set(archive ${QV_FUZZ_DIR}/lib${name}.a)
  add_custom_command(
    OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${QV_CLANGXX} ${QV_FUZZ_FLAGS} ${F_COMPILE} -c
            ${sources}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${archive}
    COMMAND sh -c "${CMAKE_AR} rcs ${archive} ${work}/*.o"
    DEPENDS ${sources} ${headers}
    COMMENT "Compiling ${name} with clang for the fuzzers"
    VERBATIM)
  add_custom_target(fuzz_sources_${name} DEPENDS ${archive})
endfunction()

# qv_fuzzer(NAME TARGET file [ARCHIVES name...] [DEFINES d...] [LIBS flag...] [SEEDS dir...]
#           [OPTIONS -flag=value...]): the fuzzer ${QV_FUZZ_DIR}/NAME and its smoke test.
function(qv_fuzzer name)
  cmake_parse_arguments(F "" "TARGET" "ARCHIVES;DEFINES;LIBS;SEEDS;OPTIONS" ${ARGN})
  if(NOT QV_CLANGXX)
    add_test(NAME ${name}_smoke
             COMMAND sh -c "echo 'clang++ not found: ${name} is not built'; exit 77")
    set_tests_properties(${name}_smoke PROPERTIES SKIP_RETURN_CODE 77)
    return()
  endif()
  set(archives)
  set(archiveTargets)
  foreach(a ${F_ARCHIVES})
    list(APPEND archives ${QV_FUZZ_DIR}/lib${a}.a)
    list(APPEND archiveTargets fuzz_sources_${a})
  endforeach()
  set(defines)
  foreach(d ${F_DEFINES})
    list(APPEND defines -D${d})
  endforeach()
  set(fuzzer ${QV_FUZZ_DIR}/${name})
  add_custom_command(
    OUTPUT ${fuzzer}
    COMMAND ${QV_CLANGXX} ${QV_FUZZ_FLAGS} -fsanitize=fuzzer ${defines} ${F_TARGET} ${archives}
            ${F_LIBS} -o ${fuzzer}
    DEPENDS ${F_TARGET} ${archives} ${archiveTargets}
    COMMENT "Building the fuzzer ${name} with clang"
    VERBATIM)
  add_custom_target(build_${name} DEPENDS ${fuzzer})
  add_dependencies(fuzzers build_${name})
  add_test(NAME ${name}_smoke
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run_fuzzer.sh ${fuzzer} 5
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}_smoke ${F_SEEDS} ${F_OPTIONS})
endfunction()
