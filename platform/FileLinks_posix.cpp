// FollowOwnLinks and DirectoryOf on POSIX: lstat, stat of the link's folder and readlink, hop by hop.
#include "platform/FileLinks.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many as the kernel follows in one path.
constexpr int MAX_HOPS = 40;

// A link that the kernel would not follow for this user: in a sticky folder that everyone may write,
// owned by neither this user nor the folder's owner.
bool Planted(const struct stat& link, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

} // namespace

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool FollowOwnLinks(const std::string& path, std::string* target, int32_t* error) {
    std::string current = path;
    for (int hop = 0; hop < MAX_HOPS; ++hop) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            *target = current;
            return true;
        }
        const std::string folder = DirectoryOf(current);
        struct stat folderInfo {};
        char to[PATH_MAX];
        const ssize_t length =
            ::stat(folder.c_str(), &folderInfo) == 0 ? ::readlink(current.c_str(), to, sizeof to - 1) : -1;
        if (length < 0) {
            *error = errno;
            return false;
        }
        if (Planted(link, folderInfo)) {
            *error = PLANTED_LINK_ERROR;
            return false;
        }
        to[length] = '\0';
        current = to[0] == '/' ? std::string(to) : folder + "/" + to;
    }
    *error = ELOOP;
    return false;
}
