# The fuzz harnesses, shared by the native fuzz build (fuzz/CMakeLists.txt)
# and the smoke entries of the main build's ctest. Adding one: its name
# here, fuzz/<name>_fuzz.cpp, seeds in fuzz/corpus/<name>/ and, when it
# helps, fuzz/dict/<name>.dict.
set(KV_FUZZ_HARNESSES skin_text skin_values stored_zip http_values log_ini engine_http task_table state_record)
