# zlib and libbzip2. On Linux both are normally the system's. A build for another architecture
# of the same system (the 32-bit one, scripts/build-i386) compiles both here from the source
# folders named by CORVALIN_ZLIB_SOURCE and CORVALIN_BZIP2_SOURCE. Windows cross builds take
# zlib from Debian's mingw package and compile libbzip2 (Debian packages no Windows build of it).
add_library(CorvalinZlib INTERFACE)
if(CORVALIN_ZLIB_SOURCE)
  set(ZLIB_FILES adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c
    infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c)
  list(TRANSFORM ZLIB_FILES PREPEND ${CORVALIN_ZLIB_SOURCE}/)
  add_library(corvalin_zlib STATIC ${ZLIB_FILES})
  target_include_directories(corvalin_zlib PUBLIC ${CORVALIN_ZLIB_SOURCE})
  # What zlib's own configure finds on every POSIX system.
  target_compile_definitions(corvalin_zlib PUBLIC HAVE_UNISTD_H HAVE_STDARG_H)
  target_compile_options(corvalin_zlib PRIVATE -w)
  target_link_libraries(CorvalinZlib INTERFACE corvalin_zlib)
elseif(WIN32 AND NOT MSVC)
  # The Windows program must start on a machine that has no zlib1.dll: the static archive,
  # never the import library that find_package(ZLIB) prefers.
  find_library(CORVALIN_ZLIB_ARCHIVE NAMES libz.a REQUIRED)
  find_path(CORVALIN_ZLIB_INCLUDE zlib.h REQUIRED)
  target_link_libraries(CorvalinZlib INTERFACE ${CORVALIN_ZLIB_ARCHIVE})
  target_include_directories(CorvalinZlib INTERFACE ${CORVALIN_ZLIB_INCLUDE})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(CorvalinZlib INTERFACE ZLIB::ZLIB)
endif()

add_library(CorvalinBzip2 INTERFACE)
if(CORVALIN_BZIP2_SOURCE)
  set(BZIP2_FILES blocksort.c huffman.c crctable.c randtable.c compress.c decompress.c bzlib.c)
  list(TRANSFORM BZIP2_FILES PREPEND ${CORVALIN_BZIP2_SOURCE}/)
  add_library(corvalin_bzip2 STATIC ${BZIP2_FILES})
  target_include_directories(corvalin_bzip2 PUBLIC ${CORVALIN_BZIP2_SOURCE})
  # Third-party C code: its warnings are not ours to fix.
  target_compile_options(corvalin_bzip2 PRIVATE -w)
  target_link_libraries(CorvalinBzip2 INTERFACE corvalin_bzip2)
else()
  find_package(BZip2 REQUIRED)
  target_link_libraries(CorvalinBzip2 INTERFACE BZip2::BZip2)
endif()
