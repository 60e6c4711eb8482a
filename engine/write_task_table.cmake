# Writes the engine's task table from the deployment settings (cmake -P):
#   -DKV_OUT_DIR=<stage>/download -DKV_URLS=<url;url> -DKV_SHA256=<hex or "">
#   -DKV_SIZE=<bytes or ""> -DKV_FILE=<installer to measure when those are empty>
# A setting left empty and no installer to measure leaves the key out; the
# engine then refuses the task (it never fetches what it cannot check).
set(task_id 617350001)
set(sha "${KV_SHA256}")
set(size "${KV_SIZE}")
if((sha STREQUAL "" OR size STREQUAL "") AND EXISTS "${KV_FILE}")
  if(sha STREQUAL "")
    file(SHA256 "${KV_FILE}" sha)
  endif()
  if(size STREQUAL "")
    file(SIZE "${KV_FILE}" size)
  endif()
endif()

set(text "# Written by the build from the deployment settings.\nproduct=kv\nname=KorvanInstall.exe\n")
if(NOT size STREQUAL "")
  string(APPEND text "size=${size}\n")
endif()
if(NOT sha STREQUAL "")
  string(TOLOWER "${sha}" sha)
  string(APPEND text "sha256=${sha}\n")
endif()
foreach(url IN LISTS KV_URLS)
  string(APPEND text "url=${url}\n")
endforeach()

function(write_if_changed path content)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE "${path}" "${content}")
  endif()
endfunction()

file(MAKE_DIRECTORY "${KV_OUT_DIR}")
write_if_changed("${KV_OUT_DIR}/${task_id}.task" "${text}")
write_if_changed("${KV_OUT_DIR}/id.dat" "${task_id}=kv\n")
