# The documents a POSIX installation carries: the manual page, gzip-compressed as man expects
# it installed, the README and, for the Debian package, the changelog and the copyright file
# Debian's policy asks of every package.
find_program(CORVALIN_GZIP gzip REQUIRED)

string(REPLACE "Copyright (c) " "" CORVALIN_COPYRIGHT_HOLDERS "${CORVALIN_COPYRIGHT}")
set(docs ${CMAKE_BINARY_DIR}/generated/doc)
configure_file(doc/debian/changelog.in ${docs}/changelog @ONLY)
configure_file(doc/debian/copyright.in ${docs}/copyright @ONLY)

# -n keeps the file's name and time out of the archive, so that a build makes the same bytes;
# -k keeps the plain file, which the manual page's test reads.
set(compressed)
foreach(plain ${CMAKE_BINARY_DIR}/generated/corvalin.1 ${docs}/changelog)
  get_filename_component(folder ${plain} DIRECTORY)
  get_filename_component(name ${plain} NAME)
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CORVALIN_GZIP} -9 -n -k -f ${name}
    WORKING_DIRECTORY ${folder}
    DEPENDS ${plain}
    VERBATIM)
  list(APPEND compressed ${plain}.gz)
endforeach()
add_custom_target(corvalin_documents DEPENDS ${compressed})
# Whatever builds the program can be installed at once.
add_dependencies(corvalin corvalin_documents)

install(FILES ${CMAKE_BINARY_DIR}/generated/corvalin.1.gz DESTINATION share/man/man1)
install(FILES README.md ${docs}/copyright ${docs}/changelog.gz DESTINATION share/doc/corvalin)
