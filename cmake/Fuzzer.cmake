# lumoka_add_fuzzer(NAME exe SOURCES s... [LIBS l...])
# A libFuzzer target (fuzz preset, clang). It compiles the sources it tests itself,
# so that they carry the fuzzer's coverage and sanitizer instrumentation.
set(LUMOKA_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

function(lumoka_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_include_directories(${F_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_compile_options(${F_NAME} PRIVATE ${LUMOKA_FUZZ_FLAGS} -O1 -g)
  target_link_options(${F_NAME} PRIVATE ${LUMOKA_FUZZ_FLAGS})
  set_target_properties(${F_NAME} PROPERTIES BUILD_RPATH "${LUMOKA_SDL3_PREFIX}/lib")
endfunction()
