# The Windows back end: GDI draws on the desktop.

add_library(slash_window_win32 STATIC window/win32/gdi_backend.cpp)
target_link_libraries(slash_window_win32 PUBLIC slash_window PRIVATE gdi32 user32 winmm)

add_library(slash_window_hosts STATIC window/win32/backend_choice.cpp)
target_link_libraries(slash_window_hosts PUBLIC slash_window_win32)
