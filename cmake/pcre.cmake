# PCRE 8.x built from Debian's source (unpacked by ./jx into build/deps/pcre):
# static, 8-bit only, no UTF-8 support, no C++ wrapper.
set(JX_PCRE_DIR "${CMAKE_SOURCE_DIR}/build/deps/pcre" CACHE PATH "Unpacked PCRE 8.x source")
if(NOT EXISTS "${JX_PCRE_DIR}/pcre_compile.c")
  message(FATAL_ERROR "PCRE source not found in ${JX_PCRE_DIR}; run ./jx test to fetch it")
endif()

set(pcre_gen "${CMAKE_BINARY_DIR}/pcre")
file(MAKE_DIRECTORY "${pcre_gen}")
configure_file("${JX_PCRE_DIR}/pcre.h.generic" "${pcre_gen}/pcre.h" COPYONLY)
configure_file("${JX_PCRE_DIR}/pcre_chartables.c.dist" "${pcre_gen}/pcre_chartables.c" COPYONLY)
file(WRITE "${pcre_gen}/config.h.in" [=[
#define HAVE_STDINT_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_STRING_H 1
#define HAVE_MEMMOVE 1
#define HAVE_STRERROR 1
#define SUPPORT_PCRE8 1
#define PCRE_STATIC 1
#define NEWLINE 10
#define LINK_SIZE 2
#define PARENS_NEST_LIMIT 250
#define MATCH_LIMIT 10000000
#define MATCH_LIMIT_RECURSION MATCH_LIMIT
#define POSIX_MALLOC_THRESHOLD 10
#define MAX_NAME_SIZE 32
#define MAX_NAME_COUNT 10000
]=])
configure_file("${pcre_gen}/config.h.in" "${pcre_gen}/config.h" COPYONLY)

set(pcre_sources
  pcre_byte_order.c pcre_compile.c pcre_config.c pcre_dfa_exec.c pcre_exec.c
  pcre_fullinfo.c pcre_get.c pcre_globals.c pcre_jit_compile.c pcre_maketables.c
  pcre_newline.c pcre_ord2utf8.c pcre_refcount.c pcre_string_utils.c pcre_study.c
  pcre_tables.c pcre_ucd.c pcre_valid_utf8.c pcre_version.c pcre_xclass.c)
list(TRANSFORM pcre_sources PREPEND "${JX_PCRE_DIR}/")
add_library(pcre STATIC ${pcre_sources} "${pcre_gen}/pcre_chartables.c")
target_include_directories(pcre PUBLIC "${pcre_gen}" PRIVATE "${JX_PCRE_DIR}")
target_compile_definitions(pcre PUBLIC PCRE_STATIC PRIVATE HAVE_CONFIG_H)
# Unwind tables in PCRE's frames: an exception thrown by a callout (such as
# the abort of a macro) passes through pcre_exec to the wrapper's callers.
target_compile_options(pcre PRIVATE -w -fexceptions)
