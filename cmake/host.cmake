# Native builds: unit tests with sanitizers, host tools, the Wine-hosted bridge, fuzz targets.
option(STUB_SANITIZE "Build the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(STUB_FUZZ "Build the libFuzzer targets (clang)" OFF)

# Sanitizers go on test code only, so that the shipped Linux tool is an ordinary build.
function(stub_sanitize target)
  if(STUB_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

if(STUB_FUZZ)
  add_subdirectory(fuzz)
  return()
endif()

# Writes the enciphered main class into the launchers' resource header at build time.
add_executable(encode_main_class tools/encode_main_class.cpp)
target_link_libraries(encode_main_class PRIVATE stub_portable)

enable_testing()
foreach(dir tests/unit tools/stubconfig tests/bridge tests/java examples)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
