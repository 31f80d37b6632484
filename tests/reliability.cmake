# The reliability suite and the real clients run the real quendra.exe under Wine and
# drive it from Python (Debian's python3, standard library only) over 127.0.0.1, with a
# small Windows probe for what only a Wine process can see or do. The pure rules are
# also fuzzed natively with clang.

add_executable(relay_probe
  reliability/probe/probe_main.cpp
  reliability/probe/process_lookup.cpp
  reliability/probe/process_windows.cpp)
target_link_libraries(relay_probe PRIVATE winapp quendra_warnings)

# The interpreter is named in full: the python3 first on PATH may be another one.
set(relay_python /usr/bin/python3)

function(relay_python_test name label script timeout)
  add_test(NAME ${name}
    COMMAND ${relay_python} ${CMAKE_CURRENT_SOURCE_DIR}/${script} $<TARGET_FILE:quendra> $<TARGET_FILE:relay_probe>)
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT ${timeout} SKIP_RETURN_CODE 77
    ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endfunction()

relay_python_test(reliability_blocks reliability reliability/test_blocks.py 300)
relay_python_test(reliability_churn reliability reliability/test_churn.py 300)
relay_python_test(reliability_slow_clients reliability reliability/test_slow_clients.py 300)
# A longer search for the first limit (QUENDRA_FLOOD_SECONDS) may take up to 15 minutes.
relay_python_test(reliability_flood reliability reliability/test_flood.py 1200)
relay_python_test(reliability_file_faults reliability reliability/test_file_faults.py 300)
relay_python_test(reliability_settings_files reliability reliability/test_settings_files.py 400)
relay_python_test(clients_real clients clients/test_real_clients.py 300)

# The rule fuzzers: built once, then each runs for a bounded time.
set(fuzz_script ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run.sh)
set(fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
set(fuzz_seconds 15)
add_test(NAME fuzz_build COMMAND ${fuzz_script} build ${fuzz_work})
set_tests_properties(fuzz_build PROPERTIES LABELS reliability FIXTURES_SETUP rule_fuzzers
  SKIP_RETURN_CODE 77 TIMEOUT 300)
foreach(fuzzer integer_rule_fuzzer strip_rule_fuzzer error_text_fuzzer)
  add_test(NAME fuzz_${fuzzer} COMMAND ${fuzz_script} run ${fuzz_work} ${fuzzer} ${fuzz_seconds})
  set_tests_properties(fuzz_${fuzzer} PROPERTIES LABELS reliability FIXTURES_REQUIRED rule_fuzzers
    SKIP_RETURN_CODE 77 TIMEOUT 120)
endforeach()
