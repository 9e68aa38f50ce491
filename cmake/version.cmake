# The version of every binary comes from project(VERSION) in the top-level
# CMakeLists.txt; jx_add_version_resource gives a target a VERSIONINFO
# resource with it.
set(JX_COMPANY "jx team")
set(JX_PRODUCT "jx controls and text functions for macro hosts")
string(REPLACE "." "," JX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# jx_add_version_resource(TARGET FILE_NAME DESCRIPTION)
function(jx_add_version_resource target file_name description)
  set(JX_FILE_NAME "${file_name}")
  set(JX_FILE_DESCRIPTION "${description}")
  if(file_name MATCHES "\\.exe$")
    set(JX_FILE_TYPE VFT_APP)
  else()
    set(JX_FILE_TYPE VFT_DLL)
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
