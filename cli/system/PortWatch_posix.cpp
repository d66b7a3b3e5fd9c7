// CPortWatch on Linux: inotify on the folder of each port given (its link or node comes, goes or changes
// its permissions there), or on the /dev folder and sysfs's tty class for detected ports; a folder that
// does not exist yet is watched through the nearest one above it. The POSIX side of the port-watch seam.
#include "cli/system/PortWatch.h"

#include "cli/system/Ports.h"
#include "platform/FdOwner.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

namespace {

// Entries that come, go, are renamed or change their permissions or owner; the folder itself going away.
constexpr uint32_t WATCHED = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Events that say nothing of an entry but that the watch itself must be made again.
constexpr uint32_t REWATCH = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW;
// While a folder cannot be watched, news is given this often: as often as a station without news looks.
constexpr int64_t LOST_NEWS_MS = 500;

// A folder and the name of interest in it; an empty name: every entry.
struct Target {
    std::string Folder;
    std::string Name;
};

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The nearest folder of `target` that exists, and the name in it that leads towards the target.
Target Existing(Target target) {
    while (!IsFolder(target.Folder) && target.Folder != "/" && target.Folder != ".") {
        target = {Parent(target.Folder), LastPart(target.Folder)};
    }
    return target;
}

} // namespace

struct CPortWatch::State {
    CFd Notify;
    std::vector<Target> Targets;
    std::map<int, std::set<std::string>> Names; // watch -> names of interest; an empty name: every entry
    bool Lost = false;                          // a folder could not be watched again

    // Watches the nearest existing folder of every target; watches no longer needed are dropped.
    bool Arm() {
        std::map<int, std::set<std::string>> names;
        for (const Target& wanted : Targets) {
            const Target target = Existing(wanted);
            const int watch = inotify_add_watch(Notify.Get(), target.Folder.c_str(), WATCHED);
            if (watch < 0) {
                return false;
            }
            names[watch].insert(target.Name);
        }
        for (const auto& [watch, unused] : Names) {
            if (names.count(watch) == 0) {
                inotify_rm_watch(Notify.Get(), watch);
            }
        }
        Names = std::move(names);
        return true;
    }

    // One event: whether it is news of a port, and whether the watches must be made again.
    bool Concerns(const inotify_event& event, bool* rewatch) const {
        const auto watched = Names.find(event.wd);
        // A watch dropped by Arm says so too: that is no news.
        if ((event.mask & REWATCH) && (watched != Names.end() || (event.mask & IN_Q_OVERFLOW))) {
            *rewatch = true;
            return true;
        }
        if (watched == Names.end() || event.len == 0) {
            return false;
        }
        const std::set<std::string>& names = watched->second;
        const bool concerns = names.count(std::string()) > 0 || names.count(event.name) > 0;
        // A folder on the way to a port's folder came or went.
        *rewatch = *rewatch || (concerns && (event.mask & IN_ISDIR) != 0);
        return concerns;
    }
};

CPortWatch::CPortWatch() : m_state(std::make_unique<State>()) {}

CPortWatch::~CPortWatch() = default;

bool CPortWatch::Start(const std::vector<std::string>& given) {
    State& state = *m_state;
    state.Notify.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    for (const std::string& port : given) {
        state.Targets.push_back({Parent(port), LastPart(port)});
    }
    if (given.empty()) {
        for (const std::string& folder : DetectionFolders()) {
            state.Targets.push_back({folder, std::string()});
        }
    }
    if (!state.Notify.IsOpen() || !state.Arm()) {
        state.Notify.Reset();
        return false;
    }
    return true;
}

void CPortWatch::AddTo(CWaitList* waits) const {
    if (m_state->Notify.IsOpen()) {
        waits->Add(m_state->Notify.Get());
    }
    if (m_state->Lost) {
        waits->LimitMs(LOST_NEWS_MS);
    }
}

// Events are read whole, however many: the kernel hands out only whole events.
bool CPortWatch::TakeNews() {
    State& state = *m_state;
    if (!state.Notify.IsOpen()) {
        return false;
    }
    bool news = state.Lost;
    bool rewatch = false;
    alignas(inotify_event) char block[4096];
    ssize_t got = 0;
    while ((got = read(state.Notify.Get(), block, sizeof block)) > 0 || (got < 0 && errno == EINTR)) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(block + at);
            news = state.Concerns(*event, &rewatch) || news;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (rewatch || state.Lost) {
        state.Lost = !state.Arm();
    }
    return news;
}
