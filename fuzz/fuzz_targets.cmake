# The fuzz harnesses, built in one of two forms:
#   quorvane_add_fuzz_harnesses(LIBFUZZER)  fuzz_<name>: libFuzzer executables
#                                           (clang, -fsanitize=fuzzer)
#   quorvane_add_fuzz_harnesses(REPLAY)     fuzz_replay_<name>: plain drivers that
#                                           replay the committed corpus and
#                                           regression inputs, one CTest test each
# and the seed-corpus generator fuzz_make_seed_corpus (either form).
set(QUORVANE_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")

# name;libraries...
set(QUORVANE_FUZZ_HARNESSES
  "archive_open|quorvane_dat"
  "decompress_lrs|quorvane_dat"
  "lrs_stream_decoder|quorvane_dat"
  "combat_maneuver_table|quorvane_dat"
  "parse_opts|check_runner"
  "terminfo|check_runner"
  "json_escape|check_runner"
  "xml_escape|check_runner")

function(quorvane_add_fuzz_harnesses form)
  if(NOT TARGET fuzz_support)
    # The harnesses' shared check macro.
    add_library(fuzz_support INTERFACE)
    target_include_directories(fuzz_support INTERFACE "${PROJECT_SOURCE_DIR}")
    target_compile_features(fuzz_support INTERFACE cxx_std_20)
  endif()
  if(NOT TARGET fuzz_make_seed_corpus)
    add_executable(fuzz_make_seed_corpus "${QUORVANE_FUZZ_DIR}/support/make_seed_corpus.cpp")
    target_link_libraries(fuzz_make_seed_corpus PRIVATE dat_writer)
  endif()

  foreach(entry IN LISTS QUORVANE_FUZZ_HARNESSES)
    string(REPLACE "|" ";" parts "${entry}")
    list(POP_FRONT parts name)
    set(source "${QUORVANE_FUZZ_DIR}/harnesses/${name}_fuzz.cpp")
    if(form STREQUAL "LIBFUZZER")
      add_executable(fuzz_${name} "${source}")
      target_link_libraries(fuzz_${name} PRIVATE fuzz_support ${parts})
      target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
      set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz")
    elseif(form STREQUAL "REPLAY")
      add_executable(fuzz_replay_${name} "${source}" "${QUORVANE_FUZZ_DIR}/support/replay_main.cpp")
      target_link_libraries(fuzz_replay_${name} PRIVATE fuzz_support ${parts})
      set(inputs "${QUORVANE_FUZZ_DIR}/corpus/${name}")
      if(EXISTS "${QUORVANE_FUZZ_DIR}/regressions/${name}")
        list(APPEND inputs "${QUORVANE_FUZZ_DIR}/regressions/${name}")
      endif()
      add_test(NAME fuzz_replay.${name} COMMAND fuzz_replay_${name} ${inputs})
      set_tests_properties(fuzz_replay.${name} PROPERTIES TIMEOUT 120 LABELS fuzz-replay)
    else()
      message(FATAL_ERROR "quorvane_add_fuzz_harnesses: unknown form '${form}'")
    endif()
  endforeach()
endfunction()
