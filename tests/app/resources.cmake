# Archives for the package extraction tests, embedded by resources.rc next to
# the program's real "IDR_ZIP_7ZA" and "IDR_ZIP_DOWNLOADER" (cmake/packages.cmake).
# The texts here are the expected contents in package_extraction_test.cpp.
# file(CONFIGURE) rewrites a file only when its text changed, so a new
# configure run rebuilds nothing.
set(out "${CMAKE_CURRENT_BINARY_DIR}/app_res")
set(stage "${out}/nested_stage")

# An engine-like folder: a file at the top, nested folders (one with a blank
# in its name) and enough data for the truncated copy to cut into it.
set(filler "")
foreach(i RANGE 1 2000)
  string(APPEND filler "filler line ${i}\n")
endforeach()
file(CONFIGURE OUTPUT "${stage}/engine_marker.txt" CONTENT "engine marker\n" @ONLY)
file(CONFIGURE OUTPUT "${stage}/download/id.dat" CONTENT "id 4711\n" @ONLY)
file(CONFIGURE OUTPUT "${stage}/download/data files/level 1.dat" CONTENT "${filler}" @ONLY)
set(stage_files
  "${stage}/engine_marker.txt" "${stage}/download/id.dat" "${stage}/download/data files/level 1.dat")
kv_7z_archive("${out}/nested.7z" "${stage}" ${stage_files})

# The first kilobyte only: the data is cut and the closing header is gone.
add_custom_command(OUTPUT "${out}/truncated.7z"
  COMMAND "${CMAKE_COMMAND}" -E copy "${out}/nested.7z" "${out}/truncated.7z"
  COMMAND truncate -s 1024 "${out}/truncated.7z"
  DEPENDS "${out}/nested.7z"
  VERBATIM)
# Complete, but with zeros over part of the packed data.
add_custom_command(OUTPUT "${out}/corrupt.7z"
  COMMAND "${CMAKE_COMMAND}" -E copy "${out}/nested.7z" "${out}/corrupt.7z"
  COMMAND dd if=/dev/zero "of=${out}/corrupt.7z" bs=1 seek=64 count=64 conv=notrunc status=none
  DEPENDS "${out}/nested.7z"
  VERBATIM)

file(CONFIGURE OUTPUT "${out}/garbage.7z" CONTENT "This is plain text, not a 7z archive.\n" @ONLY)
file(CONFIGURE OUTPUT "${out}/readme.txt" CONTENT "not the tool\n" @ONLY)
kv_zip_archive("${out}/unrelated.zip" "${out}/readme.txt")

list(APPEND KV_TEST_RC_DEPENDS ${KV_PACKAGE_FILES} "${out}/nested.7z" "${out}/truncated.7z"
     "${out}/corrupt.7z" "${out}/garbage.7z" "${out}/unrelated.zip")
list(APPEND KV_TEST_RC_INCLUDES "${KV_RES_OUT}" "${out}")
