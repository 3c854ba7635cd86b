# The back ends of Linux: the X server, Wayland and the terminal, chosen
# from the session's environment, and the Linux pieces they share.

find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-randr xcb-ewmh xcb-icccm)
pkg_check_modules(WAYLAND REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_PROTOCOLS_DIR OR NOT WAYLAND_SCANNER)
  message(FATAL_ERROR "wayland-protocols and wayland-scanner (libwayland-bin) are needed")
endif()

# window/linux/: what the Linux back ends stand on: the one wait, the tick
# timer, the set-up deadline and the display names.
add_library(slash_window_linux STATIC window/linux/setup_deadline.cpp window/linux/tick_timer.cpp
                                      window/linux/display_wait.cpp window/linux/display_names.cpp)
target_link_libraries(slash_window_linux PUBLIC slash_runtime)
slash_layer_headers(slash_window_linux window/linux/*.h)

# window/x11/: the X server draws.
add_library(slash_window_x11 STATIC
  window/x11/x11_backend.cpp
  window/x11/x11_display.cpp
  window/x11/x11_run_queue.cpp
  window/x11/x11_window_manager.cpp
  window/x11/x11_screen.cpp
)
target_link_libraries(slash_window_x11 PUBLIC slash_scene slash_window_linux PRIVATE PkgConfig::XCB)
slash_layer_headers(slash_window_x11 window/x11/*.h)

# window/wayland/: a toplevel on a Wayland compositor, drawn by our own
# rasterizer into shared memory. The protocols' code is generated from the
# XML that wayland-protocols installs.
# Generates a protocol's client header and code into the build tree; the
# sources are appended to `sources_var`.
set(SLASH_PROTOCOL_DIR ${CMAKE_BINARY_DIR}/protocols)
function(slash_wayland_protocol sources_var xml)
  get_filename_component(name ${xml} NAME_WE)
  set(header ${SLASH_PROTOCOL_DIR}/${name}-client-protocol.h)
  set(code ${SLASH_PROTOCOL_DIR}/${name}-protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SLASH_PROTOCOL_DIR}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml} VERBATIM)
  set(${sources_var} ${${sources_var}} ${header} ${code} PARENT_SCOPE)
endfunction()
set(SLASH_PROTOCOL_SOURCES)
slash_wayland_protocol(SLASH_PROTOCOL_SOURCES ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml)
slash_wayland_protocol(SLASH_PROTOCOL_SOURCES ${WAYLAND_PROTOCOLS_DIR}/stable/viewporter/viewporter.xml)
slash_wayland_protocol(SLASH_PROTOCOL_SOURCES
  ${WAYLAND_PROTOCOLS_DIR}/staging/fractional-scale/fractional-scale-v1.xml)
add_library(slash_wayland_protocols STATIC ${SLASH_PROTOCOL_SOURCES})
target_include_directories(slash_wayland_protocols PUBLIC ${SLASH_PROTOCOL_DIR})
target_link_libraries(slash_wayland_protocols PUBLIC PkgConfig::WAYLAND)
add_library(slash_window_wayland STATIC
  window/wayland/wayland_backend.cpp
  window/wayland/wayland_connection.cpp
  window/wayland/wayland_outputs.cpp
  window/wayland/hidden_pointer.cpp
  window/wayland/picture_presenter.cpp
  window/wayland/picture_content.cpp
  window/wayland/shm_buffer.cpp
  window/wayland/surface_layout.cpp
  window/wayland/wayland_socket.cpp
)
target_link_libraries(slash_window_wayland PUBLIC slash_scene slash_window_linux
                      PRIVATE slash_wayland_protocols)
slash_layer_headers(slash_window_wayland window/wayland/*.h)

# window/terminal/: the controlling terminal, two pixels a character cell,
# its control strings from terminfo (ncurses' libtinfo).
pkg_check_modules(TINFO REQUIRED IMPORTED_TARGET tinfo)
add_library(slash_window_terminal STATIC
  window/terminal/terminal_backend.cpp
  window/terminal/terminal_codes.cpp
  window/terminal/terminal_device.cpp
  window/terminal/terminal_picture.cpp
)
target_link_libraries(slash_window_terminal PUBLIC slash_scene slash_window_linux
                      PRIVATE PkgConfig::TINFO)
slash_layer_headers(slash_window_terminal window/terminal/*.h)

# window/hosts/: the choice of back end for a Linux session, over all three.
add_library(slash_window_hosts STATIC window/hosts/linux/backend_choice.cpp)
target_link_libraries(slash_window_hosts PUBLIC slash_scene PRIVATE slash_window_x11
                      slash_window_wayland slash_window_terminal)
slash_layer_headers(slash_window_hosts window/hosts/*.h window/hosts/linux/*.h)

