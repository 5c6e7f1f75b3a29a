# Run by CPack after it made the packages (CPACK_POST_BUILD_SCRIPTS). CPack gives a Debian
# package postinst and postrm scripts that call ldconfig whenever a shared object lies below
# usr/lib, and it cannot be told otherwise. The cipher modules in usr/lib/corvalin are private:
# the program loads them by full path, nothing links them and the loader's cache never holds
# them, so the calls only cost time and draw lintian's warning. The package is unpacked, the
# two scripts go, and it is packed again with the same files.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(unpacked ${CPACK_TOPLEVEL_DIRECTORY}/without-ldconfig)
  file(REMOVE_RECURSE ${unpacked})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${unpacked} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not unpack ${package}")
  endif()
  foreach(script postinst postrm)
    set(path ${unpacked}/DEBIAN/${script})
    if(NOT EXISTS ${path})
      continue()
    endif()
    # Only the script CPack writes for ldconfig goes; one that does anything else stops here.
    file(STRINGS ${path} lines)
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then|[ \t]*ldconfig|fi|)$")
        message(FATAL_ERROR "${script} of ${package} does more than call ldconfig: ${line}")
      endif()
    endforeach()
    file(REMOVE ${path})
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${unpacked} ${package}
    OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not pack ${package} again")
  endif()
  file(REMOVE_RECURSE ${unpacked})
endforeach()
