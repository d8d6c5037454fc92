# The GNOME backend: mutter's remote desktop on the session bus, reached with sd-bus, the D-Bus client of
# libsystemd (Debian: libsystemd-dev; the library itself is on every systemd system). Built when
# pkg-config finds libsystemd 243 or later (sd_bus_set_method_call_timeout).
pkg_check_modules(LIBSYSTEMD QUIET IMPORTED_TARGET libsystemd>=243)
set(WAND_GNOME OFF)
if(LIBSYSTEMD_FOUND)
    set(WAND_GNOME ON)
    message(STATUS "Desktop: GNOME on Wayland through mutter's remote desktop (sd-bus)")
else()
    message(STATUS "Desktop: no GNOME on Wayland. For it install libsystemd-dev")
endif()
