// Start-up time, memory and idle load of desktop programs, measured from
// outside on the current X display ($DISPLAY, with a window manager).
//
//   bench_footprint [--runs N] [--settle S] [--idle S] [--idle-only LABEL]...
//                   [--timeout S] --subject LABEL MODE TITLE PROGRAM [--subject ...]
//
// LABEL names the figures: "-" gives startup_ms, rss_mb, ...; "empty_qt"
// gives startup_ms_empty_qt, ... MODE is "copy" (each run starts a fresh copy
// of PROGRAM, and of the modules beside it (lib*.so), in a new temporary
// directory, so a program that keeps its files next to itself starts with
// none) or "inplace". TITLE is (a part of) the
// title of the window to wait for; when empty, the first window of the process
// to be mapped counts. The idle load is measured for every subject, or only for
// those named with --idle-only.
//
// Method:
//   startup_ms  The steady clock is read right before fork(); the child execs
//               the program. This process watches the root window for
//               CreateNotify, selects StructureNotify on every new top-level
//               window and takes the clock when a window that carries the
//               child's _NET_WM_PID (and the title, if given) gets MapNotify,
//               i.e. when the window manager has mapped it on screen. (A
//               window found already mapped when first looked at counts at
//               that moment.) Median of N runs; the subjects take turns run by
//               run, after one uncounted warm-up start of each.
//   rss_mb      VmRSS of /proc/PID/status, S seconds after the window was
//               mapped (default 5), in MiB; median of the N runs.
//   idle_cpu_pct        In the last run, after the RSS reading, the process
//                       is left alone for the idle time (default 60 s):
//                       utime+stime of /proc/PID/stat (all its threads,
//                       ended ones included) over that time, as a percentage
//                       of one core.
//   idle_wakeups_per_s  Over the same time: voluntary + nonvoluntary context
//                       switches summed over /proc/PID/task/*/status, looked
//                       at every 250 ms (threads started meanwhile count in
//                       full), per second.
//   second_start_ms  With --second-start N, for the first subject: one copy is
//                    started and its window sent to the tray (minimized, then
//                    withdrawn); the clock is read right before fork() of a
//                    second copy with no arguments, and again at the MapNotify
//                    of the first copy's window, which the second copy asked
//                    to be shown. Median of N.
// A comment line adds the CPU time to the nanosecond (schedstat of the
// threads), as /proc/PID/stat counts in clock ticks of 10 ms.
// Only one measured program runs at a time.

#include "stats.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using benchstats::median;
using benchstats::percentile;

struct Subject
{
    std::string label;
    bool copy = false;
    std::string title;
    std::string program;

    std::string figure(const std::string& base) const
    {
        return label == "-" ? base : base + "_" + label;
    }
};

struct Options
{
    int runs = 5;
    double settleS = 5;
    double idleS = 60;
    double timeoutS = 20;
    int secondStarts = 0;
    std::vector<Subject> subjects;
    std::vector<std::string> idleOnly;

    bool measuresIdle(const Subject& s) const
    {
        return idleS > 0 && (idleOnly.empty() || std::find(idleOnly.begin(), idleOnly.end(),
                                                           s.label) != idleOnly.end());
    }
};

[[noreturn]] void usage(const char* why)
{
    std::fprintf(
        stderr,
        "bench_footprint: %s\n"
        "usage: bench_footprint [--runs N] [--settle S] [--idle S] [--idle-only LABEL]...\n"
        "       [--timeout S] [--second-start N]\n"
        "       --subject LABEL copy|inplace TITLE PROGRAM [--subject ...]\n",
        why);
    std::exit(2);
}

