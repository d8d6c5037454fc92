// The Wayland backend against a compositor in the test that offers what KWin offers (outputs described by
// xdg-output, KDE's fake input) on a real socket and records the requests it gets.
#include "desktop/backends/wayland/wayland_desktop.h"

#include "fake-input-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <gtest/gtest.h>
#include <wayland-server.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform;

const MonitorInfo kOutputs[] = {{0, 0, 1920, 1080}, {-1280, 200, 0, 1224}};
std::mutex recorded_lock;
std::vector<std::string> recorded;

// A request as its name and arguments: numbers, fixed-point values as whole numbers, strings.
int recordRequest(const void*, void*, uint32_t, const wl_message* message, wl_argument* args) {
    std::string text = message->name;
    int i = 0;
    for (const char* type = message->signature; *type; ++type) {
        if (*type == 's')
            text += std::string(" ") + args[i].s;
        else if (*type == 'u')
            text += " " + std::to_string(args[i].u);
        else if (*type == 'f')
            text += " " + std::to_string(wl_fixed_to_int(args[i].f));
        i += std::isalpha(*type) ? 1 : 0;
    }
    std::lock_guard<std::mutex> hold(recorded_lock);
    recorded.push_back(text);
    return 0;
}

// xdg-output's get_xdg_output (its other request is destroy): the output's logical rectangle.
int describeOutput(const void*, void* manager, uint32_t opcode, const wl_message*, wl_argument* args) {
    if (opcode != 1)
        return 0;
    const auto* rect =
        static_cast<const MonitorInfo*>(wl_resource_get_user_data(reinterpret_cast<wl_resource*>(args[1].o)));
    wl_resource* logical = wl_resource_create(wl_resource_get_client(static_cast<wl_resource*>(manager)),
                                              &zxdg_output_v1_interface, 1, args[0].n);
    wl_resource_post_event(logical, 0, rect->left, rect->top);
    wl_resource_post_event(logical, 1, rect->right - rect->left, rect->bottom - rect->top);
    wl_resource_post_event(logical, 2);
    return 0;
}

template <const wl_interface* interface, wl_dispatcher_func_t dispatcher>
void bind(wl_client* client, void* data, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, interface, static_cast<int>(version), id);
    wl_resource_set_dispatcher(resource, dispatcher, nullptr, data, nullptr);
}

struct FakeKwin {
    wl_display* display = wl_display_create();
    std::string socket;
    std::atomic<bool> stop{false};
    std::thread loop;

    FakeKwin() {
        setenv("XDG_RUNTIME_DIR", testing::TempDir().c_str(), 1);
        socket = wl_display_add_socket_auto(display);
        for (const MonitorInfo& output : kOutputs)
            wl_global_create(display, &wl_output_interface, 1, const_cast<MonitorInfo*>(&output),
                             bind<&wl_output_interface, recordRequest>);
        wl_global_create(display, &zxdg_output_manager_v1_interface, 1, nullptr,
                         bind<&zxdg_output_manager_v1_interface, describeOutput>);
        wl_global_create(display, &org_kde_kwin_fake_input_interface, 4, nullptr,
                         bind<&org_kde_kwin_fake_input_interface, recordRequest>);
        loop = std::thread([this] {
            while (!stop) {
                wl_event_loop_dispatch(wl_display_get_event_loop(display), 10);
                wl_display_flush_clients(display);
            }
        });
    }
    ~FakeKwin() {
        stop = true;
        loop.join();
        wl_display_destroy_clients(display); // a hang-up the loop had no time to see leaves its client
        wl_display_destroy(display);
    }
};

TEST(WaylandBackend, KdeFakeInputGetsLogicalMonitorsAbsoluteMotionButtonsWheelAndKeys) {
    FakeKwin kwin;
    WaylandDesktop* desktop = connectWayland(kwin.socket.c_str());
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(pointerKind(*desktop), WaylandPointer::kde);
    // The outputs' logical rectangles in the compositor's order, the virtual screen around them.
    const DesktopReport report = waylandMonitors(*desktop);
    std::vector<std::array<int32_t, 4>> rects;
    for (const MonitorInfo& m : report.monitors)
        rects.push_back({m.left, m.top, m.right, m.bottom});
    EXPECT_EQ(rects, (std::vector<std::array<int32_t, 4>>{{0, 0, 1920, 1080}, {-1280, 200, 0, 1224}}));
    EXPECT_EQ(std::make_pair(report.virtual_width, report.virtual_height), std::make_pair(3200, 1224));
    // Whole pixels, clamped to the layout's bounding box; the wheel's notches as 15 a notch, downward
    // positive.
    EXPECT_TRUE(waylandMoveTo(*desktop, -1280, 1223));
    EXPECT_TRUE(waylandMoveTo(*desktop, 5000, -7));
    for (MouseButton button : {MouseButton::left, MouseButton::right, MouseButton::middle}) {
        waylandButton(*desktop, button, true);
        waylandButton(*desktop, button, false);
    }
    waylandWheel(*desktop, 2);
    waylandWheel(*desktop, -1);
    EXPECT_EQ(waylandKeyProblem(*desktop), "");
    waylandKey(*desktop, Key::page_down, true); // by the kernel's key code
    waylandKey(*desktop, Key::page_down, false);
    waylandFinish(*desktop, true);
    disconnectWayland(desktop);
    std::lock_guard<std::mutex> hold(recorded_lock);
    EXPECT_EQ(recorded,
              (std::vector<std::string>{
                  "authenticate Wand turns a VR controller into the desktop's mouse",
                  "pointer_motion_absolute -1280 1223", "pointer_motion_absolute 1919 0", "button 272 1",
                  "button 272 0", "button 273 1", "button 273 0", "button 274 1", "button 274 0",
                  "axis 0 -30", "axis 0 15", "keyboard_key 109 1", "keyboard_key 109 0"}));
}

} // namespace
