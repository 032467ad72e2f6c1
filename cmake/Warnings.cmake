# Every project target links mandel_warnings; third-party code does not.
add_library(mandel_warnings INTERFACE)
target_compile_options(mandel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wdouble-promotion
  -Wnull-dereference -Wimplicit-fallthrough)
if(MANDEL_WERROR)
  target_compile_options(mandel_warnings INTERFACE -Werror)
endif()
