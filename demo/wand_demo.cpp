// The Wand demonstration: a virtual X display with two monitors, wandsetup calibrated by a scripted user
// (touch on the left monitor, pointing on the right one), then wandpointer driven for about ten seconds by
// a controller that sweeps across both monitors and clicks. Reports where the pointer went and which
// clicks the X server saw, and draws the session into a PNG.
//
// Usage: wand_demo [OUTPUT_FOLDER]   (default: ./demo-output)
#include "config/config_file.h"
#include "demo/harness.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace harness;
namespace fs = std::filesystem;

// A monitor of the demo: its place on the X root and where its screen hangs in tracking space.
struct DemoMonitor {
    const char* name;
    Monitor rect;
    double upper_left[3]; // metres, tracking space; the screens face +Z
    double width_m;
    double height_m;
};

const std::array<DemoMonitor, 2> kMonitors = {{
    {"LEFT", {0, 0, 1280, 1024, false}, {-0.90, 1.40, -0.60}, 0.338, 0.270},
    {"RIGHT", {1280, 0, 1920, 1080, true}, {-0.54, 1.40, -0.60}, 0.508, 0.286},
}};

struct Point3 {
    double x, y, z;
};

Point3 corner(const DemoMonitor& m, int index) {
    // Upper left, lower left, lower right, upper right.
    const double dx = (index == 2 || index == 3) ? m.width_m : 0.0;
    const double dy = (index == 1 || index == 2) ? m.height_m : 0.0;
    return {m.upper_left[0] + dx, m.upper_left[1] - dy, m.upper_left[2]};
}

// The point of monitor m at fractions (u, v) of its width and height from the upper left.
Point3 onScreen(const DemoMonitor& m, double u, double v) {
    return {m.upper_left[0] + u * m.width_m, m.upper_left[1] - v * m.height_m, m.upper_left[2]};
}

// The middle of the monitor's pixel (px, py), counted from its upper left.
Point3 pixelCentre(const DemoMonitor& m, int px, int py) {
    return onScreen(m, (px + 0.5) / m.rect.width, (py + 0.5) / m.rect.height);
}

// The pixel a ray aimed exactly at p should give, when p lies on one of the screens.
std::optional<std::pair<int, int>> expectedPixel(const Point3& p) {
    for (const DemoMonitor& m : kMonitors) {
        const double u = (p.x - m.upper_left[0]) / m.width_m;
        const double v = (m.upper_left[1] - p.y) / m.height_m;
        if (u >= 0 && u < 1 && v >= 0 && v < 1)
            return std::make_pair(m.rect.x + int(u * m.rect.width), m.rect.y + int(v * m.rect.height));
    }
    return std::nullopt;
}

std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

std::string point(const Point3& p) {
    return num(p.x) + " " + num(p.y) + " " + num(p.z);
}

// ---- the scripted user of wandsetup ------------------------------------------------------------------

std::string setupScenario() {
    std::string s = "# The demo's user calibrating: touch on the left monitor, pointing on the right one.\n"
                    "device 0 hmd\ndevice 1 controller\n";
    const auto press = [&s](const std::string& pose) {
        s += "step polls=1 ms=150\n  1 " + pose + "\n  1 buttons none\n";
        s += "step polls=1\n  1 buttons menu\n";
    };
    for (int c = 0; c < 4; ++c)
        press("pose tip " + point(corner(kMonitors[0], c)));
    const Point3 from[2] = {{-0.45, 1.20, 0.00}, {-0.05, 1.10, -0.05}};
    for (const Point3& place : from)
        for (int c = 0; c < 4; ++c)
            press("pose tip " + point(place) + " aim " + point(corner(kMonitors[1], c)));
    s += "step polls=1\n  1 buttons none\n";
    return s;
}

// Shows what a program writes as it writes it, and answers its prompts like a user at the keyboard.
struct Prompt {
    std::string text;
    size_t occurrence;
    std::string answer;
};

