# Hardening as Debian builds its packages: the flags dpkg-buildflags gives
# with every hardening feature on (fortified functions, stack protector,
# read-only relocations, immediate binding). The build type keeps choosing
# optimisation and debug information, so -O and -g are left out; fortified
# functions need optimisation, so a Debug build goes without them. Off in
# sanitised builds, where the sanitizers replace those functions themselves.
if(QUILLMARK_SANITIZE)
  set(_hardening_default OFF)
else()
  set(_hardening_default ON)
endif()
option(QUILLMARK_HARDENING "Build with the hardening flags of dpkg-buildflags" ${_hardening_default})

if(QUILLMARK_HARDENING)
  find_program(QUILLMARK_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT QUILLMARK_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags not found (Debian package dpkg-dev): building without hardening flags")
  else()
    set(_kept_flags)
    foreach(_kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${QUILLMARK_DPKG_BUILDFLAGS} --get ${_kind}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE _status)
      if(NOT _status EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${_kind} failed")
      endif()
      separate_arguments(_flags UNIX_COMMAND "${_flags}")
      list(FILTER _flags EXCLUDE REGEX "^-(g|O)")
      if(CMAKE_BUILD_TYPE STREQUAL "Debug")
        list(FILTER _flags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
      endif()
      set(_flags_${_kind} ${_flags})
    endforeach()
    list(JOIN _flags_CPPFLAGS " " _cpp)
    list(JOIN _flags_CXXFLAGS " " _cxx)
    list(JOIN _flags_LDFLAGS " " _ld)
    string(APPEND CMAKE_CXX_FLAGS " ${_cpp} ${_cxx}")
    string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_ld}")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_ld}")
    message(STATUS "Hardening flags: ${_cpp} ${_cxx} | ${_ld}")
  endif()
endif()
