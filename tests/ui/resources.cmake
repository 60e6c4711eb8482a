# The window tests load the shipped skin exactly as the program carries it.
list(APPEND KV_TEST_RC_DEPENDS ${KV_SKIN_ARCHIVES} "${CMAKE_SOURCE_DIR}/res/korvan.ico")
list(APPEND KV_TEST_RC_INCLUDES "${KV_RES_OUT}" "${CMAKE_SOURCE_DIR}/res")
