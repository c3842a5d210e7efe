// Start-up probe: forks the command, waits for a top-level window with the given title to be
// mapped (milliseconds from fork), optionally clicks points of the window and times each click
// to the first paint it causes, then prints the resident memory of the process and of its
// helper processes and ends them.
//
// usage: map_timer TITLE SETTLE_MS SCREENSHOT.png|- CLICKS|- -- command args...
// CLICKS is "x,y;x,y;..." in window coordinates, or a region to watch and clicks on it:
// "rx,ry,rw,rh@x,y;x,y" waits 1.5 s after the map, gives the window the focus as a window
// manager would, prints the memory ("before_rss_kb"), then clicks each point and prints how
// long the watched region took to show something new ("click_paint_ms"): a region that differs
// from its look before the click and is not one flat colour, so a loading page or an empty
// background does not count.
#include <QImage>
#include <QString>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

double nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long fieldKb(const std::string& path, const char* key)
{
    std::ifstream file(path);
    const size_t length = std::strlen(key);
    for (std::string line; std::getline(file, line);)
        if (line.compare(0, length, key) == 0)
            return std::atol(line.c_str() + length);
    return 0;
}

// The process and everything it started (the web engine's zygotes and renderer).
std::vector<int> processTree(int root)
{
    std::map<int, std::vector<int>> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream file("/proc/" + std::string(entry->d_name) + "/stat");
        std::string stat;
        std::getline(file, stat);
        const auto end = stat.rfind(')');
        if (end == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(end + 2));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        children[parent].push_back(pid);
    }
    if (proc)
        closedir(proc);
    std::vector<int> tree { root };
    for (size_t i = 0; i < tree.size(); ++i)
        for (int child : children[tree[i]])
            tree.push_back(child);
    return tree;
}

// CPU time of all threads so far, and of the main thread alone.
std::pair<double, double> cpuMs(int pid)
{
    double all = 0;
    double main = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream file(tasks + "/" + entry->d_name + "/schedstat");
        double ns = 0;
        file >> ns;
        all += ns / 1e6;
        if (std::atoi(entry->d_name) == pid)
            main = ns / 1e6;
    }
    if (dir)
        closedir(dir);
    return { all, main };
}

void printMemory(const char* prefix, int pid)
{
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    long treeRss = 0;
    long treePss = 0;
    const std::vector<int> tree = processTree(pid);
    for (int member : tree) {
        const std::string rollup = "/proc/" + std::to_string(member) + "/smaps_rollup";
        treeRss += fieldKb(rollup, "Rss:");
        treePss += fieldKb(rollup, "Pss:");
    }
    std::printf("%srss_kb %ld hwm_kb %ld processes %zu tree_rss_kb %ld tree_pss_kb %ld\n", prefix,
        fieldKb(status, "VmRSS:"), fieldKb(status, "VmHWM:"), tree.size(), treeRss, treePss);
    std::fflush(stdout);
}

bool hasTitle(Display* display, Window window, const char* title)
{
    char* name = nullptr;
    const bool same = XFetchName(display, window, &name) && name && std::strcmp(name, title) == 0;
    if (name)
        XFree(name);
    return same;
}

// Qt may recreate the native window, so look it up again.
Window findMapped(Display* display, Window root, const char* title, Window fallback)
{
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = fallback;
    XQueryTree(display, root, &rootReturn, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes {};
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable
            && hasTitle(display, children[i], title))
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

struct Point {
    int x = 0;
    int y = 0;
};

std::pair<int, int> origin(Display* display, Window root, Window window)
{
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    return { x, y };
}

std::vector<unsigned long> grab(Display* display, Window root, int x, int y, int width, int height)
{
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display, root, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.reserve(size_t(width) * size_t(height));
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            pixels.push_back(XGetPixel(image, column, row) & 0xffffffu);
    XDestroyImage(image);
    return pixels;
}

bool flat(const std::vector<unsigned long>& pixels)
{
    for (unsigned long pixel : pixels)
        if (pixel != pixels.front())
            return false;
    return true;
}

void screenshot(Display* display, Window root, Window window, const char* path)
{
    XWindowAttributes attributes {};
    if (!XGetWindowAttributes(display, window, &attributes))
        return;
    const auto [x, y] = origin(display, root, window);
    const std::vector<unsigned long> pixels = grab(display, root, x, y, attributes.width, attributes.height);
    if (pixels.empty())
        return;
    QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int row = 0; row < attributes.height; ++row)
        for (int column = 0; column < attributes.width; ++column)
            picture.setPixel(column, row,
                uint(pixels[size_t(row) * size_t(attributes.width) + size_t(column)]) | 0xff000000u);
    picture.save(QString::fromLocal8Bit(path));
}

