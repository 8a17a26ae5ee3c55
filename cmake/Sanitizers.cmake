# Applies VX_SANITIZE to everything built after this point.
if(VX_SANITIZE)
  add_compile_options(-fsanitize=${VX_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VX_SANITIZE})
  if(VX_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