std::optional<int> converse(Child& program, const std::vector<Prompt>& prompts, Timeout timeout) {
    size_t shown = 0;
    size_t next = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        readOutput(program);
        const std::string out = program.out;
        if (out.size() > shown) {
            std::fwrite(out.data() + shown, 1, out.size() - shown, stdout);
            std::fflush(stdout);
            shown = out.size();
        }
        if (next < prompts.size()) {
            const Prompt& prompt = prompts[next];
            size_t count = 0;
            for (size_t at = out.find(prompt.text); at != std::string::npos;
                 at = out.find(prompt.text, at + 1))
                ++count;
            if (count >= prompt.occurrence) {
                std::printf("\033[1m%s\033[0m\n", prompt.answer.c_str()); // the user's typing, echoed
                writeInput(program, prompt.answer + "\n");
                if (++next == prompts.size())
                    closeInput(program);
            }
        }
        if (const std::optional<int> status = exitStatus(program)) {
            const std::string& rest = program.out;
            std::fwrite(rest.data() + shown, 1, rest.size() - shown, stdout);
            std::fputs(program.err.c_str(), stderr);
            return status;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// ---- the controller that drives wandpointer -----------------------------------------------------------

const Point3 kStand{-0.45, 1.15, 0.05}; // where the user stands with the controller

struct Sweep {
    std::string scenario;
    std::vector<Point3> targets; // every aim point, in order
    std::vector<Point3> clicks;  // where the trigger was pulled
    size_t steps = 0;
};

Sweep pointerScenario() {
    Sweep sweep;
    std::string& s = sweep.scenario;
    s = "# The demo's controller: sweeps over both monitors in three rows and clicks on each.\n"
        "device 0 hmd\ndevice 1 controller\n";
    const auto aim = [&](const Point3& target, int ms) {
        s += "step polls=1 ms=" + std::to_string(ms) + "\n  1 pose aim " + point(kStand) + " " +
             point(target) + "\n";
        sweep.targets.push_back(target);
        ++sweep.steps;
    };
    // A real pull turns the controller down while the trigger travels: by 0.2 and then 0.4 degrees here.
    const auto click = [&](const Point3& target) {
        aim(target, 400);
        s += "step polls=3\n  1 trigger 1\n";
        const double reach = std::hypot(target.x - kStand.x, target.y - kStand.y, target.z - kStand.z);
        for (double degrees : {0.2, 0.4}) {
            const Point3 turned{target.x, target.y - reach * std::tan(degrees * std::acos(-1.0) / 180),
                                target.z};
            s += "step polls=2\n  1 pose aim " + point(kStand) + " " + point(turned) + "\n";
        }
        s += "step polls=3 ms=300\n  1 trigger 0\n";
        sweep.clicks.push_back(target);
        sweep.steps += 4;
    };
    const double left = kMonitors[0].upper_left[0] + 0.01;
    const double right = kMonitors[1].upper_left[0] + kMonitors[1].width_m - 0.01;
    const double rows[3] = {1.37, 1.26, 1.15};
    const int points = 60;
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; i <= points; ++i) {
            const double f = double(i) / points;
            const double x = (r % 2 == 0) ? left + f * (right - left) : right - f * (right - left);
            aim({x, rows[r], -0.60}, 45);
        }
        if (r == 0)
            click(pixelCentre(kMonitors[0], 640, 512));
        if (r == 1)
            click(pixelCentre(kMonitors[1], 960, 540));
    }
    click(pixelCentre(kMonitors[1], 1728, 918));
    return sweep;
}

struct Sample {
    int64_t ms;
    PointerPosition at;
};

struct Click {
    ButtonEvent event;
    PointerPosition at;
};

PointerPosition positionAt(const std::vector<Sample>& path, int64_t ms) {
    PointerPosition at = path.empty() ? PointerPosition{} : path.front().at;
    for (const Sample& sample : path) {
        if (sample.ms > ms)
            break;
        at = sample.at;
    }
    return at;
}