double number(const char* text, const char* what)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < 0) {
        const std::string why = std::string(what) + " needs a number >= 0, not \"" + text + "\"";
        usage(why.c_str());
    }
    return v;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--runs" && hasValue) {
            o.runs = int(number(argv[++i], "--runs"));
            if (o.runs < 1)
                usage("--runs must be at least 1");
        } else if (a == "--settle" && hasValue) {
            o.settleS = number(argv[++i], "--settle");
        } else if (a == "--idle" && hasValue) {
            o.idleS = number(argv[++i], "--idle");
        } else if (a == "--idle-only" && hasValue) {
            o.idleOnly.push_back(argv[++i]);
        } else if (a == "--second-start" && hasValue) {
            o.secondStarts = int(number(argv[++i], "--second-start"));
        } else if (a == "--timeout" && hasValue) {
            o.timeoutS = number(argv[++i], "--timeout");
        } else if (a == "--subject" && i + 4 < argc) {
            Subject s;
            s.label = argv[i + 1];
            const std::string mode = argv[i + 2];
            if (mode != "copy" && mode != "inplace")
                usage("the mode of a subject is copy or inplace");
            s.copy = mode == "copy";
            s.title = argv[i + 3];
            s.program = argv[i + 4];
            if (s.label.empty() || s.program.empty())
                usage("a subject needs a label and a program");
            if (access(s.program.c_str(), X_OK) != 0) {
                const std::string why = "cannot run " + s.program;
                usage(why.c_str());
            }
            o.subjects.push_back(s);
            i += 4;
        } else {
            const std::string why = "unknown or incomplete argument " + a;
            usage(why.c_str());
        }
    }
    if (o.subjects.empty())
        usage("no --subject given");
    return o;
}

std::string join(const std::vector<double>& v, int decimals)
{
    std::string s;
    char buf[64];
    for (double x : v) {
        std::snprintf(buf, sizeof buf, "%s%.*f", s.empty() ? "" : " ", decimals, x);
        s += buf;
    }
    return s;
}

// ---- /proc -------------------------------------------------------------------

std::string readFile(const std::string& path)
{
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// A "Name:   value" field of a /proc status file; nullopt when absent.
std::optional<long long> statusField(const std::string& status, const std::string& name)
{
    const std::string key = "\n" + name + ":";
    const size_t at = ("\n" + status).find(key);
    if (at == std::string::npos)
        return std::nullopt;
    return std::atoll(status.c_str() + at + key.size() - 1);
}

// utime + stime of the whole process, in clock ticks.
std::optional<long long> cpuTicks(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')'); // the command name may hold blanks
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    // Fields from the state (3rd) on; utime and stime are the 14th and 15th.
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return utime + stime;
}

struct ThreadCounts
{
    long long switches = 0; // voluntary + nonvoluntary context switches
    long long runNs = 0;    // time on a CPU (schedstat), to the nanosecond
};

// The counts of each thread of a process, by thread id.
std::map<long, ThreadCounts> countsByThread(pid_t pid)
{
    std::map<long, ThreadCounts> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string status = readFile(entry.path().string() + "/status");
        const auto v = statusField(status, "voluntary_ctxt_switches");
        const auto nv = statusField(status, "nonvoluntary_ctxt_switches");
        if (!v || !nv)
            continue; // the thread has just ended
        ThreadCounts c;
        c.switches = *v + *nv;
        c.runNs = std::atoll(readFile(entry.path().string() + "/schedstat").c_str());
        out[std::atol(entry.path().filename().c_str())] = c;
    }
    return out;
}

std::optional<double> rssMiB(pid_t pid)
{
    const auto kb = statusField(readFile("/proc/" + std::to_string(pid) + "/status"), "VmRSS");
    if (!kb)
        return std::nullopt;
    return double(*kb) / 1024.0;
}

// Ctrl+C or a stop request ends the measuring early, through this exception,
// so that the programs started are stopped and their copies removed.
volatile std::sig_atomic_t g_interrupted = 0;
struct Interrupted
{};

void onSignal(int)
{
    g_interrupted = 1;
}

void checkInterrupted()
{
    if (g_interrupted)
        throw Interrupted{};
}

void sleepUntil(Clock::time_point end)
{
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        checkInterrupted();
        std::this_thread::sleep_for(
            std::min<Clock::duration>(end - now, std::chrono::milliseconds(50)));
    }
    checkInterrupted();
}

