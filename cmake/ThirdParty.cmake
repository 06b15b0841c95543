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

# Dear ImGui is built twice: as the product has it, and for the tests with the test-engine
# hooks through which they find widgets by id (the item log, src/ui). The libraries of the
# studio link `imgui`; the program that links them picks the build: tests and benchmarks
# (qh_test and qh_bench set QH_GUI_TEST_HOOKS on them) get the hooks, the studio never does.
set(qh_imgui_sources
  "${QH_IMGUI_DIR}/imgui.cpp"
  "${QH_IMGUI_DIR}/imgui_draw.cpp"
  "${QH_IMGUI_DIR}/imgui_tables.cpp"
  "${QH_IMGUI_DIR}/imgui_widgets.cpp"
  "${QH_IMGUI_DIR}/misc/cpp/imgui_stdlib.cpp")
foreach(variant imgui_product imgui_test_hooks)
  add_library(${variant} STATIC ${qh_imgui_sources})
  target_include_directories(${variant} SYSTEM PUBLIC "${QH_IMGUI_DIR}" "${QH_IMGUI_DIR}/misc/cpp")
  target_compile_options(${variant} PRIVATE -w)
endforeach()
target_compile_definitions(imgui_test_hooks PUBLIC IMGUI_ENABLE_TEST_ENGINE)
add_library(imgui INTERFACE)
target_include_directories(imgui SYSTEM INTERFACE "${QH_IMGUI_DIR}" "${QH_IMGUI_DIR}/misc/cpp")
target_link_libraries(imgui INTERFACE
  $<IF:$<BOOL:$<TARGET_PROPERTY:QH_GUI_TEST_HOOKS>>,imgui_test_hooks,imgui_product>)

if(QH_WINDOWS)
  add_library(imgui_win32_dx11 STATIC
    "${QH_IMGUI_DIR}/backends/imgui_impl_win32.cpp"
    "${QH_IMGUI_DIR}/backends/imgui_impl_dx11.cpp")
  target_include_directories(imgui_win32_dx11 SYSTEM PUBLIC "${QH_IMGUI_DIR}/backends")
  target_link_libraries(imgui_win32_dx11 PUBLIC imgui d3d11 dxgi d3dcompiler dwmapi gdi32 imm32)
  # The studio takes no gamepad input. Left on, the back-end loads XInput at start and frees
  # it at shutdown while XInput's own device thread may still run in it: the process then
  # crashes at exit, after the save (about one run in a hundred under Wine).
  target_compile_definitions(imgui_win32_dx11 PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
  target_compile_options(imgui_win32_dx11 PRIVATE -w)
endif()
