# The skin archives the program carries, built from res/skin at every build
# that changes them:
#
#   ${KV_RES_OUT}/skininfo.zip  "SKININFO.ZIP": skin.info
#   ${KV_RES_OUT}/skin.zip      "SKIN.ZIP": every PNG of res/skin
#
# Both are stored (zip -0): the program's reader copies entries out of the
# archive and refuses compressed ones. Written to a regular file, zip puts
# the sizes into the local headers and writes no data descriptors. -X
# leaves out the extra fields of file attributes, -j keeps bare names, -D
# adds no folder entries. Made afresh, so an image removed from res/skin
# leaves the archive too.
#
# The artwork itself is drawn by scripts/make_skin_art.sh and committed.

set(KV_SKIN_DIR "${CMAKE_SOURCE_DIR}/res/skin")
file(GLOB KV_SKIN_IMAGES CONFIGURE_DEPENDS "${KV_SKIN_DIR}/*.png")
list(SORT KV_SKIN_IMAGES)

set(KV_SKIN_ZIP "${KV_RES_OUT}/skin.zip")
set(KV_SKININFO_ZIP "${KV_RES_OUT}/skininfo.zip")

add_custom_command(OUTPUT "${KV_SKININFO_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${KV_SKININFO_ZIP}"
  COMMAND "${KV_ZIP_TOOL}" -q -0 -X -j -D "${KV_SKININFO_ZIP}" "${KV_SKIN_DIR}/skin.info"
  DEPENDS "${KV_SKIN_DIR}/skin.info"
  COMMENT "Packing skin.info"
  VERBATIM)

add_custom_command(OUTPUT "${KV_SKIN_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${KV_SKIN_ZIP}"
  COMMAND "${KV_ZIP_TOOL}" -q -0 -X -j -D "${KV_SKIN_ZIP}" ${KV_SKIN_IMAGES}
  DEPENDS ${KV_SKIN_IMAGES}
  COMMENT "Packing the skin images"
  VERBATIM)

add_custom_target(kv_skin_archives DEPENDS "${KV_SKIN_ZIP}" "${KV_SKININFO_ZIP}")
add_dependencies(kv_resources kv_skin_archives)
set(KV_SKIN_ARCHIVES "${KV_SKIN_ZIP};${KV_SKININFO_ZIP}")
set_property(SOURCE "${KV_RESOURCE_SCRIPT}" APPEND PROPERTY OBJECT_DEPENDS ${KV_SKIN_ARCHIVES})
