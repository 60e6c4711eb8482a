# The two archives the program carries for its package extraction, built
# from real files at every build that changes them:
#
#   ${KV_RES_OUT}/7za.zip        "IDR_ZIP_7ZA": deflate zip, one member 7za.exe
#   ${KV_RES_OUT}/downloader.7z  "IDR_ZIP_DOWNLOADER": solid LZMA 7z of the
#                                engine staging folder KV_ENGINE_STAGE_DIR
#
# The engine's targets put their files into KV_ENGINE_STAGE_DIR (the library
# at the top, the data files under download/) and hook in with
#
#   add_dependencies(kv_engine_stage <their target>)
#
# so they have run before the folder is read. Whatever the folder holds goes
# into the archive, with paths relative to it. The archive is rebuilt when
# the folder's content changes: kv_engine_stage writes a manifest of the
# relative paths and their SHA-256 sums, and touches it only when it differs,
# so copying an unchanged file again relinks nothing.
#
# The same file runs as a script (cmake -P) to write that manifest.

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: -DKV_STAGE_DIR=<folder> -DKV_MANIFEST=<file>.
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${KV_STAGE_DIR}" "${KV_STAGE_DIR}/*")
  list(SORT entries)
  set(manifest "")
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${KV_STAGE_DIR}/${entry}")
      string(APPEND manifest "dir ${entry}\n")
    else()
      file(SHA256 "${KV_STAGE_DIR}/${entry}" sum)
      string(APPEND manifest "file ${entry} ${sum}\n")
    endif()
  endforeach()
  set(old "")
  if(EXISTS "${KV_MANIFEST}")
    file(READ "${KV_MANIFEST}" old)
  endif()
  if(NOT old STREQUAL manifest)
    file(WRITE "${KV_MANIFEST}" "${manifest}")
  endif()
  return()
endif()

find_program(KV_ZIP_TOOL zip REQUIRED)
find_program(KV_7Z_TOOL NAMES 7zz 7z REQUIRED)

# kv_zip_archive(<output> <file>...): a deflate zip of the files, each stored
# under its file name alone. Made afresh, so no member of an older run stays.
function(kv_zip_archive output)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${output}"
    COMMAND "${KV_ZIP_TOOL}" -q -j -X -9 "${output}" ${ARGN}
    DEPENDS ${ARGN}
    COMMENT "Zipping ${output}"
    VERBATIM)
endfunction()

# kv_7z_archive(<output> <folder> <depends>...): a solid LZMA 7z of
# everything in <folder>, with paths relative to it, rebuilt when one of
# <depends> changes. Made afresh, so files removed from the folder leave the
# archive too.
function(kv_7z_archive output folder)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${output}"
    COMMAND "${KV_7Z_TOOL}" a -t7z -m0=lzma -ms=on -bso0 -bsp0 "${output}" .
    WORKING_DIRECTORY "${folder}"
    DEPENDS ${ARGN}
    COMMENT "Packing ${folder} into ${output}"
    VERBATIM)
endfunction()

set(KV_TOOL_ZIP "${KV_RES_OUT}/7za.zip")
set(KV_ENGINE_7Z "${KV_RES_OUT}/downloader.7z")
set(KV_ENGINE_STAGE_DIR "${CMAKE_BINARY_DIR}/engine_stage")
set(KV_ENGINE_STAGE_MANIFEST "${CMAKE_BINARY_DIR}/packages/engine_stage.manifest")
file(MAKE_DIRECTORY "${KV_ENGINE_STAGE_DIR}/download")

kv_zip_archive("${KV_TOOL_ZIP}" "${KV_7ZA_EXE}")

add_custom_target(kv_engine_stage
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${KV_ENGINE_STAGE_DIR}/download"
  COMMAND "${CMAKE_COMMAND}" -DKV_STAGE_DIR=${KV_ENGINE_STAGE_DIR}
          -DKV_MANIFEST=${KV_ENGINE_STAGE_MANIFEST} -P "${CMAKE_CURRENT_LIST_FILE}"
  BYPRODUCTS "${KV_ENGINE_STAGE_MANIFEST}"
  COMMENT "Reading the engine staging folder"
  VERBATIM)

kv_7z_archive("${KV_ENGINE_7Z}" "${KV_ENGINE_STAGE_DIR}"
  "${KV_ENGINE_STAGE_MANIFEST}" kv_engine_stage)

add_custom_target(kv_packages DEPENDS "${KV_TOOL_ZIP}" "${KV_ENGINE_7Z}")
add_dependencies(kv_resources kv_packages)
set(KV_PACKAGE_FILES "${KV_TOOL_ZIP};${KV_ENGINE_7Z}")
