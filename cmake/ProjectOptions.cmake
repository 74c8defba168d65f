# Settings every target of the project shares: wide-character Win32, strict warnings,
# static linking so that no mingw runtime DLL has to travel with the programs.
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options(-Wall -Wextra -Werror)
add_link_options(-static -static-libgcc -static-libstdc++ -municode)
if(FNKEY_HANDLE_ACCOUNTING)
  add_compile_definitions(FNKEY_HANDLE_ACCOUNTING=1)
endif()

# The programs' own logic is written without exceptions; test code (doctest) keeps them.
function(fnkey_program_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions)
endfunction()
