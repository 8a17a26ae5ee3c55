# Warnings are errors for every target of ours (third-party code is not compiled here).
function(vx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wformat=2 -Werror)
endfunction()
