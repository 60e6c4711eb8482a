# The gallery loads the shipped skin exactly as the program carries it
# (cmake/skin.cmake builds both archives).
list(APPEND KV_TEST_RC_DEPENDS ${KV_SKIN_ARCHIVES})
list(APPEND KV_TEST_RC_INCLUDES "${KV_RES_OUT}")
