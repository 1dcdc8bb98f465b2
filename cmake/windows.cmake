# Windows deliverables and fixtures, cross-compiled. The 32-bit configuration (STUB_X86, set by its
# toolchain file) builds only the launchers and the test double: every other fixture and the Windows
# tool run the same from the 64-bit build.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_subdirectory(src)
if(STUB_X86)
  add_subdirectory(tests/fixtures/jvmdouble)
  return()
endif()
foreach(dir tests/fixtures tools/stubconfig)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
