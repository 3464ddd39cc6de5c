# Project-wide compiler settings: high warnings everywhere, -Werror only
# when asked for (CI), sanitizers as an option.
add_library(quillmark_options INTERFACE)
target_compile_options(quillmark_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-align -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(QUILLMARK_WERROR)
  target_compile_options(quillmark_options INTERFACE -Werror)
endif()
target_compile_definitions(quillmark_options INTERFACE
  QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(QUILLMARK_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_compile_options(quillmark_options INTERFACE ${_san})
  target_link_options(quillmark_options INTERFACE ${_san})
endif()