void sleepFor(double seconds)
{
    sleepUntil(Clock::now() +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

// ---- X -----------------------------------------------------------------------

class Display
{
public:
    Display()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c)) {
            std::fprintf(stderr, "bench_footprint: cannot open the X display \"%s\"\n",
                         std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
            std::exit(1);
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_pidAtom = atom("_NET_WM_PID");
        m_nameAtom = atom("_NET_WM_NAME");
        m_utf8Atom = atom("UTF8_STRING");
        xcb_flush(m_c);
    }
    ~Display() { xcb_disconnect(m_c); }

    // Events of earlier runs are of no interest.
    void discardEvents()
    {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            std::free(e);
    }

    // The window of `pid` that the window manager manages (_NET_CLIENT_LIST):
    // its main window, not its tray icon; 0 when there is none.
    xcb_window_t clientWindowOf(pid_t pid)
    {
        const std::string list = property(m_root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
        for (size_t i = 0; i + 4 <= list.size(); i += 4) {
            xcb_window_t w = 0;
            std::memcpy(&w, list.data() + i, 4);
            if (matches(w, pid, {}))
                return w;
        }
        return 0;
    }

    // Waits for MapNotify of `w`: the time it came, or nullopt.
    std::optional<Clock::time_point> waitForMap(xcb_window_t w, Clock::time_point deadline)
    {
        const int fd = xcb_get_file_descriptor(m_c);
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const auto seen = Clock::now();
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                                    reinterpret_cast<xcb_map_notify_event_t*>(e)->window == w;
                std::free(e);
                if (mapped)
                    return seen;
            }
            if (g_interrupted)
                throw Interrupted{};
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
        }
        return std::nullopt;
    }

    // Waits until `w` is unmapped and withdrawn (WM_STATE gone or 0, as for a
    // window that went to the tray); false on timeout.
    bool waitForWithdrawn(xcb_window_t w, Clock::time_point deadline)
    {
        const xcb_atom_t wmState = atom("WM_STATE");
        while (Clock::now() < deadline) {
            const std::string state = property(w, wmState, wmState);
            if (!isMapped(w) && (state.size() < 4 || state[0] == 0))
                return true;
            if (g_interrupted)
                throw Interrupted{};
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Waits until a window of `pid` (titled `title`, unless empty) is mapped;
    // the time it was seen mapped, or nullopt on timeout or when `alive`
    // says the process has gone.
    template <typename Alive>
    std::optional<Clock::time_point> waitForMappedWindow(pid_t pid, const std::string& title,
                                                         Clock::time_point deadline, Alive alive)
    {
        const int fd = xcb_get_file_descriptor(m_c);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const auto seen = Clock::now();
                std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> hold(e, &std::free);
                switch (e->response_type & 0x7f) {
                case XCB_CREATE_NOTIFY: {
                    const auto* c = reinterpret_cast<xcb_create_notify_event_t*>(e);
                    if (c->parent != m_root)
                        break;
                    watch(c->window);
                    if (isMapped(c->window) && matches(c->window, pid, title))
                        return seen;
                    break;
                }
                case XCB_MAP_NOTIFY: {
                    const auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                    if (matches(m->window, pid, title))
                        return seen;
                    break;
                }
                default:
                    break;
                }
            }
            if (xcb_connection_has_error(m_c)) {
                std::fprintf(stderr, "bench_footprint: lost the X connection\n");
                std::exit(1);
            }
            if (g_interrupted)
                throw Interrupted{};
            const auto now = Clock::now();
            if (now >= deadline || !alive())
                return std::nullopt;
            pollfd p{fd, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            poll(&p, 1, int(std::clamp<long long>(left, 1, 50)));
        }
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    void watch(xcb_window_t w)
    {
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, w, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }

    bool isMapped(xcb_window_t w)
    {
        auto* r = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr);
        const bool mapped = r && r->map_state != XCB_MAP_STATE_UNMAPPED;
        std::free(r);
        return mapped;
    }

    std::string property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type)
    {
        auto* r =
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, name, type, 0, 4096), nullptr);
        std::string value;
        if (r && r->type == type)
            value.assign(static_cast<const char*>(xcb_get_property_value(r)),
                         size_t(xcb_get_property_value_length(r)));
        std::free(r);
        return value;
    }

    bool matches(xcb_window_t w, pid_t pid, const std::string& title)
    {
        const std::string p = property(w, m_pidAtom, XCB_ATOM_CARDINAL);
        if (p.size() != 4)
            return false;
        uint32_t windowPid = 0;
        std::memcpy(&windowPid, p.data(), 4);
        if (pid_t(windowPid) != pid)
            return false;
        if (title.empty())
            return true;
        // Part of the title: a toolkit may add the application's name to it.
        return property(w, m_nameAtom, m_utf8Atom).find(title) != std::string::npos ||
               property(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING).find(title) != std::string::npos;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = 0, m_nameAtom = 0, m_utf8Atom = 0;
};

