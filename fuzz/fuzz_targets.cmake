# The fuzz harnesses, built in one of two forms:
#   quorvane_add_fuzz_harnesses(LIBFUZZER)  quorvane_fuzz_<name>: libFuzzer executables
#                                           (clang, -fsanitize=fuzzer)
#   quorvane_add_fuzz_harnesses(REPLAY)     quorvane_fuzz_replay_<name>: plain drivers that
#                                           replay the committed corpus and
#                                           regression inputs, one CTest test each
# and the seed-corpus generator quorvane_fuzz_make_seed_corpus (either form).
# The executables are named without the quorvane_ prefix (fuzz_<name>, ...).
set(QUORVANE_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")

# name;libraries...
set(QUORVANE_FUZZ_HARNESSES
  "archive_open|quorvane_dat"
  "decompress_lrs|quorvane_dat"
  "lrs_stream_decoder|quorvane_dat"
  "combat_maneuver_table|quorvane_dat"
  "parse_opts|quorvane_check_runner"
  "terminfo|quorvane_check_runner"
  "json_escape|quorvane_check_runner"
  "xml_escape|quorvane_check_runner")

function(quorvane_add_fuzz_harnesses form)
  if(NOT TARGET quorvane_fuzz_support)
    # The harnesses' shared check macro, and the decoding oracle.
    add_library(quorvane_fuzz_support INTERFACE)
    target_link_libraries(quorvane_fuzz_support INTERFACE quorvane_internal_headers quorvane_test_oracles)
  endif()
  if(NOT TARGET quorvane_fuzz_make_seed_corpus)
    add_executable(quorvane_fuzz_make_seed_corpus "${QUORVANE_FUZZ_DIR}/support/make_seed_corpus.cpp")
    quorvane_keep_file_name(quorvane_fuzz_make_seed_corpus)
    target_link_libraries(quorvane_fuzz_make_seed_corpus PRIVATE quorvane_dat_writer)
  endif()

  foreach(entry IN LISTS QUORVANE_FUZZ_HARNESSES)
    string(REPLACE "|" ";" parts "${entry}")
    list(POP_FRONT parts name)
    set(source "${QUORVANE_FUZZ_DIR}/harnesses/${name}_fuzz.cpp")
    if(form STREQUAL "LIBFUZZER")
      add_executable(quorvane_fuzz_${name} "${source}")
      quorvane_keep_file_name(quorvane_fuzz_${name})
      target_link_libraries(quorvane_fuzz_${name} PRIVATE quorvane_fuzz_support ${parts})
      target_link_options(quorvane_fuzz_${name} PRIVATE -fsanitize=fuzzer)
      set_target_properties(quorvane_fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz")
    elseif(form STREQUAL "REPLAY")
      add_executable(quorvane_fuzz_replay_${name} "${source}" "${QUORVANE_FUZZ_DIR}/support/replay_main.cpp")
      quorvane_keep_file_name(quorvane_fuzz_replay_${name})
      target_link_libraries(quorvane_fuzz_replay_${name} PRIVATE quorvane_fuzz_support ${parts})
      set(inputs "${QUORVANE_FUZZ_DIR}/corpus/${name}")
      if(EXISTS "${QUORVANE_FUZZ_DIR}/regressions/${name}")
        list(APPEND inputs "${QUORVANE_FUZZ_DIR}/regressions/${name}")
      endif()
      add_test(NAME fuzz_replay.${name} COMMAND quorvane_fuzz_replay_${name} ${inputs})
      set_tests_properties(fuzz_replay.${name} PROPERTIES TIMEOUT 120 LABELS fuzz-replay)
    else()
      message(FATAL_ERROR "quorvane_add_fuzz_harnesses: unknown form '${form}'")
    endif()
  endforeach()
endfunction()
