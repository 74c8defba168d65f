# Settings every target of the project shares: wide-character Win32, strict warnings,
# static linking so that no mingw runtime DLL has to travel with the programs.
add_compile_definitions(UNICODE _UNICODE NOMINMAX)
add_compile_options(-Wall -Wextra -Werror)
add_link_options(-static -static-libgcc -static-libstdc++ -municode)

# The Windows version the headers expose. The 32-bit fnkeyd.exe runs from Windows XP on: with XP's
# number a call to something XP lacks fails to compile instead of failing to load on XP.
if(FNKEY_TARGET_ARCH STREQUAL "x86")
  add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
else()
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

# The programs' own logic is written without exceptions; test code (doctest) keeps them.
function(fnkey_program_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions)
endfunction()

# A program that ships carries no symbol table (-s): half of a statically linked program's size.
function(fnkey_shipped_program target)
  target_link_options(${target} PRIVATE -s)
endfunction()

# fnkey_library(<name> SOURCES <file>... [LINK <project library>...] [SYSTEM_LIBS <library>...])
#
# A library of the programs' code, in two variants made from the one source list:
#   <name>          what the shipped programs and the companions link;
#   <name>_counted  compiled with FNKEY_HANDLE_ACCOUNTING=1: handle owners count what they hold, so
#                   that a test can prove a code path released everything. Test programs and test
#                   tools link this one; it must never reach a shipped program.
# The definition is PUBLIC because it changes UniqueHandle, a template: every translation unit of a
# program has to see the same one (one definition rule). For the same reason a counted variant
# links the counted variants of the project libraries in LINK, and a program that would link both
# variants is refused when CMake generates the build (the interface property
# FNKEY_HANDLE_ACCOUNTING must agree across everything a target links).
# Neither variant is part of "all": each is built when a program links it, so the 32-bit build
# never compiles a counted variant.
function(fnkey_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LINK;SYSTEM_LIBS")
  foreach(counted IN ITEMS OFF ON)
    if(counted)
      set(target ${name}_counted)
      list(TRANSFORM arg_LINK APPEND _counted OUTPUT_VARIABLE project_libs)
    else()
      set(target ${name})
      set(project_libs ${arg_LINK})
    endif()
    add_library(${target} STATIC EXCLUDE_FROM_ALL ${arg_SOURCES})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${project_libs} ${arg_SYSTEM_LIBS})
    if(counted)
      target_compile_definitions(${target} PUBLIC FNKEY_HANDLE_ACCOUNTING=1)
    endif()
    set_target_properties(${target} PROPERTIES
      INTERFACE_FNKEY_HANDLE_ACCOUNTING ${counted}
      COMPATIBLE_INTERFACE_BOOL FNKEY_HANDLE_ACCOUNTING)
    fnkey_program_code(${target})
  endforeach()
endfunction()
