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
