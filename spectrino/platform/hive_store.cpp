#include "hive_store.h"

#if !defined(_WIN32)

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace spectrino::platform {
namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// One line per failed save, naming the hive the user knows (not the temporary file) and why.
bool Fail(const std::string& hive, std::string_view what, const std::string& file) {
    const int error = errno;
    DebugOutput("registry: cannot save " + hive + ": " + std::string(what) + " " + file + ": " +
                std::strerror(error));
    return false;
}

std::string DirectoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

// The file a save really replaces: `path` itself, or the end of the chain of symbolic links
// starting there (relative links count from their own directory). The end need not exist yet.
std::optional<std::string> FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                return current;
            }
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) {
            return current;
        }
        std::vector<char> target(PATH_MAX);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) >= target.size()) {
            errno = ENAMETOOLONG;
            return std::nullopt;
        }
        const std::filesystem::path next(
            std::string(target.data(), static_cast<std::size_t>(length)));
        current = next.is_absolute()
                      ? next.string()
                      : (std::filesystem::path(DirectoryOf(current)) / next).string();
    }
    errno = ELOOP;
    return std::nullopt;
}

// Permissions and owner for a file that takes the place of `existing` (nothing when there is
// none: a new file then gets the usual permissions).
std::optional<struct stat> Attributes(const std::string& existing) {
    struct stat info {};
    if (::stat(existing.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads at most `limit` + 1 bytes, so that an oversized file is recognised without reading it.
bool ReadUpTo(int fd, std::size_t limit, std::string& out) {
    char buffer[65536];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// Writes `fill`'s output into a new file at `path` and flushes it to the disk. The file gets
// the permissions and, where allowed, the owner of `like`. Any old file of that name is a
// leftover of an interrupted save (the caller holds the directory lock) and is replaced.
bool WriteSynced(const std::string& hive, const std::string& path,
                 const std::optional<struct stat>& like, const std::function<bool(int)>& fill) {
    const mode_t mode = like ? (like->st_mode & 07777) : 0666;
    ::unlink(path.c_str());
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0666));
    if (!fd.Valid()) {
        return Fail(hive, "cannot create", path);
    }
    if (like) {
        // Only a privileged process can hand a file to another owner; the mode is kept anyway.
        if (like->st_uid != ::geteuid() || like->st_gid != ::getegid()) {
            static_cast<void>(::fchown(fd.Get(), like->st_uid, like->st_gid));
        }
        if (::fchmod(fd.Get(), mode) != 0) {
            Fail(hive, "cannot set the permissions of", path);
            ::unlink(path.c_str());
            return false;
        }
    }
    if (!fill(fd.Get()) || ::fsync(fd.Get()) != 0 || !fd.Close()) {
        Fail(hive, "cannot write", path);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ReplaceWith(const std::string& hive, const std::string& temporary, const std::string& path) {
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        Fail(hive, "cannot replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool CopyFileContents(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        if (!WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(n)))) {
            return false;
        }
    }
}

// Copies the damaged file aside as the newest generation; the older ones move down by one and
// the oldest is dropped. Nothing moves until the new copy is safely written.
bool KeepBadCopy(const std::string& path) {
    UniqueFd source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.Valid()) {
        if (errno == ENOENT) {
            return true;  // nothing there to keep
        }
        return Fail(path, "cannot keep a copy of", path);
    }
    struct stat info {};
    if (::fstat(source.Get(), &info) != 0) {
        return Fail(path, "cannot keep a copy of", path);
    }
    const std::string newest = BadCopyPath(path, 0);
    const std::string temporary = newest + ".tmp";
    if (!WriteSynced(path, temporary, info,
                     [&](int fd) { return CopyFileContents(source.Get(), fd); })) {
        return false;
    }
    for (int generation = kKeptBadCopies - 1; generation > 0; --generation) {
        const std::string older = BadCopyPath(path, generation - 1);
        if (::rename(older.c_str(), BadCopyPath(path, generation).c_str()) != 0 &&
            errno != ENOENT) {
            Fail(path, "cannot move aside", older);
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (!ReplaceWith(path, temporary, newest)) {
        return false;
    }
    DebugOutput("registry: " + path + " could not be read completely; kept as " + newest);
    return true;
}

// Creates the hive's directory if needed and gives the file a save replaces.
std::optional<std::string> PrepareSave(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(DirectoryOf(path), error);
    std::optional<std::string> target = FollowLinks(path);
    if (!target) {
        Fail(path, "cannot follow", path);
    }
    return target;
}

}  // namespace

std::string BadCopyPath(const std::string& path, int generation) {
    return generation == 0 ? path + ".bad" : path + ".bad." + std::to_string(generation);
}

HiveDocument LoadHiveFile(const std::string& path, std::string_view root_name) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        if (errno == ENOENT) {
            return HiveDocument(std::string(root_name));
        }
        return HiveDocument::Unreadable(root_name);
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > kMaxHiveFileBytes ||
        !ReadUpTo(fd.Get(), kMaxHiveFileBytes, text)) {
        return HiveDocument::Unreadable(root_name);
    }
    return HiveDocument::Parse(root_name, text);
}

bool CanSaveHiveFile(const std::string& path) {
    const std::optional<std::string> target = PrepareSave(path);
    if (!target) {
        return false;
    }
    const std::string directory = DirectoryOf(*target);
    if (::access(directory.c_str(), W_OK) != 0) {
        return Fail(path, "cannot write in", directory);
    }
    return true;
}

bool UpdateHiveFile(const std::string& path, std::string_view root_name,
                    const std::function<void(HiveDocument&)>& change) {
    const std::optional<std::string> target = PrepareSave(path);
    if (!target) {
        return false;
    }
    const std::string directory = DirectoryOf(*target);
    UniqueFd lock(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock.Valid()) {
        return Fail(path, "cannot open", directory);
    }
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return Fail(path, "cannot lock", directory);
        }
    }

    HiveDocument document = LoadHiveFile(path, root_name);
    if (document.Health() != HiveHealth::Clean && !KeepBadCopy(path)) {
        return false;
    }
    change(document);
    const std::string text = document.Serialize();
    if (text.size() > kMaxHiveFileBytes) {
        DebugOutput("registry: cannot save " + path + ": it would be too large");
        return false;
    }
    const std::string temporary = *target + ".tmp";
    if (!WriteSynced(path, temporary, Attributes(*target),
                     [&](int fd) { return WriteAll(fd, text); }) ||
        !ReplaceWith(path, temporary, *target)) {
        return false;
    }
    // The rename is only durable once the directory itself is on the disk.
    if (::fsync(lock.Get()) != 0) {
        return Fail(path, "cannot flush", directory);
    }
    return true;
}

}  // namespace spectrino::platform

#endif
