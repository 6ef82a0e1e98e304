# The distribution's hardening flags (dpkg-buildflags, as a Debian package build uses them), for
# the program and its tests: stack protector, fortified C library calls, format checks, relocations
# resolved at start and then read-only (relro, now); the compiler makes position-independent
# executables by default. Not with a sanitizer, which brings checks of its own, nor in a Debug
# build (fortification needs optimisation); the optimisation and debug flags stay the build type's.
if(SENTIVO_SANITIZE STREQUAL "" AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    # Without the flags that name the source folder: one checkout's compiler cache serves another.
    set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all reproducible=-fixfilepath,-fixdebugpath")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${DPKG_BUILDFLAGS} --get ${kind} OUTPUT_VARIABLE flags
                      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(FILTER flags EXCLUDE REGEX "^-(g|O[0-9sg]?)$")
      if(kind STREQUAL "LDFLAGS")
        add_link_options(${flags})
      else()
        add_compile_options(${flags})
      endif()
    endforeach()
  endif()
endif()
