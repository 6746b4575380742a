# Warnings for Tavlin's own targets: -Wall -Wextra everywhere, and -Werror unless TAVLIN_WERROR is turned off.
# JUCE's modules, FFmpeg, FFTW and GoogleTest come in as system headers (JUCE's folder is marked SYSTEM in
# TavlinJuce.cmake, the others are imported targets), so their headers raise nothing in our files; JUCE's own
# sources are built without these flags.

option(TAVLIN_WERROR "Treat compiler warnings in Tavlin's own code as errors" ON)

function(tavlin_warnings)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TAVLIN_WERROR}>:-Werror>)
  endforeach()
endfunction()
