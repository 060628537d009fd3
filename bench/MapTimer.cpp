// juyoutai-maptime PROGRAM [ARGS...]: starts a program on the X display and prints the milliseconds
// from exec until its first top-level window is mapped, the program's peak resident memory in MB
// half a second later (the work it leaves for after the first paint included), and the CPU time in
// milliseconds its threads had used when the window was mapped; then ends it. The CPU time hardly
// depends on what else the machine runs, the wall time does.
#include "platform/Process.h"

#include <ctime>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <sys/types.h>

namespace {

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// VmHWM of a process, in MB; -1 when it cannot be read.
double peakResidentMb(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/status", pid);
    FILE *status = std::fopen(path, "r");
    if (!status)
        return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atof(line + 6);
    }
    std::fclose(status);
    return kb < 0 ? -1 : kb / 1024;
}

// The CPU time of a process so far, in ms: all its threads, those that have ended included, from the
// scheduler's nanosecond counters.
double cpuMs(long pid)
{
    clockid_t clock;
    timespec used{};
    if (clock_getcpuclockid(pid_t(pid), &clock) != 0 || clock_gettime(clock, &used) != 0)
        return -1;
    return double(used.tv_sec) * 1e3 + double(used.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fputs("用法: juyoutai-maptime PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fputs("无法连接 X 显示\n", stderr);
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    // Every window mapped on the root is reported to us from now on.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    const double start = nowMs();
    const long child = Process::start(argv + 1);
    if (child < 0) {
        std::fputs("无法启动程序\n", stderr);
        return 1;
    }
    double mapped = -1;
    double cpuAtMap = -1;
    while (mapped < 0) {
        xcb_generic_event_t *event = xcb_wait_for_event(x);
        if (!event)
            break;
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
            const double at = nowMs() - start;
            // Helper windows of a toolkit are a few pixels; the program's window is what counts.
            xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(x, xcb_get_geometry(x, map->window), nullptr);
            if (!map->override_redirect && geometry && geometry->width > 16 && geometry->height > 16) {
                mapped = at;
                cpuAtMap = cpuMs(child);
            }
            std::free(geometry);
        }
        std::free(event);
    }
    double peak = -1;
    // JYT_MAPTIME_AT_MAP=1 ends the program at once, for a profile of its start-up alone.
    if (mapped >= 0 && !std::getenv("JYT_MAPTIME_AT_MAP")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        peak = peakResidentMb(child);
    }
    Process::terminate(child);
    xcb_disconnect(x);
    if (mapped < 0)
        return 1;
    std::printf("%.1f %.1f %.1f\n", mapped, peak, cpuAtMap);
    return 0;
}
