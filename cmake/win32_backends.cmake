# The Windows back end: GDI draws on the desktop.

add_library(slash_window_win32 STATIC window/win32/gdi_backend.cpp)
target_link_libraries(slash_window_win32 PUBLIC slash_scene PRIVATE gdi32 user32 winmm)
slash_layer_headers(slash_window_win32 window/win32/*.h)

# window/hosts/: Windows has one back end to choose.
add_library(slash_window_hosts STATIC window/hosts/win32/backend_choice.cpp)
target_link_libraries(slash_window_hosts PUBLIC slash_scene PRIVATE slash_window_win32)
slash_layer_headers(slash_window_hosts window/hosts/*.h)
