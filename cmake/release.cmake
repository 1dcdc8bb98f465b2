# The release: the Linux configuration tool built for shipping (optimised for size, stripped, linked
# statically, so that it runs on any x86-64 Linux whatever its C and C++ runtime libraries), and the
# archive dist/<name>-<version>.zip with both launcher pairs, the tool for Linux and Windows, the Maven
# plugin, the users' README, the licence and an example configuration. The other files come from dist/.
set(STUB_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Folder holding the built launchers and stubconfig.exe")

add_subdirectory(tools/stubconfig)
foreach(target stub_portable stubconfig_lib stubconfig)
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
endforeach()
target_link_options(stubconfig PRIVATE -static -s -Wl,--gc-sections)

set(release_name ${PROJECT_NAME}-${PROJECT_VERSION})
set(stage ${CMAKE_BINARY_DIR}/stage/${release_name})
set(archive ${STUB_DIST_DIR}/${release_name}.zip)
set(windows_files stubwin.exe stubcon.exe x86/stubwin.exe x86/stubcon.exe stubconfig.exe maven/stub-maven-plugin.jar
    maven/pom.xml)
list(TRANSFORM windows_files PREPEND ${STUB_DIST_DIR}/ OUTPUT_VARIABLE windows_inputs)
set(release_dir ${CMAKE_SOURCE_DIR}/release)
# The users' guide names this release's version in its Maven snippet.
configure_file(${release_dir}/README.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY)

add_custom_command(
  OUTPUT ${archive}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/stage
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/x86
  COMMAND ${CMAKE_COMMAND} -E copy ${STUB_DIST_DIR}/stubwin.exe ${STUB_DIST_DIR}/stubcon.exe
          ${STUB_DIST_DIR}/stubconfig.exe $<TARGET_FILE:stubconfig> ${CMAKE_BINARY_DIR}/README.txt
          ${release_dir}/example.ini ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${STUB_DIST_DIR}/x86/stubwin.exe ${STUB_DIST_DIR}/x86/stubcon.exe ${stage}/x86
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${STUB_DIST_DIR}/maven ${stage}/maven
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${stage}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${archive}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/stage ${CMAKE_COMMAND} -E tar cf ${archive} --format=zip
          ${release_name}
  DEPENDS stubconfig ${windows_inputs} ${CMAKE_BINARY_DIR}/README.txt ${release_dir}/example.ini ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${release_name}.zip"
  VERBATIM)
add_custom_target(release_archive DEPENDS ${archive})
