# Warnings for every target of ours; errors when BREVIO_WERROR is on (CI).
add_compile_options(-Wall -Wextra -Wpedantic)
if(BREVIO_WERROR)
  add_compile_options(-Werror)
endif()
if(BREVIO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(BREVIO_FUZZ)
  # Coverage for libFuzzer in everything we build; only the fuzz programs link its main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
