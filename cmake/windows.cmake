# The Windows build: the layers of the Linux build over the Windows backends (XML
# through MSXML, databases through odbc32; no embedded SQLite), and one
# in-process COM server DLL per release with its type library as resource 1.
#
# Everything is linked statically against the C++ runtime, so that a DLL needs
# nothing beyond the system DLLs every Windows has.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The exports file names the 32-bit exports without their stdcall decoration.
  add_link_options(-Wl,--enable-stdcall-fixup)
endif()

foreach(folder IN LISTS QUILLOR_LAYER_FOLDERS)
  add_subdirectory(${folder})
endforeach()

# The test program for Wine (scripts/test-windows builds it).
add_subdirectory(tests/windows)
