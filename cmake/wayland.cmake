# The Wayland backend: built when the Wayland client library, wayland-scanner, wayland-protocols,
# plasma-wayland-protocols and libxkbcommon (the virtual keyboard's keymap) are there (Debian:
# libwayland-dev wayland-protocols plasma-wayland-protocols libxkbcommon-dev). The protocols' C bindings
# are generated from their XML descriptions at build time; the three that come with wlroots are kept in
# desktop/backends/wayland/protocols.
pkg_check_modules(WAYLAND_CLIENT QUIET IMPORTED_TARGET wayland-client)
pkg_check_modules(WAYLAND_SERVER QUIET IMPORTED_TARGET wayland-server)
pkg_check_modules(XKBCOMMON QUIET IMPORTED_TARGET xkbcommon)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_package(PlasmaWaylandProtocols CONFIG QUIET)

set(WAND_WLROOTS_PROTOCOLS_DIR ${PROJECT_SOURCE_DIR}/desktop/backends/wayland/protocols)
set(WAND_WAYLAND OFF)
if(WAYLAND_CLIENT_FOUND AND WAYLAND_SCANNER AND WAYLAND_PROTOCOLS_DIR AND PLASMA_WAYLAND_PROTOCOLS_DIR
   AND XKBCOMMON_FOUND)
    set(WAND_WAYLAND ON)
    message(STATUS "Desktop: X11 and Wayland (wlroots virtual pointer and keyboard, KDE fake input)")
else()
    message(STATUS "Desktop: X11 only. For Wayland install libwayland-dev wayland-protocols "
                   "plasma-wayland-protocols libxkbcommon-dev")
endif()

# wand_wayland_protocol(SOURCES XML client|server): generates the side's header from XML into the build's
# wayland-protocols folder, and for the client side the interface tables too (a server in the same
# program shares them); appends the files to the list SOURCES.
function(wand_wayland_protocol sources xml side)
    get_filename_component(name ${xml} NAME_WE)
    set(dir ${CMAKE_BINARY_DIR}/wayland-protocols)
    set(header ${dir}/${name}-${side}-protocol.h)
    set(outputs ${header})
    set(commands COMMAND ${WAYLAND_SCANNER} ${side}-header ${xml} ${header})
    if(side STREQUAL "client")
        list(APPEND outputs ${dir}/${name}-protocol.c)
        list(APPEND commands COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${name}-protocol.c)
    endif()
    add_custom_command(OUTPUT ${outputs} COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${commands}
                       DEPENDS ${xml} VERBATIM)
    set(${sources} ${${sources}} ${outputs} PARENT_SCOPE)
endfunction()

if(WAND_WAYLAND)
    enable_language(C)
    set(protocol_sources)
    foreach(xml ${WAND_WLROOTS_PROTOCOLS_DIR}/wlr-virtual-pointer-unstable-v1.xml
                ${WAND_WLROOTS_PROTOCOLS_DIR}/virtual-keyboard-unstable-v1.xml
                ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml
                ${PLASMA_WAYLAND_PROTOCOLS_DIR}/fake-input.xml)
        wand_wayland_protocol(protocol_sources ${xml} client)
    endforeach()
    add_library(wand_wayland_protocols STATIC ${protocol_sources})
    target_include_directories(wand_wayland_protocols PUBLIC ${CMAKE_BINARY_DIR}/wayland-protocols)
    target_link_libraries(wand_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT PkgConfig::XKBCOMMON)
endif()
