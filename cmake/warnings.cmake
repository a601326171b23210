# SPDX-License-Identifier: GPL-3.0-or-later
# Every warning is asked for; the presets that developers and CI use turn them
# into errors (CMAKE_COMPILE_WARNING_AS_ERROR), so a packager's build with
# another compiler still builds. Each library calls msifter_library() so the
# flags and the layout stay the same from folder to folder.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow)
# GCC 12 sees overlapping copies in the inlined std::string operator+ at -O2
# and above where there are none (GCC bug 105329); later versions do not.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()

# msifter_library(NAME [PUBLIC_DEPS ...] [PRIVATE_DEPS ...]): a STATIC library
# from src/ (and src/posix/ on this platform) with its public headers in
# include/, linking only the libraries of ours that MSIFTER_ARROWS_NAME allows.
function(msifter_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  foreach(dep IN LISTS ARG_PUBLIC_DEPS ARG_PRIVATE_DEPS)
    if(dep IN_LIST MSIFTER_LIBRARIES AND NOT dep IN_LIST MSIFTER_ARROWS_${name})
      message(FATAL_ERROR "${name} may not link ${dep}: see MSIFTER_ARROWS_${name}")
    endif()
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(WIN32)
    file(GLOB platform_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/win/*.cpp)
  else()
    file(GLOB platform_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/posix/*.cpp)
  endif()
  if(NOT sources AND NOT platform_sources)
    # Headers only so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources} ${platform_sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# msifter_tests(NAME LIBS...): one GoogleTest executable from tests/*.cpp.
function(msifter_tests name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} common_testing GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
