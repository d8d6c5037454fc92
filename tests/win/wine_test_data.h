// Shared inputs of the Wine end-to-end tests: a "default.config" calibrated for the two-monitor layout
// and scenario lines for the simulated runtime.
#pragma once

#include <string>

namespace winetest {

// Both monitors calibrated as flat rectangles in the plane z = -1, facing +z, with binary-exact
// numbers so that a controller at (x, y, 0) looking along -z lands on a known pixel:
//  - left monitor, Windows (-1280,0)-(0,1024): x -2.5..0, y 2..0; the controller at (-1.875, 1.5) hits
//    a quarter of the way in on both axes, the pixel (-960, 256);
//  - primary, Windows (0,0)-(1920,1080): x 0.5..3.5, y 2..0; the controller at (2.75, 0.5) hits three
//    quarters of the way in, the pixel (1440, 810).
// Stabilization is off, the user right-handed, dragging starts after 200 ms. CR LF line ends, as
// the configurator writes them on Windows.
inline std::string twoMonitorConfig() {
    return "{\r\n"
           "\t\"controller_angle_offset\" : \r\n\t{\r\n\t\t\"x\" : 0,\r\n\t\t\"y\" : 0\r\n\t},\r\n"
           "\t\"display\" : \r\n\t[\r\n"
           "\t\t{\r\n\t\t\t\"bottom\" : 1024,\r\n\t\t\t\"left\" : -1280,\r\n\t\t\t\"right\" : 0,\r\n"
           "\t\t\t\"top\" : 0,\r\n"
           "\t\t\t\"v0\" : {\"x\" : -2.5, \"y\" : 2, \"z\" : -1},\r\n"
           "\t\t\t\"v1\" : {\"x\" : -2.5, \"y\" : 0, \"z\" : -1},\r\n"
           "\t\t\t\"v2\" : {\"x\" : 0, \"y\" : 0, \"z\" : -1},\r\n"
           "\t\t\t\"v3\" : {\"x\" : 0, \"y\" : 2, \"z\" : -1}\r\n\t\t},\r\n"
           "\t\t{\r\n\t\t\t\"bottom\" : 1080,\r\n\t\t\t\"left\" : 0,\r\n\t\t\t\"right\" : 1920,\r\n"
           "\t\t\t\"top\" : 0,\r\n"
           "\t\t\t\"v0\" : {\"x\" : 0.5, \"y\" : 2, \"z\" : -1},\r\n"
           "\t\t\t\"v1\" : {\"x\" : 0.5, \"y\" : 0, \"z\" : -1},\r\n"
           "\t\t\t\"v2\" : {\"x\" : 3.5, \"y\" : 0, \"z\" : -1},\r\n"
           "\t\t\t\"v3\" : {\"x\" : 3.5, \"y\" : 2, \"z\" : -1}\r\n\t\t}\r\n\t],\r\n"
           "\t\"displayhash\" : \"32001080-12800102400192010800\",\r\n"
           "\t\"handedness\" : 1,\r\n"
           "\t\"stabilization\" : \r\n\t{\r\n\t\t\"average_of_N_previous_positions\" : 5,\r\n"
           "\t\t\"enable\" : 0\r\n\t},\r\n"
           "\t\"trigger\" : \r\n\t{\r\n\t\t\"click_detection_threshold\" : 10,\r\n"
           "\t\t\"dragging_threshold_ms\" : 200\r\n\t}\r\n}";
}

// Scenario lines that put the controller (device 1, identity rotation, looking along -z) at (x, y, 0).
inline std::string controllerAt(const std::string& x, const std::string& y) {
    return "  1 pose matrix 1 0 0 " + x + " 0 1 0 " + y + " 0 0 1 0\n";
}
inline const std::string kOnLeftMonitor = controllerAt("-1.875", "1.5");  // Windows (-960, 256)
inline const std::string kOnPrimaryMonitor = controllerAt("2.75", "0.5"); // Windows (1440, 810)

inline const std::string kHeadsetAndController = "device 0 hmd\n"
                                                 "device 1 controller\n";

} // namespace winetest