// ---- runs --------------------------------------------------------------------

class Run
{
public:
    // `inDir`: run the copy that an earlier run made there, not a new one.
    Run(const Subject& s, const fs::path& logDir, const fs::path& inDir = {})
        : m_subject(s)
    {
        std::string exe = s.program;
        if (!inDir.empty()) {
            exe = (inDir / fs::path(s.program).filename()).string();
            m_shared = inDir;
        } else if (s.copy) {
            char dirTemplate[] = "/tmp/hybench-XXXXXX";
            if (!mkdtemp(dirTemplate)) {
                std::perror("bench_footprint: mkdtemp");
                std::exit(1);
            }
            m_dir = dirTemplate;
            const fs::path copy = m_dir / fs::path(s.program).filename();
            std::error_code ec;
            fs::copy_file(s.program, copy, ec);
            if (ec) {
                std::fprintf(stderr, "bench_footprint: cannot copy %s: %s\n", s.program.c_str(),
                             ec.message().c_str());
                std::exit(1);
            }
            exe = copy.string();
            // With the modules it loads from its own folder (lib*.so beside it).
            for (const auto& entry :
                 fs::directory_iterator(fs::path(s.program).parent_path(), ec)) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with("lib") && name.ends_with(".so"))
                    fs::copy_file(entry.path(), m_dir / name, ec);
            }
        }
        m_log = logDir / (s.label == "-" ? "main.log" : s.label + ".log");
        m_started = Clock::now();
        m_pid = fork();
        if (m_pid < 0) {
            std::perror("bench_footprint: fork");
            std::exit(1);
        }
        if (m_pid == 0) {
            const int out = open(m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            const fs::path& cwd = m_shared.empty() ? m_dir : m_shared;
            if (!cwd.empty() && chdir(cwd.c_str()) != 0)
                _exit(126);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    ~Run()
    {
        stop();
        if (!m_dir.empty()) {
            std::error_code ec;
            fs::remove_all(m_dir, ec);
        }
    }

    pid_t pid() const { return m_pid; }
    Clock::time_point started() const { return m_started; }
    const fs::path& dir() const { return m_dir; }

    // Waits for the process to end by itself; its exit code, or -1.
    int waitForExit(double timeoutS)
    {
        const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(timeoutS));
        int status = 0;
        while (Clock::now() < end) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return -1;
    }

    bool alive()
    {
        if (m_exited)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            std::fprintf(stderr, "bench_footprint: %s ended by itself (%s %d); see %s\n",
                         m_subject.program.c_str(), WIFEXITED(status) ? "exit" : "signal",
                         WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status), m_log.c_str());
        }
        return !m_exited;
    }

    void stop()
    {
        if (m_exited)
            return;
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 300; ++i) { // 3 s
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_exited = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_exited = true;
    }

private:
    const Subject& m_subject;
    fs::path m_dir;
    fs::path m_shared;
    fs::path m_log;
    pid_t m_pid = -1;
    bool m_exited = false;
    Clock::time_point m_started;
};

struct Figures
{
    std::vector<double> startupMs;
    std::vector<double> rss;
    std::optional<double> cpuPct;
    std::optional<double> wakeupsPerS;
    std::optional<double> cpuPctPrecise; // from the threads' schedstat
    double idleSeconds = 0;
    int threadsGone = 0;
    int threadsBorn = 0;
    bool failed = false;
};

