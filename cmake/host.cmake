# Native builds: unit tests with sanitizers, host tools, the Wine-hosted bridge, fuzz targets.
foreach(dir tests/unit tools/stubconfig tests/bridge)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
