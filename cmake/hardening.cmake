# The protections a distribution builds its programs with (what Debian's
# dpkg-buildflags gives with hardening=+all on amd64), for the programs we
# ship; and builds that give the same bytes wherever and whenever they run.
#
# Ours go in front of the user's own CFLAGS, CXXFLAGS and LDFLAGS (CMake's
# CMAKE_<LANG>_FLAGS), so that a flag the user gives wins. The sanitizer and
# fuzzer builds bring their own instrumentation and are left as they are.

set(SLASH_COMPILE_HARDENING "")
set(SLASH_LINK_HARDENING "")
if(NOT WIN32 AND NOT SLASH_SANITIZE AND NOT SLASH_FUZZ)
  set(SLASH_COMPILE_HARDENING
      "-fstack-protector-strong -fstack-clash-protection -fcf-protection -fPIE")
  # Fortified functions need the optimiser; a Debug build goes without.
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    string(APPEND SLASH_COMPILE_HARDENING " -D_FORTIFY_SOURCE=2")
  endif()
  set(SLASH_LINK_HARDENING "-pie -Wl,-z,relro -Wl,-z,now")
elseif(WIN32)
  # Address space layout randomisation (with 64-bit addresses), and no code
  # run from data; and no link time stamped into the programs.
  set(SLASH_LINK_HARDENING
      "-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat -Wl,--no-insert-timestamp")
endif()

# The C++ runtime is linked into the programs (and the benchmark's floors,
# which stand beside them). slash runs for a moment; loading and
# relocating the shared runtime added to every start-up, and it was a fifth
# of the peak memory (3.7 against 3.0 MiB on the X server). The sanitizer and fuzzer builds keep
# the shared runtime their instrumentation expects; Windows links
# everything statically already.
set(SLASH_PROGRAM_LINK_OPTIONS "")
if(NOT WIN32 AND NOT SLASH_SANITIZE AND NOT SLASH_FUZZ)
  set(SLASH_PROGRAM_LINK_OPTIONS -static-libstdc++ -static-libgcc)
endif()

# The same bytes from any folder: the paths of the sources and the build
# are left out of what the compiler writes (assertions, debug information,
# and so the build ID of the stripped programs). The build folder is mapped
# without a trailing slash, so that the compile directory itself is mapped
# too; options, not flag text, so that a path with spaces stays one
# argument.
add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=" "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")

foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS "${SLASH_COMPILE_HARDENING} ${CMAKE_${lang}_FLAGS}")
endforeach()
set(CMAKE_EXE_LINKER_FLAGS "${SLASH_LINK_HARDENING} ${CMAKE_EXE_LINKER_FLAGS}")
