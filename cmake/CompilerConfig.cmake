# Warnings as one interface target, linked PRIVATE by each of our targets.
add_library(quillotide_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quillotide_warnings INTERFACE -Wall -Wextra -Wshadow -Wconversion
    -Wsign-conversion -Wno-unused-parameter)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

set(QUILLOTIDE_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")
if(QUILLOTIDE_SANITIZE)
  add_compile_options(-fsanitize=${QUILLOTIDE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${QUILLOTIDE_SANITIZE})
endif()
