# Third-party code comes from the machine (Debian's googletest sources) or
# from .deps/, filled by scripts/setup; none of it lives in the repository.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
endif()

if(NOT EXISTS "${QH_IMGUI_DIR}/imgui.cpp")
  message(FATAL_ERROR "Dear ImGui is missing at ${QH_IMGUI_DIR}; run scripts/setup")
endif()

add_library(imgui STATIC
  "${QH_IMGUI_DIR}/imgui.cpp"
  "${QH_IMGUI_DIR}/imgui_draw.cpp"
  "${QH_IMGUI_DIR}/imgui_tables.cpp"
  "${QH_IMGUI_DIR}/imgui_widgets.cpp"
  "${QH_IMGUI_DIR}/misc/cpp/imgui_stdlib.cpp")
target_include_directories(imgui SYSTEM PUBLIC "${QH_IMGUI_DIR}" "${QH_IMGUI_DIR}/misc/cpp")
# Our own tests find widgets by id through the test-engine hooks.
target_compile_definitions(imgui PUBLIC IMGUI_ENABLE_TEST_ENGINE)
target_compile_options(imgui PRIVATE -w)

if(QH_WINDOWS)
  add_library(imgui_win32_dx11 STATIC
    "${QH_IMGUI_DIR}/backends/imgui_impl_win32.cpp"
    "${QH_IMGUI_DIR}/backends/imgui_impl_dx11.cpp")
  target_include_directories(imgui_win32_dx11 SYSTEM PUBLIC "${QH_IMGUI_DIR}/backends")
  target_link_libraries(imgui_win32_dx11 PUBLIC imgui d3d11 dxgi d3dcompiler dwmapi gdi32 imm32)
  target_compile_options(imgui_win32_dx11 PRIVATE -w)
endif()
