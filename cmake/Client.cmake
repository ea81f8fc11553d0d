# The Windows client: one static library with everything but the entry point,
# so the tests link exactly the code that ships.
enable_language(RC)

# Sources are UTF-8; every narrow literal is stored in the ANSI code page the
# program runs in (GBK), as the Windows "A" functions expect.
add_library(client_options INTERFACE)
target_compile_definitions(client_options INTERFACE
  WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)
target_include_directories(client_options INTERFACE ${PROJECT_SOURCE_DIR})
if(MSVC)
  target_compile_options(client_options INTERFACE
    /W4 /permissive- /source-charset:utf-8 /execution-charset:.936)
else()
  target_compile_options(client_options INTERFACE
    -Wall -Wextra -Wpedantic -finput-charset=UTF-8 -fexec-charset=GBK)
endif()

file(GLOB client_core_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/app/*.cpp
  ${PROJECT_SOURCE_DIR}/ui/*.cpp
  ${PROJECT_SOURCE_DIR}/screens/*.cpp
  ${PROJECT_SOURCE_DIR}/link/*.cpp)
list(FILTER client_core_sources EXCLUDE REGEX "/app/Main\\.cpp$")

add_library(client_core STATIC ${client_core_sources})
target_link_libraries(client_core PUBLIC client_options ws2_32 ole32 gdi32 user32)

set(client_resources)
if(EXISTS ${PROJECT_SOURCE_DIR}/screens/Resources.rc)
  set(client_resources ${PROJECT_SOURCE_DIR}/screens/Resources.rc)
endif()
add_executable(ExamClient WIN32 ${PROJECT_SOURCE_DIR}/app/Main.cpp ${client_resources})
target_link_libraries(ExamClient PRIVATE client_core)

if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
  include(CTest)
  add_subdirectory(tests)
endif()
