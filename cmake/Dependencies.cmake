# Everything the game links, gathered into one interface target `lumoka_deps`.
# SDL3 and Dear ImGui come from the set-up's cache (tools/setup.sh), the rest
# from Debian packages.

set(LUMOKA_SDL3_PREFIX "$ENV{LUMOKA_SDL3_PREFIX}" CACHE PATH "Install prefix of SDL3")
set(LUMOKA_IMGUI_DIR "$ENV{LUMOKA_IMGUI_DIR}" CACHE PATH "Dear ImGui source folder")
if(NOT LUMOKA_SDL3_PREFIX OR NOT LUMOKA_IMGUI_DIR)
  message(FATAL_ERROR "Run the build through tools/play.sh or tools/test.sh, which set up SDL3 and Dear ImGui")
endif()

find_package(SDL3 REQUIRED CONFIG PATHS ${LUMOKA_SDL3_PREFIX} NO_DEFAULT_PATH)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
# Debian builds cpp-httplib as a library; its flags (TLS, compression) must match.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(SQLite3 REQUIRED)
pkg_check_modules(PQ REQUIRED IMPORTED_TARGET libpq)
# The leaderboard server's HTTP layer: Asio and Beast, header-only.
find_package(Boost 1.74 REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)

add_library(imgui STATIC
  ${LUMOKA_IMGUI_DIR}/imgui.cpp
  ${LUMOKA_IMGUI_DIR}/imgui_draw.cpp
  ${LUMOKA_IMGUI_DIR}/imgui_tables.cpp
  ${LUMOKA_IMGUI_DIR}/imgui_widgets.cpp
  ${LUMOKA_IMGUI_DIR}/imgui_demo.cpp
  ${LUMOKA_IMGUI_DIR}/backends/imgui_impl_sdl3.cpp
  ${LUMOKA_IMGUI_DIR}/backends/imgui_impl_opengl3.cpp
  ${LUMOKA_IMGUI_DIR}/misc/cpp/imgui_stdlib.cpp)
target_include_directories(imgui SYSTEM PUBLIC ${LUMOKA_IMGUI_DIR} ${LUMOKA_IMGUI_DIR}/backends ${LUMOKA_IMGUI_DIR}/misc/cpp)
target_link_libraries(imgui PUBLIC SDL3::SDL3)

add_library(lumoka_deps INTERFACE)
target_include_directories(lumoka_deps SYSTEM INTERFACE /usr/include/stb)
target_link_libraries(lumoka_deps INTERFACE
  SDL3::SDL3 OpenGL::GL Threads::Threads nlohmann_json::nlohmann_json PkgConfig::SNDFILE PkgConfig::LIBZIP imgui)