const DemoMonitor* monitorOf(const PointerPosition& p) {
    for (const DemoMonitor& m : kMonitors)
        if (p.x >= m.rect.x && p.x < m.rect.x + m.rect.width && p.y >= m.rect.y &&
            p.y < m.rect.y + m.rect.height)
            return &m;
    return nullptr;
}

// ---- the picture ----------------------------------------------------------------------------------------

void label(cairo_t* cr, double x, double y, const std::string& text, double size = 13) {
    cairo_set_font_size(cr, size);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

void drawSession(const std::string& path, const ConfigContents& config, const Sweep& sweep,
                 const std::vector<Sample>& trail, const std::vector<Click>& clicks) {
    const int width = 1100;
    const int height = 900;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    // Top: the desktop in pixels with the pointer's path and the clicks.
    const double desk_x = 50, desk_y = 70, desk_scale = 1000.0 / 3200.0;
    cairo_set_source_rgb(cr, 0, 0, 0);
    label(cr, 50, 30, "Wand demo: the desktop (X root, pixels) with the pointer's path and the clicks", 16);
    for (const DisplayEntry& d : config.displays) {
        cairo_rectangle(cr, desk_x + d.left * desk_scale, desk_y + d.top * desk_scale,
                        (d.right - d.left) * desk_scale, (d.bottom - d.top) * desk_scale);
        cairo_set_source_rgb(cr, 0.93, 0.95, 1.0);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.2, 0.3, 0.6);
        cairo_set_line_width(cr, 2);
        cairo_stroke(cr);
        label(cr, desk_x + d.left * desk_scale + 6, desk_y + d.top * desk_scale + 16,
              std::to_string(int(d.right - d.left)) + "x" + std::to_string(int(d.bottom - d.top)) + " at " +
                  std::to_string(int(d.left)) + "," + std::to_string(int(d.top)));
    }
    cairo_set_source_rgb(cr, 0.85, 0.2, 0.1);
    cairo_set_line_width(cr, 1.2);
    bool first = true;
    for (const Sample& s : trail) {
        const double x = desk_x + s.at.x * desk_scale, y = desk_y + s.at.y * desk_scale;
        if (first)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
        first = false;
    }
    cairo_stroke(cr);
    for (const Click& c : clicks) {
        if (!c.event.press)
            continue;
        cairo_set_source_rgb(cr, 0.1, 0.6, 0.1);
        cairo_arc(cr, desk_x + c.at.x * desk_scale, desk_y + c.at.y * desk_scale, 7, 0, 2 * M_PI);
        cairo_set_line_width(cr, 2.5);
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.6, 0.1);
    label(cr, desk_x, desk_y + 1080 * desk_scale + 22,
          "green circles: button presses the X server saw; red: pointer path");

    // Bottom: tracking space seen from the front (x right, y up, metres): the corners as calibrated, the
    // aim points of the sweep and where the controller was held.
    const double view_x = 50, view_y = 470, view_w = 1000, view_h = 380;
    const double min_x = -1.0, max_x = 0.05, min_y = 1.05, max_y = 1.45;
    const double scale = std::min(view_w / (max_x - min_x), view_h / (max_y - min_y));
    const auto tx = [&](double x) { return view_x + (x - min_x) * scale; };
    const auto ty = [&](double y) { return view_y + (max_y - y) * scale; };
    cairo_set_source_rgb(cr, 0, 0, 0);
    label(cr, 50, 455,
          "Tracking space, front view (metres): screens as calibrated by wandsetup, the sweep's aim points",
          16);
    for (size_t i = 0; i < config.displays.size(); ++i) {
        const DisplayEntry& d = config.displays[i];
        cairo_move_to(cr, tx(d.corners[0].x), ty(d.corners[0].y));
        for (int c = 1; c < 4; ++c)
            cairo_line_to(cr, tx(d.corners[c].x), ty(d.corners[c].y));
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.93, 0.95, 1.0);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.2, 0.3, 0.6);
        cairo_set_line_width(cr, 2);
        cairo_stroke(cr);
        label(cr, tx(d.corners[0].x) + 6, ty(d.corners[0].y) + 16,
              std::string(i == 0 ? "v0..v3 by touch" : "v0..v3 by pointing"));
    }
    cairo_set_source_rgb(cr, 0.85, 0.2, 0.1);
    for (const Point3& t : sweep.targets) {
        cairo_arc(cr, tx(t.x), ty(t.y), 1.6, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.6, 0.1);
    for (const Point3& t : sweep.clicks) {
        cairo_move_to(cr, tx(t.x) - 6, ty(t.y) - 6);
        cairo_line_to(cr, tx(t.x) + 6, ty(t.y) + 6);
        cairo_move_to(cr, tx(t.x) - 6, ty(t.y) + 6);
        cairo_line_to(cr, tx(t.x) + 6, ty(t.y) - 6);
        cairo_set_line_width(cr, 2.5);
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_arc(cr, tx(kStand.x), ty(kStand.y), 5, 0, 2 * M_PI);
    cairo_fill(cr);
    label(cr, tx(kStand.x) - 60, ty(kStand.y) + 22, "controller, 0.65 m in front");

    cairo_destroy(cr);
    cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const fs::path out_dir = fs::absolute(argc > 1 ? argv[1] : "demo-output");
    fs::create_directories(out_dir);
    fs::remove(out_dir / "default.config");
    const fs::path bin = ownFolder();
    for (const char* program : {"wandsetup", "wandpointer", "libopenvr_api.so"})
        if (!fs::exists(bin / program)) {
            std::fprintf(stderr, "wand_demo: %s is missing beside the demo (%s); build everything first\n",
                         program, bin.c_str());
            return 1;
        }

    std::vector<Monitor> monitors;
    for (const DemoMonitor& m : kMonitors)
        monitors.push_back(m.rect);
    std::printf("== Starting a virtual X display with two monitors\n");
    XServer x;
    start(x, monitors);
    std::printf("   display %s:", x.display.c_str());
    for (const Monitor& m : monitors)
        std::printf(" %dx%d+%d+%d%s", m.width, m.height, m.x, m.y, m.primary ? "*" : "");
    std::printf(" (the star marks the primary)\n");

    // ---- wandsetup with a scripted user
    std::printf(
        "\n== wandsetup, calibrating with the simulated VR runtime; the user's answers are in bold\n\n");
    writeFile(out_dir / "setup.scenario", setupScenario());
    Child setup;
    start(setup, {(bin / "wandsetup").string()}, out_dir,
          {{"DISPLAY", x.display}, {"WAND_SIM_SCENARIO", (out_dir / "setup.scenario").string()}});
    const std::vector<Prompt> answers = {{"2: Calibrate by pointing\n", 1, "1"},
                                         {"2: Calibrate by pointing\n", 2, "2"},
                                         {"2: Left-handed\n", 1, "1"}};
    const std::optional<int> setup_status = converse(setup, answers, Timeout(60000));
    if (setup_status != 0) {
        std::fprintf(stderr, "\nwand_demo: wandsetup did not finish as expected\n");
        return 1;
    }
    const ConfigRead read = parseConfigText(readFile(out_dir / "default.config"));
    if (!read.contents) {
        std::fprintf(stderr, "\nwand_demo: the written default.config does not read back: %s",
                     read.message.c_str());
        return 1;
    }
    const ConfigContents& config = *read.contents;
    std::printf("== default.config written to %s (%zu monitors, display hash \"%s\")\n",
                (out_dir / "default.config").c_str(), config.displays.size(), config.display_hash.c_str());
    // The steadier pointing the README recommends, added by hand as a user would: lines in the
    // "stabilization" and "trigger" groups that wandsetup wrote.
    std::string text = readFile(out_dir / "default.config");
    for (const auto& [line, edited] :
         {std::pair<std::string, std::string>{"\"enable\" : 0",
                                              "\"enable\" : 1,\n\t\t\"filter\" : \"one_euro\",\n"
                                              "\t\t\"min_cutoff_hz\" : 0.5,\n\t\t\"beta\" : 2.5,\n"
                                              "\t\t\"derivative_cutoff_hz\" : 1.0"},
          {"\"dragging_threshold_ms\" : 200",
           "\"dragging_threshold_ms\" : 200,\n\t\t\"click_freeze_degrees\" : 0.6"}}) {
        const size_t at = text.find(line);
        if (at == std::string::npos) {
            std::fprintf(stderr, "\nwand_demo: no %s in the written default.config\n", line.c_str());
            return 1;
        }
        text.replace(at, line.size(), edited);
    }
    writeFile(out_dir / "default.config", text);
    std::printf(
        "   with the recommended steadier pointing: the 1€ filter and a click freeze of 0.6 degrees\n");

    // ---- wandpointer with a sweeping, clicking controller
    std::printf(
        "\n== wandpointer for about ten seconds: the controller sweeps across both monitors and clicks\n\n");
    const Sweep sweep = pointerScenario();
    writeFile(out_dir / "pointer.scenario", sweep.scenario);
    const fs::path log = out_dir / "pointer.sim.log";
    fs::remove(log);
    XObserver observer;
    open(observer, x.display);
    Child pointer;
    start(pointer, {(bin / "wandpointer").string()}, out_dir,
          {{"DISPLAY", x.display},
           {"WAND_SIM_SCENARIO", (out_dir / "pointer.scenario").string()},
           {"WAND_SIM_LOG", log.string()}});
    const std::string last_step = " step " + std::to_string(sweep.steps) + "\n";
    std::vector<Sample> trail;
    std::vector<ButtonEvent> buttons;
    size_t shown = 0;
    const int64_t start = monotonicMs();
    int64_t finished = 0;
    for (;;) {
        const int64_t now = monotonicMs();
        trail.push_back({now, harness::pointer(observer)});
        for (const ButtonEvent& e : buttonEvents(observer))
            buttons.push_back(e);
        const bool ended = exitStatus(pointer).has_value();
        const std::string& out = pointer.out;
        if (out.size() > shown) {
            std::fwrite(out.data() + shown, 1, out.size() - shown, stdout);
            shown = out.size();
        }
        if (ended)
            break;
        if (!finished && now - start > 500 && readFile(log).find(last_step) != std::string::npos)
            finished = now;
        if ((finished && now - finished > 500) || now - start > 30000)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    harness::signal(pointer, SIGTERM);
    const std::optional<int> pointer_status = waitExit(pointer, Timeout(5000));
    std::printf("%s", pointer.out.substr(std::min(shown, pointer.out.size())).c_str());
    std::fputs(pointer.err.c_str(), stderr);
    for (const ButtonEvent& e : buttonEvents(observer))
        buttons.push_back(e);

    // ---- report
    // The path without repeated positions, from the first move the runner made.
    std::vector<Sample> moved;
    for (const Sample& s : trail)
        if (moved.empty() || !(moved.back().at == s.at))
            moved.push_back(s);
    if (moved.size() > 1)
        moved.erase(moved.begin());
    std::printf("\n== Report\n");
    std::printf("   wandpointer ran %.1f s, %s\n", double(monotonicMs() - start) / 1000.0,
                pointer_status
                    ? ("ended with status " + std::to_string(*pointer_status) + " after SIGTERM").c_str()
                    : "did not end");
    std::printf("   pointer: %zu samples, %zu distinct positions\n", trail.size(), moved.size());
    for (const DemoMonitor& m : kMonitors) {
        int32_t lo_x = INT32_MAX, hi_x = INT32_MIN, lo_y = INT32_MAX, hi_y = INT32_MIN;
        size_t count = 0;
        for (const Sample& s : moved)
            if (monitorOf(s.at) == &m) {
                ++count;
                lo_x = std::min(lo_x, s.at.x), hi_x = std::max(hi_x, s.at.x);
                lo_y = std::min(lo_y, s.at.y), hi_y = std::max(hi_y, s.at.y);
            }
        if (count)
            std::printf("   on %-5s (%dx%d+%d+%d): %zu positions, x %d..%d, y %d..%d\n", m.name, m.rect.width,
                        m.rect.height, m.rect.x, m.rect.y, count, lo_x, hi_x, lo_y, hi_y);
        else
            std::printf("   on %-5s: never\n", m.name);
    }
    std::vector<Click> clicks;
    for (const ButtonEvent& e : buttons)
        clicks.push_back({e, positionAt(trail, e.server_ms)});
    std::printf("   button events seen by the X server: %zu\n", clicks.size());
    const char* names[] = {"", "left", "middle", "right", "wheel up", "wheel down"};
    for (const Click& c : clicks)
        std::printf("     %+6.2f s  %-6s %-7s at %d,%d (%s)\n",
                    double(int64_t(c.event.server_ms) - start) / 1000.0,
                    c.event.button >= 1 && c.event.button <= 5 ? names[c.event.button] : "other",
                    c.event.press ? "press" : "release", c.at.x, c.at.y,
                    monitorOf(c.at) ? monitorOf(c.at)->name : "between monitors");
    std::printf("   clicks aimed at:\n");
    size_t presses = 0;
    int worst = 0; // the largest distance of a press from its aimed pixel, on either axis
    double error = 0.0, farthest = 0.0; // the presses' distances from their aimed pixels: sum and most
    for (const Point3& target : sweep.clicks) {
        const auto pixel = expectedPixel(target);
        std::printf("     pixel %d,%d", pixel ? pixel->first : -1, pixel ? pixel->second : -1);
        for (; presses < clicks.size() && !clicks[presses].event.press; ++presses) {
        }
        if (presses < clicks.size()) {
            const PointerPosition at = clicks[presses].at;
            const int away =
                pixel ? std::max(std::abs(at.x - pixel->first), std::abs(at.y - pixel->second)) : 9999;
            const double distance = pixel ? std::hypot(at.x - pixel->first, at.y - pixel->second) : 9999.0;
            std::printf(": pressed at %d,%d (%.1f px away)\n", at.x, at.y, distance);
            worst = std::max(worst, away);
            error += distance;
            farthest = std::max(farthest, distance);
            ++presses;
        } else {
            std::printf(": no press seen\n");
            worst = 9999;
        }
    }

    std::printf(
        "   click error: mean %.1f px, max %.1f px over %zu clicks (each pull turned the controller down "
        "by 0.4 degrees)\n",
        sweep.clicks.empty() ? 0.0 : error / sweep.clicks.size(), farthest, sweep.clicks.size());

    const fs::path picture = out_dir / "session.png";
    drawSession(picture.string(), config, sweep, moved, clicks);
    std::printf("\n== Picture of the session: %s\n", picture.c_str());
    std::printf("   Files: default.config, setup.scenario, pointer.scenario, pointer.sim.log in %s\n",
                out_dir.c_str());

    size_t expected_events = sweep.clicks.size() * 2;
    const bool ok =
        pointer_status.has_value() && clicks.size() == expected_events && moved.size() > 50 && worst <= 1;
    if (!ok)
        std::fprintf(
            stderr,
            "wand_demo: the session did not go as planned (%zu button events, %zu positions, a click "
            "%d px from its pixel)\n",
            clicks.size(), moved.size(), worst);
    return ok ? 0 : 1;
}
