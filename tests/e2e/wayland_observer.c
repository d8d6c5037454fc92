// Covers every output of a Wayland desktop with a transparent layer-shell surface and prints, one line
// each, what the pointer and the keyboard do there as applications see it, in layout pixels:
//   ready           every output is covered     motion X Y      the pointer is on pixel (X, Y)
//   button CODE 1|0 a button pressed/released   axis VALUE      vertical scroll
//   key CODE 1|0    a key pressed/released (evdev code)
#define _GNU_SOURCE
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

struct output {
    struct wl_output* wl;
    struct wl_surface* surface;
    int x, y, w, h, covered;
};
static struct output outputs[8], *focus;
static int output_count, covered_count;
static struct wl_compositor* compositor;
static struct wl_shm* shm;
static struct zwlr_layer_shell_v1* layer_shell;
static struct zxdg_output_manager_v1* output_manager;
static struct zwlr_virtual_pointer_manager_v1* pointer_manager;
static struct wl_seat* first_seat;
static struct wl_pointer* pointer;
static struct wl_keyboard* keyboard;

static void nothing() {} // for the events that do not matter here, whatever their arguments

static void position(void* data, struct zxdg_output_v1* xdg, int32_t x, int32_t y) {
    ((struct output*)data)->x = x, ((struct output*)data)->y = y;
}
static const struct zxdg_output_v1_listener xdg_listener = {position, nothing, nothing, NULL, NULL};

static void configure(void* data, struct zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t w,
                      uint32_t h) {
    struct output* o = data;
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    int fd = memfd_create("observer", 0); // all zero: transparent
    if (ftruncate(fd, (off_t)w * h * 4) != 0)
        return;
    struct wl_shm_pool* pool = wl_shm_create_pool(shm, fd, (int32_t)(w * h * 4));
    wl_surface_attach(o->surface, wl_shm_pool_create_buffer(pool, 0, w, h, w * 4, WL_SHM_FORMAT_ARGB8888), 0,
                      0);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_commit(o->surface);
    o->w = (int)w, o->h = (int)h;
    if (!o->covered && ++covered_count == output_count)
        printf("ready\n");
    o->covered = 1;
}
static const struct zwlr_layer_surface_v1_listener layer_listener = {configure, nothing};

// A position on the surface's right or bottom edge, rounded to the 1/256 pixel of the protocol, is still
// on its last pixel: the pointer is on that output, not on the next one.
static int pixel(wl_fixed_t at, int size) {
    int p = (int)floor(wl_fixed_to_double(at));
    return p < size ? p : size - 1;
}
static void motion(void* data, struct wl_pointer* p, uint32_t time, wl_fixed_t sx, wl_fixed_t sy) {
    printf("motion %d %d\n", focus->x + pixel(sx, focus->w), focus->y + pixel(sy, focus->h));
}
static void enter(void* data, struct wl_pointer* p, uint32_t serial, struct wl_surface* s, wl_fixed_t sx,
                  wl_fixed_t sy) {
    for (focus = outputs; focus->surface != s;)
        ++focus;
    motion(data, p, 0, sx, sy);
}
static void button(void* data, struct wl_pointer* p, uint32_t serial, uint32_t time, uint32_t code,
                   uint32_t state) {
    printf("button %u %u\n", code, state);
}
static void axis(void* data, struct wl_pointer* p, uint32_t time, uint32_t which, wl_fixed_t value) {
    if (which == WL_POINTER_AXIS_VERTICAL_SCROLL)
        printf("axis %g\n", wl_fixed_to_double(value));
}
static const struct wl_pointer_listener pointer_listener = {enter, nothing, motion, button, axis};

static void keymap(void* data, struct wl_keyboard* k, uint32_t format, int32_t fd, uint32_t size) {
    close(fd);
}
static void key(void* data, struct wl_keyboard* k, uint32_t serial, uint32_t time, uint32_t code,
                uint32_t state) {
    printf("key %u %u\n", code, state);
}
static const struct wl_keyboard_listener keyboard_listener = {keymap, nothing, nothing, key, nothing};

// The seat has a keyboard while a program's virtual keyboard exists: a new one for each program.
static void capabilities(void* data, struct wl_seat* seat, uint32_t caps) {
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer)
        wl_pointer_add_listener(pointer = wl_seat_get_pointer(seat), &pointer_listener, NULL);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard)
        wl_keyboard_add_listener(keyboard = wl_seat_get_keyboard(seat), &keyboard_listener, NULL);
    else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard)
        wl_keyboard_destroy(keyboard), keyboard = NULL;
}
static const struct wl_seat_listener seat_listener = {capabilities, NULL};

static void global(void* data, struct wl_registry* r, uint32_t name, const char* interface,
                   uint32_t version) {
    if (!strcmp(interface, wl_compositor_interface.name))
        compositor = wl_registry_bind(r, name, &wl_compositor_interface, 4);
    else if (!strcmp(interface, wl_shm_interface.name))
        shm = wl_registry_bind(r, name, &wl_shm_interface, 1);
    else if (!strcmp(interface, zwlr_layer_shell_v1_interface.name))
        layer_shell = wl_registry_bind(r, name, &zwlr_layer_shell_v1_interface, 1);
    else if (!strcmp(interface, zxdg_output_manager_v1_interface.name))
        output_manager = wl_registry_bind(r, name, &zxdg_output_manager_v1_interface, 1);
    else if (!strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        pointer_manager = wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (!strcmp(interface, wl_seat_interface.name) && !first_seat)
        wl_seat_add_listener(first_seat = wl_registry_bind(r, name, &wl_seat_interface, 1), &seat_listener,
                             NULL);
    else if (!strcmp(interface, wl_output_interface.name) && output_count < 8)
        outputs[output_count++].wl = wl_registry_bind(r, name, &wl_output_interface, 1);
}
static const struct wl_registry_listener registry_listener = {global, nothing};

int main(void) {
    struct wl_display* display = wl_display_connect(NULL);
    if (!display)
        return 1;
    setvbuf(stdout, NULL, _IOLBF, 0);
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !layer_shell || !output_manager)
        return 2;
    // The desktop's own mouse, as a real one has: the seat keeps its pointer (and this client its
    // wl_pointer) when a program's virtual pointer goes away.
    if (pointer_manager && first_seat)
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointer_manager, first_seat);
    for (struct output* o = outputs; o < outputs + output_count; ++o) {
        zxdg_output_v1_add_listener(zxdg_output_manager_v1_get_xdg_output(output_manager, o->wl),
                                    &xdg_listener, o);
        o->surface = wl_compositor_create_surface(compositor);
        struct zwlr_layer_surface_v1* layer = zwlr_layer_shell_v1_get_layer_surface(
            layer_shell, o->surface, o->wl, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "wand-observer");
        zwlr_layer_surface_v1_set_anchor(layer, 15); // all four edges: the whole output
        zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(layer, 1); // the keys come here
        zwlr_layer_surface_v1_add_listener(layer, &layer_listener, o);
        wl_surface_commit(o->surface);
    }
    while (wl_display_dispatch(display) != -1)
        continue;
    return 0;
}
