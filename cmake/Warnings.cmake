# Project-wide warning and sanitizer flags, applied to our own targets only.
set(DRAFTWELL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
    -Wformat=2)
if(DRAFTWELL_WERROR)
  list(APPEND DRAFTWELL_WARNINGS -Werror)
endif()

if(DRAFTWELL_SANITIZE)
  add_compile_options(-fsanitize=${DRAFTWELL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${DRAFTWELL_SANITIZE})
endif()

# The fuzz build leaves library code out of its coverage feedback. The list is
# named relative to the build folder, where Ninja runs the compiler: an
# absolute path differs in every clone, so ccache never hit. Its checksum goes
# on the command line too, so that ccache and Ninja rebuild when it changes.
if(DRAFTWELL_FUZZ)
  set(ignorelist ${PROJECT_SOURCE_DIR}/tests/fuzz/coverage_ignorelist.txt)
  file(RELATIVE_PATH relative_ignorelist ${CMAKE_BINARY_DIR} ${ignorelist})
  file(MD5 ${ignorelist} ignorelist_md5)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ignorelist})
  add_compile_options(-fsanitize-coverage-ignorelist=${relative_ignorelist}
                      -DDRAFTWELL_FUZZ_IGNORELIST_MD5=${ignorelist_md5})
endif()

option(DRAFTWELL_COVERAGE "Build with gcov coverage counters" OFF)
if(DRAFTWELL_COVERAGE)
  add_compile_options(--coverage -fprofile-update=atomic)
  add_link_options(--coverage)
endif()

# Call on every target we build from our own sources.
function(draftwell_target_defaults target)
  target_compile_options(${target} PRIVATE ${DRAFTWELL_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
