# Build helpers. Every library and program is declared once and built for
# each width the toolchain offers: natively, and for 32-bit x86 under the
# same name with the suffix 32 (qvraw32, qvconv32) when the -m32 toolchain
# (Debian's g++-multilib) is there. Dependencies are named without the
# suffix; each width links the same width of them.
#
#   qv_add_library(NAME [INTERFACE] [SOURCES file...] [INCLUDE dir...]
#                  [PUBLIC target...] [PRIVATE target...])
#     A static library, or with INTERFACE a header-only one. INCLUDE names
#     the directories it exports, which should hold its public headers and
#     nothing else: a source sees only the headers of the targets it links.
#     PUBLIC: the targets its own headers include; PRIVATE: those only its
#     sources use.
#   qv_add_program(NAME SOURCES file... [LINKS target...] [NATIVE] [INSTALL])
#     A program. NATIVE builds the native width alone (tools, benchmarks,
#     test drivers); INSTALL installs every width.
#   qv_targets(VAR NAME)
#     Sets VAR to the targets made for NAME, for settings beyond the above:
#       qv_targets(ts qvfoo)
#       foreach(t IN LISTS ts)
#         target_compile_definitions(${t} PRIVATE QVFOO_X=1)
#       endforeach()
#
# A new program, say programs/qvinfo (qvinfo and qvinfo32): in
# programs/qvinfo/CMakeLists.txt
#     qv_add_program(qvinfo SOURCES main.cpp LINKS qvdriver qvfmt INSTALL)
# and add_subdirectory(programs/qvinfo) in the top-level CMakeLists.txt,
# before tests/ (the tests check every installed 32-bit program's file
# calls). A new module of the format layer: one qv_add_library() in
# app/CMakeLists.txt with its sources listed, and a PRIVATE link from the
# module that uses it.

include(CheckCXXSourceCompiles)
include(GNUInstallDirs)

set(QV_WARNINGS -Wall -Wextra)
if(QV_WERROR)
  list(APPEND QV_WARNINGS -Werror)
endif()

# Every file call of both builds takes 64-bit sizes and inode numbers; in
# the 32-bit build stat() on a file with a large inode number would fail.
add_compile_definitions(_FILE_OFFSET_BITS=64)

if(QV_SANITIZE)
  set(QV_SAN_FLAGS -fsanitize=address,undefined,float-cast-overflow
                   -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${QV_SAN_FLAGS})
  add_link_options(${QV_SAN_FLAGS})
endif()

if(QV_FUZZ)
  # Coverage instrumentation and sanitizers for every library; the fuzz
  # programs add the libFuzzer driver at link time.
  set(QV_SAN_FLAGS -fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow
                   -fno-sanitize-recover=all)
  add_compile_options(${QV_SAN_FLAGS})
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

set(QV_HAVE_M32 OFF)
if(QV_M32 STREQUAL "AUTO" OR QV_M32)
  if(NOT QV_SANITIZE AND NOT QV_FUZZ)
    set(CMAKE_REQUIRED_FLAGS -m32)
    set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
    check_cxx_source_compiles("#include <cstdio>\nint main(){std::puts(\"\");return 0;}" QV_M32_WORKS)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(QV_M32_WORKS)
      set(QV_HAVE_M32 ON)
    elseif(QV_M32 AND NOT QV_M32 STREQUAL "AUTO")
      message(FATAL_ERROR "QV_M32=ON but the -m32 toolchain (g++-multilib) is missing")
    endif()
  endif()
endif()
message(STATUS "qvconv32 (-m32) build: ${QV_HAVE_M32}")

set(QV_WIDTHS 64)
if(QV_HAVE_M32)
  list(APPEND QV_WIDTHS 32)
endif()

# VAR = the name of NAME's target of WIDTH (64 or 32).
function(qv_name var name width)
  if(width EQUAL 32)
    set(${var} ${name}32 PARENT_SCOPE)
  else()
    set(${var} ${name} PARENT_SCOPE)
  endif()
endfunction()

function(qv_targets var name)
  set(ts "")
  foreach(w IN LISTS QV_WIDTHS)
    qv_name(t ${name} ${w})
    if(TARGET ${t})
      list(APPEND ts ${t})
    endif()
  endforeach()
  set(${var} ${ts} PARENT_SCOPE)
endfunction()

# The flags of a compiled target of WIDTH. The 32-bit build computes with
# SSE2 doubles as the 64-bit one does: the x87 unit's extended precision
# would round some sums, offsets and sample counts differently.
function(qv_set_width target width)
  if(width EQUAL 32)
    target_compile_options(${target} PRIVATE -m32 -msse2 -mfpmath=sse)
    target_link_options(${target} PRIVATE -m32)
  endif()
endfunction()

# Links TARGET with SCOPE to the WIDTH variant of each dependency.
function(qv_link target width scope)
  set(deps "")
  foreach(d IN LISTS ARGN)
    qv_name(n ${d} ${width})
    list(APPEND deps ${n})
  endforeach()
  if(deps)
    target_link_libraries(${target} ${scope} ${deps})
  endif()
endfunction()

function(qv_add_library name)
  cmake_parse_arguments(A "INTERFACE" "" "SOURCES;INCLUDE;PUBLIC;PRIVATE" ${ARGN})
  set(includes "")
  foreach(d IN LISTS A_INCLUDE)
    get_filename_component(d ${d} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND includes ${d})
  endforeach()
  foreach(w IN LISTS QV_WIDTHS)
    qv_name(t ${name} ${w})
    if(A_INTERFACE)
      add_library(${t} INTERFACE)
      target_include_directories(${t} INTERFACE ${includes})
      qv_link(${t} ${w} INTERFACE ${A_PUBLIC})
    else()
      add_library(${t} STATIC ${A_SOURCES})
      target_include_directories(${t} PUBLIC ${includes})
      target_compile_options(${t} PRIVATE ${QV_WARNINGS})
      qv_set_width(${t} ${w})
      qv_link(${t} ${w} PUBLIC ${A_PUBLIC})
      qv_link(${t} ${w} PRIVATE ${A_PRIVATE})
    endif()
  endforeach()
endfunction()

function(qv_add_program name)
  cmake_parse_arguments(A "NATIVE;INSTALL" "" "SOURCES;LINKS" ${ARGN})
  set(widths ${QV_WIDTHS})
  if(A_NATIVE)
    set(widths 64)
  endif()
  foreach(w IN LISTS widths)
    qv_name(t ${name} ${w})
    add_executable(${t} ${A_SOURCES})
    target_compile_options(${t} PRIVATE ${QV_WARNINGS})
    qv_set_width(${t} ${w})
    qv_link(${t} ${w} PRIVATE ${A_LINKS})
    if(A_INSTALL)
      install(TARGETS ${t} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
      if(w EQUAL 32)
        set_property(GLOBAL APPEND PROPERTY QV_INSTALLED_PROGRAMS32 ${t})
      endif()
    endif()
  endforeach()
endfunction()