// Clicks a point of the window and waits until the region shows a new, non-flat picture.
double clickToPaint(Display* display, Window root, Window window, Point point, const int region[4])
{
    const auto [x, y] = origin(display, root, window);
    const std::vector<unsigned long> before
        = grab(display, root, x + region[0], y + region[1], region[2], region[3]);
    XTestFakeMotionEvent(display, -1, x + point.x, y + point.y, 0);
    XSync(display, False);
    const double start = nowMs();
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XFlush(display);
    while (nowMs() - start < 20000) {
        const std::vector<unsigned long> now
            = grab(display, root, x + region[0], y + region[1], region[2], region[3]);
        if (!now.empty() && now != before && !flat(now))
            return nowMs() - start;
        usleep(1000);
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 7 || std::strcmp(argv[5], "--") != 0) {
        std::fprintf(stderr, "usage: map_timer TITLE SETTLE_MS SCREENSHOT|- CLICKS|- -- command...\n");
        return 2;
    }
    const char* title = argv[1];
    const int settleMs = std::atoi(argv[2]);
    const char* shot = argv[3];
    std::string clicks = std::strcmp(argv[4], "-") == 0 ? std::string() : std::string(argv[4]);
    int region[4] = { 0, 0, 0, 0 };
    if (const auto at = clicks.find('@'); at != std::string::npos) {
        std::sscanf(clicks.c_str(), "%d,%d,%d,%d", &region[0], &region[1], &region[2], &region[3]);
        clicks = clicks.substr(at + 1);
    }
    std::vector<Point> points;
    for (std::istringstream list(clicks); std::getline(list, clicks, ';');) {
        Point point;
        if (std::sscanf(clicks.c_str(), "%d,%d", &point.x, &point.y) == 2)
            points.push_back(point);
    }
    // Windows vanish while we ask for their names; that is no reason to stop.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        execvp(argv[6], argv + 6);
        _exit(127);
    }
    Window window = 0;
    double mapped = 0;
    while (!window) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "the program ended before its window was shown\n");
            return 1;
        }
        while (!window && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && hasTitle(display, event.xmap.window, title)) {
                mapped = nowMs();
                window = event.xmap.window;
            }
        }
        if (!window) {
            fd_set descriptors;
            FD_ZERO(&descriptors);
            FD_SET(ConnectionNumber(display), &descriptors);
            timeval wait { 0, 2000 };
            select(ConnectionNumber(display) + 1, &descriptors, nullptr, nullptr, &wait);
        }
        if (nowMs() - start > 30000) {
            std::fprintf(stderr, "no window after 30 s\n");
            kill(-pid, SIGKILL);
            return 1;
        }
    }
    const auto [cpu, mainCpu] = cpuMs(pid);
    XWindowAttributes attributes {};
    XGetWindowAttributes(display, window, &attributes);
    std::printf("map_ms %.1f cpu_ms %.1f main_cpu_ms %.1f size %d %d\n", mapped - start, cpu, mainCpu,
        attributes.width, attributes.height);
    printMemory("at_map_", pid);

    if (!points.empty()) {
        usleep(1500 * 1000);
        // A window manager gives the window the focus when it maps, also when the app makes its
        // window anew (as it does when a web view first joins it). Without one the first click
        // would, and the window turning active would repaint all of it within that click.
        window = findMapped(display, root, title, window);
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
        usleep(300 * 1000);
        printMemory("before_", pid);
        for (size_t i = 0; i < points.size(); ++i) {
            window = findMapped(display, root, title, window);
            std::printf(
                "click_paint_ms %zu %.1f\n", i + 1, clickToPaint(display, root, window, points[i], region));
            std::fflush(stdout);
            usleep(1000 * 1000);
        }
    }
    usleep(useconds_t(settleMs) * 1000);
    printMemory("", pid);
    if (std::strcmp(shot, "-") != 0)
        screenshot(display, root, findMapped(display, root, title, window), shot);

    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) != pid; ++i)
        usleep(50 * 1000);
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, WNOHANG);
    return 0;
}
