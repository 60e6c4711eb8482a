# ctest entries "FuzzSmoke.<harness>": each native harness runs a short,
# fixed number of inputs over its committed corpus (scripts/lib/fuzz.sh,
# kv_fuzz_smoke), so a known crashing input fails the test run. The
# harnesses themselves are built natively by scripts/test into build/fuzz.
include("${CMAKE_CURRENT_LIST_DIR}/harnesses.cmake")
foreach(name IN LISTS KV_FUZZ_HARNESSES)
  add_test(NAME FuzzSmoke.${name}
           COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/lib/fuzz.sh" smoke "${CMAKE_BINARY_DIR}/fuzz" ${name})
  set_tests_properties(FuzzSmoke.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endforeach()
