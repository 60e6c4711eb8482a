# Flags for the project's own targets (not for GoogleTest or the libraries).
function(kv_project_flags target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers -Wno-cast-function-type>
    # Narrow literals are log texts, read back through code page 936.
    $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GBK>)
endfunction()
