# Debian's hardening flags for the Linux programs: fortified string and memory functions, the
# stack protector, a read-only relocation table bound at start (RELRO with BIND_NOW), and a
# position-independent executable. The flags are the ones Debian's own packages get:
# `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags`, taken apart from the flags it gives
# without hardening (the optimisation and debug flags stay the build type's). Without
# dpkg-buildflags (a system other than Debian's family) the same set of Debian 12 is used.
#
# Not for the Windows programs (MinGW has its own), nor for the sanitizer and fuzzing builds,
# whose instrumentation replaces the fortified functions.

option(KZT_HARDENING "Build the Linux programs with Debian's hardening flags" ON)

function(kzt_dpkg_buildflags hardening variable result)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=${hardening}
            dpkg-buildflags --get ${variable}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    set(flags "")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${result} "${flags}" PARENT_SCOPE)
endfunction()

# The flags of `variable` that hardening=+all adds to hardening=-all. A flag that points the
# compiler at one of dpkg's own files (its position-independent wrappers, on systems whose compiler
# does not make PIE by default) is left out: CMake's own PIE setting does that job.
function(kzt_hardening_flags variable result)
  kzt_dpkg_buildflags(+all ${variable} with)
  kzt_dpkg_buildflags(-all ${variable} without)
  set(added "")
  foreach(flag IN LISTS with)
    if(NOT flag IN_LIST without AND NOT flag MATCHES "/usr/share/dpkg/")
      list(APPEND added "${flag}")
    endif()
  endforeach()
  set(${result} "${added}" PARENT_SCOPE)
endfunction()

if(KZT_HARDENING AND NOT WIN32 AND NOT KZT_SANITIZE AND NOT KZT_FUZZ)
  find_program(KZT_DPKG_BUILDFLAGS dpkg-buildflags)
  if(KZT_DPKG_BUILDFLAGS)
    kzt_hardening_flags(CPPFLAGS kzt_hardening_cppflags)
    kzt_hardening_flags(CXXFLAGS kzt_hardening_cxxflags)
    kzt_hardening_flags(LDFLAGS kzt_hardening_ldflags)
  else()
    set(kzt_hardening_cppflags -D_FORTIFY_SOURCE=2)
    set(kzt_hardening_cxxflags -fstack-protector-strong -Wformat -Werror=format-security)
    set(kzt_hardening_ldflags -Wl,-z,relro -Wl,-z,now)
  endif()
  # The fortified functions need the optimiser: in a build without it the C library would only
  # warn (an error under -Werror), so they come with the optimising build types only.
  foreach(flag IN LISTS kzt_hardening_cppflags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;${flag}>")
    else()
      add_compile_options("${flag}")
    endif()
  endforeach()
  add_compile_options(${kzt_hardening_cxxflags})
  add_link_options(${kzt_hardening_ldflags})
  # A position-independent executable. Linked statically it is a static PIE: the top
  # CMakeLists.txt links with -static-pie, which CMake's own -pie (after it) would undo.
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  if(NOT KZT_STATIC)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
  endif()
  set(KZT_HARDENED ON)
  string(REPLACE ";" " " kzt_hardening_text "${kzt_hardening_cppflags};${kzt_hardening_cxxflags};${kzt_hardening_ldflags}")
  message(STATUS "Hardening: ${kzt_hardening_text}, PIE")
endif()