// Starts one run and returns the start-up time in ms, or nullopt.
std::optional<double> launch(Display& x, Run& run, const Subject& s, double timeoutS)
{
    x.discardEvents();
    const auto deadline = run.started() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(timeoutS));
    const auto mapped =
        x.waitForMappedWindow(run.pid(), s.title, deadline, [&run] { return run.alive(); });
    if (!mapped) {
        std::fprintf(stderr, "bench_footprint: no window%s%s%s of %s appeared within %.0f s\n",
                     s.title.empty() ? "" : " \"", s.title.c_str(), s.title.empty() ? "" : "\"",
                     s.program.c_str(), timeoutS);
        return std::nullopt;
    }
    return std::chrono::duration<double, std::milli>(*mapped - run.started()).count();
}

// The whole process's CPU time comes from /proc/PID/stat, which keeps the time
// of ended threads. The switches are counted per thread, looking every 250 ms:
// a thread that ends between two looks loses its last quarter second; a
// thread born meanwhile counts from zero.
void measureIdle(Run& run, double idleS, Figures& f)
{
    std::map<long, ThreadCounts> first = countsByThread(run.pid());
    std::map<long, ThreadCounts> last = first;
    const auto cpu0 = cpuTicks(run.pid());
    const auto t0 = Clock::now();
    const auto end =
        t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(idleS));
    std::map<long, ThreadCounts> now;
    for (;;) {
        sleepUntil(std::min(end, Clock::now() + std::chrono::milliseconds(250)));
        now = countsByThread(run.pid());
        for (const auto& [tid, c] : now)
            last[tid] = c;
        if (Clock::now() >= end)
            break;
    }
    const auto cpu1 = cpuTicks(run.pid());
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!run.alive() || !cpu0 || !cpu1 || elapsed <= 0)
        return;
    f.cpuPct = 100.0 * double(*cpu1 - *cpu0) / double(sysconf(_SC_CLK_TCK)) / elapsed;
    long long switches = 0, runNs = 0;
    for (const auto& [tid, c] : last) {
        const auto base = first.find(tid);
        const ThreadCounts from = base == first.end() ? ThreadCounts{} : base->second;
        switches += c.switches - from.switches;
        runNs += c.runNs - from.runNs;
        if (!now.count(tid))
            ++f.threadsGone;
        if (base == first.end())
            ++f.threadsBorn;
    }
    f.wakeupsPerS = double(switches) / elapsed;
    f.cpuPctPrecise = 100.0 * double(runNs) / 1e9 / elapsed;
    f.idleSeconds = elapsed;
}

void print(const char* name, double value, const char* unit, int decimals)
{
    if (std::isnan(value))
        std::printf("%s: nan %s\n", name, unit);
    else
        std::printf("%s: %.*f %s\n", name, decimals, value, unit);
}

std::vector<Figures> measure(const Options& o, Display& x, const fs::path& logDir)
{
    std::vector<Figures> figs(o.subjects.size());
    for (size_t i = 0; i < o.subjects.size(); ++i) { // warm-up: caches, fonts
        Run run(o.subjects[i], logDir);
        const auto ms = launch(x, run, o.subjects[i], o.timeoutS);
        if (!ms)
            figs[i].failed = true;
        else
            std::printf("# %s: warm-up start %.1f ms (not counted)\n", o.subjects[i].label.c_str(),
                        *ms);
        std::fflush(stdout);
    }
    for (int r = 0; r < o.runs; ++r) {
        const bool last = r + 1 == o.runs;
        for (size_t i = 0; i < o.subjects.size(); ++i) {
            if (figs[i].failed)
                continue;
            const Subject& s = o.subjects[i];
            Run run(s, logDir);
            const auto ms = launch(x, run, s, o.timeoutS);
            if (!ms) {
                figs[i].failed = true;
                continue;
            }
            figs[i].startupMs.push_back(*ms);
            sleepFor(o.settleS);
            if (const auto rss = rssMiB(run.pid()); rss && run.alive())
                figs[i].rss.push_back(*rss);
            if (last && o.measuresIdle(s))
                measureIdle(run, o.idleS, figs[i]);
        }
    }
    return figs;
}

