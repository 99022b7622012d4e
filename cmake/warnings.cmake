# Project code builds warning-free; third-party code (GoogleTest) gets its own flags.
function(vellmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Werror)
endfunction()
