# Shipped binaries leave their debug information in a file of their own
# (<binary>.debug beside it, found again through a debug link): a player
# downloads and starts a few MiB instead of tens, and the platform maps
# less at every start. Call before any other post-build step of the target
# that copies or packs the binary.
function(kv_ship_without_debug_info target)
  set(binary "$<TARGET_FILE:${target}>")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "${binary}" "${binary}.debug"
    COMMAND "${CMAKE_STRIP}" --strip-debug "${binary}"
    COMMAND "${CMAKE_OBJCOPY}" "--add-gnu-debuglink=${binary}.debug" "${binary}"
    VERBATIM)
endfunction()