// Second starts of the first subject while one copy runs with its window in
// the tray: from the fork of the second copy to the first's window mapped.
std::vector<double> measureSecondStarts(const Options& o, Display& x, const fs::path& logDir)
{
    std::vector<double> ms;
    const Subject& s = o.subjects.front();
    Run first(s, logDir);
    if (!launch(x, first, s, o.timeoutS))
        return ms;
    sleepFor(1); // the tray icon is up
    const xcb_window_t window = x.clientWindowOf(first.pid());
    for (int r = 0; r < o.secondStarts; ++r) {
        const std::string minimize = "xdotool windowminimize " + std::to_string(window);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        const int minimized = std::system(minimize.c_str());
        if (minimized != 0 || !x.waitForWithdrawn(window, deadline)) {
            std::fprintf(stderr, "bench_footprint: window 0x%x did not go to the tray (%s)\n",
                         window, minimized != 0 ? "xdotool failed" : "still mapped");
            return {};
        }
        sleepFor(0.3); // in the tray for good
        x.discardEvents();
        Run second(s, logDir, first.dir());
        const auto shown =
            x.waitForMappedWindow(first.pid(), s.title, second.started() + std::chrono::seconds(5),
                                  [&first] { return first.alive(); });
        const int rc = second.waitForExit(5);
        if (!shown || rc != 0) {
            std::fprintf(stderr, "bench_footprint: second start: %s, exit %d\n",
                         shown ? "window shown" : "window not shown", rc);
            return {};
        }
        ms.push_back(std::chrono::duration<double, std::milli>(*shown - second.started()).count());
        // A minimize soon after a restore is taken for one asked before it.
        sleepFor(1);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Display x;
    const fs::path logDir =
        fs::temp_directory_path() / ("hybench-logs-" + std::to_string(getpid()));
    fs::create_directories(logDir);

    std::vector<Figures> figs;
    std::vector<double> secondStarts;
    try {
        figs = measure(o, x, logDir);
        if (o.secondStarts > 0)
            secondStarts = measureSecondStarts(o, x, logDir);
    } catch (const Interrupted&) {
        std::error_code ec;
        fs::remove_all(logDir, ec);
        std::fprintf(stderr, "bench_footprint: interrupted\n");
        return 130;
    }

    bool allOk = true;
    for (size_t i = 0; i < o.subjects.size(); ++i) {
        const Subject& s = o.subjects[i];
        const Figures& f = figs[i];
        allOk = allOk && !f.failed;
        std::printf("# %s (%s): start-up runs %s ms; RSS %s MiB\n", s.label.c_str(),
                    s.program.c_str(), join(f.startupMs, 1).c_str(), join(f.rss, 1).c_str());
        if (f.cpuPctPrecise)
            std::printf("# %s: idle %.1f s: CPU %.4f %% by the threads' schedstat (stat counts "
                        "in steps of %.3f %%); %d thread(s) started, %d ended meanwhile\n",
                        s.label.c_str(), f.idleSeconds, *f.cpuPctPrecise,
                        100.0 / double(sysconf(_SC_CLK_TCK)) / f.idleSeconds, f.threadsBorn,
                        f.threadsGone);
        print(s.figure("startup_ms").c_str(), f.failed ? std::nan("") : median(f.startupMs), "ms",
              1);
        print(s.figure("rss_mb").c_str(), f.failed ? std::nan("") : median(f.rss), "MiB", 1);
        if (o.measuresIdle(s)) {
            print(s.figure("idle_cpu_pct").c_str(), f.cpuPct.value_or(std::nan("")), "%", 3);
            print(s.figure("idle_wakeups_per_s").c_str(), f.wakeupsPerS.value_or(std::nan("")),
                  "/s", 2);
        }
    }
    if (o.secondStarts > 0) {
        std::printf("# second starts: %s ms\n", join(secondStarts, 1).c_str());
        print("second_start_ms", secondStarts.empty() ? std::nan("") : median(secondStarts), "ms",
              1);
        allOk = allOk && !secondStarts.empty();
    }
    if (!allOk)
        std::printf("# logs of the programs: %s\n", logDir.c_str());
    else {
        std::error_code ec;
        fs::remove_all(logDir, ec);
    }
    return allOk ? 0 : 1;
}
