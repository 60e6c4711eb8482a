# Delay-import libraries for the Win32 DLLs that are not on the system's
# known-DLL list. A DLL imported at load time is looked up in the program's
# own folder first (a Downloads folder, where a web page may have left a
# "version.dll"), before any of our code can say otherwise. Delay-imported,
# it is loaded at its first call, after wWinMain has limited the search to
# the system folder (base/dll_search.h).
#
# The export names come from the toolchain's own import library (its
# "__imp_" symbols); dlltool turns them into a delay-import library.
#
#   kv_delay_import_libs(<out-var> <dll>...)   e.g. kv_delay_import_libs(libs version wininet)

string(REGEX REPLACE "-gcc(-posix)?$" "" KV_MINGW_PREFIX "${CMAKE_C_COMPILER}")
find_program(KV_DLLTOOL NAMES "${KV_MINGW_PREFIX}-dlltool" REQUIRED)
find_program(KV_MINGW_NM NAMES "${KV_MINGW_PREFIX}-nm" REQUIRED)
set(KV_DELAY_LIB_DIR "${CMAKE_BINARY_DIR}/delayimp")
file(MAKE_DIRECTORY "${KV_DELAY_LIB_DIR}")

function(kv_delay_import_libs out_var)
  set(libs)
  foreach(dll IN LISTS ARGN)
    set(lib "${KV_DELAY_LIB_DIR}/lib${dll}_delay.a")
    if(NOT EXISTS "${lib}")
      find_library(import_lib_${dll} NAMES "lib${dll}.a" REQUIRED)
      execute_process(COMMAND "${KV_MINGW_NM}" "${import_lib_${dll}}"
                      OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_status)
      if(NOT nm_status EQUAL 0)
        message(FATAL_ERROR "cannot read the import library ${import_lib_${dll}}")
      endif()
      # "00000000 I __imp__GetFileVersionInfoW@12" (i686) or
      # "0000000000000000 I __imp_GetFileVersionInfoW" (x86_64).
      string(REGEX MATCHALL "I __imp__?[^\n]+" imports "${symbols}")
      set(def "EXPORTS\n")
      foreach(entry IN LISTS imports)
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
          string(REGEX REPLACE "^I __imp__" "" name "${entry}")
        else()
          string(REGEX REPLACE "^I __imp_" "" name "${entry}")
        endif()
        string(APPEND def "${name}\n")
      endforeach()
      file(WRITE "${KV_DELAY_LIB_DIR}/${dll}.def" "${def}")
      set(kill_at)
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(kill_at --kill-at)
      endif()
      execute_process(COMMAND "${KV_DLLTOOL}" --input-def "${KV_DELAY_LIB_DIR}/${dll}.def"
                              --dllname "${dll}.dll" ${kill_at} --output-delaylib "${lib}"
                      RESULT_VARIABLE dlltool_status)
      if(NOT dlltool_status EQUAL 0)
        message(FATAL_ERROR "dlltool could not make the delay-import library for ${dll}.dll")
      endif()
    endif()
    list(APPEND libs "${lib}")
  endforeach()
  set(${out_var} ${libs} PARENT_SCOPE)
endfunction()
