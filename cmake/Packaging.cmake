# Release: the version resource, the Windows installer (CPack with NSIS) and
# the switches that make release binaries reproducible.
#
#   cmake --build --preset windows-i686 --target package
#     -> build/windows-i686/ExamClient-<version>-setup.exe
#
# Included at the end of the top-level CMakeLists.txt, once every shipped
# target exists.

set(EXAM_PRODUCT_NAME "考生登录客户端")
set(EXAM_CLIENT_DESCRIPTION "考场考生登录程序")
set(EXAM_INSTALLER_DESCRIPTION "考生登录客户端安装程序")

option(EXAM_RELEASE_BUILD
       "Strip the shipped programs and keep build paths out of them (release archives)" OFF)

# Same sources, same bytes: no link time in PE headers, and in release builds
# no symbols and no absolute source or build paths (__FILE__, source_location).
function(exam_reproducible_binary target)
  if(NOT TARGET ${target})
    return()
  endif()
  if(MINGW)
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  endif()
  if(EXAM_RELEASE_BUILD)
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()

function(exam_reproducible_objects target)
  if(TARGET ${target} AND EXAM_RELEASE_BUILD AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # The build tree lies inside the source tree; GCC lets the last match win.
    target_compile_options(${target} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}=src
      -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  endif()
endfunction()

foreach(target ExamClient exam-server)
  exam_reproducible_binary(${target})
endforeach()
foreach(target ExamClient client_core exam-server exam_server_core)
  exam_reproducible_objects(${target})
endforeach()

if(NOT TARGET ExamClient)
  return()
endif()

# --- Version resource ---------------------------------------------------------
# Resources.rc is also compiled into test programs, so the generated header is
# reached through client_options rather than through ExamClient alone.
set(EXAM_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${EXAM_GENERATED_DIR}/Version.h @ONLY)
target_include_directories(client_options INTERFACE ${EXAM_GENERATED_DIR})

# --- Installer ------------------------------------------------------------------
find_program(EXAM_MAKENSIS makensis DOC "NSIS compiler (Debian package nsis)")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Only for testing where 32-bit programs cannot run: the shipped installer
  # is the 32-bit one with the 32-bit client.
  set(exam_nsis_target amd64-unicode)
  set(exam_setup_suffix "-x64-setup")
else()
  set(exam_nsis_target x86-unicode)
  set(exam_setup_suffix "-setup")
endif()

install(TARGETS ExamClient RUNTIME DESTINATION .)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME ExamClient)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_FILE_NAME "ExamClient-${PROJECT_VERSION}${exam_setup_suffix}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ExamClient)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ExamClient)
# Our own NSIS.template.in in packaging/ replaces CPack's.
set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging)
# CPack puts the option prefix in front of each: -WX -V2.
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS WX V2)
if(EXAM_MAKENSIS)
  set(CPACK_NSIS_EXECUTABLE ${EXAM_MAKENSIS})
endif()
# Read by packaging/NSIS.template.in.
set(CPACK_EXAM_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_EXAM_ICON ${PROJECT_SOURCE_DIR}/screens/artwork/app.ico)
set(CPACK_EXAM_NSIS_TARGET ${exam_nsis_target})
set(CPACK_EXAM_PRODUCT_NAME ${EXAM_PRODUCT_NAME})
set(CPACK_EXAM_INSTALLER_DESCRIPTION ${EXAM_INSTALLER_DESCRIPTION})
include(CPack)
