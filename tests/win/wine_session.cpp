#include "tests/win/wine_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace winetest {

namespace {

using testsupport::Process;
using testsupport::ProcessOptions;

std::vector<testsupport::TestMonitor> twoMonitors() {
    return {{.x = 0, .y = 0, .width = 1280, .height = 1024, .primary = false},
            {.x = 1280, .y = 0, .width = 1920, .height = 1080, .primary = true}};
}

std::vector<std::pair<std::string, std::string>> prefixEnv() {
    return {{"WINEPREFIX", WAND_WINE_PREFIX}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
}

// The prefix is normally made by the test fixture "wine_prefix"; a test run on its own makes it here.
void ensurePrefix() {
    if (std::filesystem::exists(std::filesystem::path(WAND_WINE_PREFIX) / ".wand-ready"))
        return;
    const auto made = testsupport::runProcess({WAND_SOURCE_DIR "/scripts/wine-prefix", WAND_WINE_PREFIX}, {},
                                              testsupport::Timeout(300000));
    if (made.status != 0)
        throw std::runtime_error("scripts/wine-prefix failed: " + made.out + made.err);
}

// Ends every Wine process of the prefix and waits until the wineserver is gone.
void stopWineServer() {
    testsupport::runProcess({"wineserver", "-k"}, {.env = prefixEnv()}, kStartTimeout);
    testsupport::runProcess({"wineserver", "-w"}, {.env = prefixEnv()}, kStartTimeout);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
    }
    return result;
}

std::vector<HookEvent> parseButtons(const std::string& log) {
    std::vector<HookEvent> events;
    for (const std::string& line : lines(log)) {
        if (line.rfind("WM_", 0) != 0 || line.rfind("WM_MOUSEMOVE", 0) == 0)
            continue;
        std::istringstream in(line);
        HookEvent event;
        int injected = 0;
        if (in >> event.message >> event.x >> event.y >> event.wheel >> injected) {
            event.injected = injected != 0;
            events.push_back(event);
        }
    }
    return events;
}

} // namespace

std::string windowsBin() {
    return WAND_WINE_BIN;
}

std::string windowsProgram(const std::string& name) {
    return windowsBin() + "/" + name;
}

bool haveWindowsProgram(const std::string& name) {
    return std::filesystem::exists(windowsProgram(name));
}

std::string windowsPath(const std::string& linux_path) {
    std::string path = "Z:" + std::filesystem::absolute(linux_path).string();
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string toString(const HookEvent& event) {
    return event.message + " " + std::to_string(event.x) + " " + std::to_string(event.y) + " " +
           std::to_string(event.wheel) + (event.injected ? " injected" : " not injected");
}

std::string toString(const std::vector<HookEvent>& events) {
    std::string text;
    for (const HookEvent& event : events)
        text += toString(event) + "\n";
    return text;
}

WineDesktop::WineDesktop() : xserver_(twoMonitors()) {
    ensurePrefix();
    stopWineServer();
}

WineDesktop::~WineDesktop() {
    hook_.reset();
    stopWineServer();
}

std::vector<std::pair<std::string, std::string>>
WineDesktop::env(std::vector<std::pair<std::string, std::string>> extra) const {
    auto result = prefixEnv();
    result.push_back(xserver_.displayEnv());
    for (auto& entry : extra)
        result.push_back(std::move(entry));
    return result;
}

Process WineDesktop::start(const std::string& program, const std::string& working_dir,
                           std::vector<std::pair<std::string, std::string>> extra_env,
                           const std::string& stdin_text) {
    return Process({"wine", windowsProgram(program)},
                   {.working_dir = working_dir, .env = env(std::move(extra_env)), .stdin_text = stdin_text});
}

void WineDesktop::startHook() {
    hook_.emplace(Process({"wine", windowsProgram("mousehook.exe"), "--until-eof"},
                          {.env = env(), .keep_stdin_open = true}));
    if (!hook_->waitForOutput("ready", kStartTimeout))
        throw std::runtime_error("the mouse hook did not start: " + hook_->out() + hook_->err());
}

std::vector<HookMonitor> WineDesktop::hookMonitors() const {
    std::vector<HookMonitor> monitors;
    for (const std::string& line : lines(hookLog())) {
        std::istringstream in(line);
        std::string word;
        HookMonitor m;
        if (in >> word && word == "monitor" && in >> m.left >> m.top >> m.right >> m.bottom)
            monitors.push_back(m);
    }
    return monitors;
}

std::string WineDesktop::hookVirtualScreen() const {
    for (const std::string& line : lines(hookLog()))
        if (line.rfind("virtual ", 0) == 0)
            return line.substr(8);
    return "";
}

std::vector<HookEvent> WineDesktop::hookButtons() const {
    return parseButtons(hookLog());
}

bool WineDesktop::waitForHookButtons(size_t count, Timeout timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (hookButtons().size() < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string WineDesktop::hookLog() const {
    return hook_ ? hook_->out() : std::string();
}

std::vector<std::pair<std::string, std::string>> simEnv(const testsupport::TempDir& dir,
                                                        const std::string& scenario, bool log) {
    testsupport::writeFile(dir.file("scenario.txt"), scenario);
    std::vector<std::pair<std::string, std::string>> env = {
        {"WAND_SIM_SCENARIO", windowsPath(dir.file("scenario.txt"))},
        {"WAND_SIM_CONTROL", windowsPath(dir.path().string())}};
    if (log)
        env.emplace_back("WAND_SIM_LOG", windowsPath(dir.file("sim.log")));
    return env;
}

std::string crlf(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

} // namespace winetest
