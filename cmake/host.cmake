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

option(STUB_RELEASE "Build only the shipped Linux configuration tool and the release archive" OFF)
if(STUB_FUZZ)
  add_subdirectory(fuzz)
  return()
endif()
if(STUB_RELEASE)
  include(cmake/release.cmake)
  return()
endif()

# Writes the enciphered main class into the launchers' resource header at build time.
add_executable(encode_main_class tools/encode_main_class.cpp)
target_link_libraries(encode_main_class PRIVATE stub_portable)

# Compiles Java sources into a class directory and a jar at build time (the example application and
# the test applications).
function(stub_add_java_jar target classes_dir jar_file comment)
  find_program(JAVAC javac REQUIRED)
  find_program(JAR jar REQUIRED)
  add_custom_command(
    OUTPUT "${jar_file}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${classes_dir}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${classes_dir}"
    COMMAND "${JAVAC}" -Xlint:all -Werror --release 17 -d "${classes_dir}" ${ARGN}
    COMMAND "${JAR}" --create --file "${jar_file}" -C "${classes_dir}" .
    DEPENDS ${ARGN}
    COMMENT "${comment}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${jar_file}")
endfunction()

enable_testing()
foreach(dir tests/unit tools/stubconfig tests/bridge tests/java examples fuzz)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
