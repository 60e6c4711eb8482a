# The resource script and the files it embeds.
configure_file("${CMAKE_SOURCE_DIR}/cmake/version.h.in" "${KV_GENERATED_DIR}/kv_version.h" @ONLY)
set(KV_RESOURCE_SCRIPT "${CMAKE_SOURCE_DIR}/res/KVDownloader.rc")
set_source_files_properties("${KV_RESOURCE_SCRIPT}" PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/KVDownloader.manifest;${CMAKE_SOURCE_DIR}/res/korvan.ico;${KV_GENERATED_DIR}/kv_version.h")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${KV_GENERATED_DIR} -I${CMAKE_SOURCE_DIR}/res -c 65001")

# Archives produced at build time land here; later resources depend on it.
set(KV_RES_OUT "${CMAKE_BINARY_DIR}/res")
file(MAKE_DIRECTORY "${KV_RES_OUT}")
add_custom_target(kv_resources)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${KV_RES_OUT}")

# The carried archives (7za.exe and the download engine).
include(cmake/packages.cmake)
set_property(SOURCE "${KV_RESOURCE_SCRIPT}" APPEND PROPERTY OBJECT_DEPENDS ${KV_PACKAGE_FILES})

# The skin archives (description and images).
include(cmake/skin.cmake)
