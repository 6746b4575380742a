# Compiles the JUCE modules once, into two static libraries that every target shares:
#   tavlin_juce_core: core, events, data structures, audio basics, formats and devices (no GUI)
#   tavlin_juce_gui:  graphics, GUI, processors and utilities, on top of the core
# Every JUCE translation unit is compiled with the same settings, and each is told only of the modules of its
# own half and those below it: the core half knows no GUI module, so a program that links only the core half
# needs nothing of the GUI half. On Linux the core modules use a GUI module only where one is there to hand
# them work: juce_audio_devices.h brings in juce_graphics, and the application start in juce_events runs the
# web view's page process, which the application's main() starts itself (Source/Main.cpp). The class layouts
# of the core modules do not depend on it, so both halves agree.

set(TAVLIN_JUCE_CORE_MODULES juce_core juce_events juce_data_structures juce_audio_basics juce_audio_formats
    juce_audio_devices)
set(TAVLIN_JUCE_GUI_MODULES juce_graphics juce_gui_basics juce_gui_extra juce_audio_processors juce_audio_utils)

pkg_check_modules(TAVLIN_CODECS REQUIRED IMPORTED_TARGET flac vorbis vorbisenc vorbisfile ogg zlib)
pkg_check_modules(TAVLIN_DEVICES REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(TAVLIN_CURL REQUIRED IMPORTED_TARGET libcurl)

set(TAVLIN_JUCE_DEFINITIONS
  JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
  JUCE_STANDALONE_APPLICATION=1
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_REPORT_APP_USAGE=0
  JUCE_MODAL_LOOPS_PERMITTED=1
  JUCE_STRICT_REFCOUNTEDPOINTER=1
  JUCE_USE_CURL=1
  JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
  JUCE_WEB_BROWSER=1
  JUCE_USE_FLAC=1
  JUCE_USE_OGGVORBIS=1
  JUCE_INCLUDE_FLAC_CODE=0
  JUCE_INCLUDE_OGGVORBIS_CODE=0
  JUCE_INCLUDE_ZLIB_CODE=0
  JUCE_INCLUDE_PNGLIB_CODE=0
  JUCE_INCLUDE_JPEGLIB_CODE=0
  JUCE_USE_MP3AUDIOFORMAT=1
  JUCE_USE_LAME_AUDIO_FORMAT=1
  JUCE_ALSA=1
  JUCE_JACK=0
  JUCE_USE_XRANDR=1
  JUCE_USE_XINERAMA=1
  JUCE_USE_XSHM=1
  JUCE_USE_XRENDER=1
  JUCE_USE_XCURSOR=1
  JUCE_PLUGINHOST_VST3=0
  JUCE_PLUGINHOST_LV2=0
  JUCE_PLUGINHOST_LADSPA=0
  JUCE_APPLICATION_NAME_STRING="Tavlin"
  JUCE_APPLICATION_VERSION_STRING="${PROJECT_VERSION}")
set(TAVLIN_JUCE_CORE_AVAILABLE)
foreach(module IN LISTS TAVLIN_JUCE_CORE_MODULES)
  list(APPEND TAVLIN_JUCE_CORE_AVAILABLE JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()
set(TAVLIN_JUCE_GUI_AVAILABLE)
foreach(module IN LISTS TAVLIN_JUCE_GUI_MODULES)
  list(APPEND TAVLIN_JUCE_GUI_AVAILABLE JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()

function(tavlin_module_sources out)
  set(sources)
  foreach(module IN LISTS ARGN)
    file(GLOB module_sources "${JUCE_MODULES_DIR}/${module}/${module}*.cpp")
    list(APPEND sources ${module_sources})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

tavlin_module_sources(core_sources ${TAVLIN_JUCE_CORE_MODULES})
add_library(tavlin_juce_core STATIC ${core_sources})
target_include_directories(tavlin_juce_core SYSTEM PUBLIC "${JUCE_MODULES_DIR}")
target_compile_definitions(tavlin_juce_core PUBLIC ${TAVLIN_JUCE_DEFINITIONS} ${TAVLIN_JUCE_CORE_AVAILABLE}
  $<IF:$<CONFIG:Debug>,DEBUG=1 _DEBUG=1,NDEBUG=1>)
target_link_libraries(tavlin_juce_core PUBLIC PkgConfig::TAVLIN_CODECS PkgConfig::TAVLIN_CURL PkgConfig::TAVLIN_DEVICES
  Threads::Threads ${CMAKE_DL_LIBS} rt)
set_target_properties(tavlin_juce_core PROPERTIES CXX_VISIBILITY_PRESET default)
if(TAVLIN_SANITIZE STREQUAL "address")
  # JUCE's FLAC reader shifts negative samples left, which C++20 defines and C++17 leaves to the
  # undefined-behaviour checks; every other check stays on for the framework too.
  target_compile_options(tavlin_juce_core PRIVATE -fno-sanitize=shift-base)
endif()

if(TAVLIN_BUILD_APP)
  pkg_check_modules(TAVLIN_GUI_DEPS REQUIRED IMPORTED_TARGET freetype2 fontconfig gtk+-3.0 webkit2gtk-4.0 libpng libjpeg)
  tavlin_module_sources(gui_sources ${TAVLIN_JUCE_GUI_MODULES})
  add_library(tavlin_juce_gui STATIC ${gui_sources})
  target_compile_definitions(tavlin_juce_gui PUBLIC ${TAVLIN_JUCE_GUI_AVAILABLE})
  target_link_libraries(tavlin_juce_gui PUBLIC tavlin_juce_core PkgConfig::TAVLIN_GUI_DEPS)
endif()
