#include "hive_store.h"

#if !defined(_WIN32)

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

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

void Report(std::string_view what, const std::string& path) {
    DebugOutput("registry: " + std::string(what) + " " + path + ": " + std::strerror(errno));
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

// Writes `fill`'s output into a new file at `path` and flushes it to the disk.
bool WriteSynced(const std::string& path, const std::function<bool(int)>& fill) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.Valid()) {
        Report("cannot create", path);
        return false;
    }
    if (!fill(fd.Get()) || ::fsync(fd.Get()) != 0 || !fd.Close()) {
        Report("cannot write", path);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ReplaceWith(const std::string& temporary, const std::string& path) {
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        Report("cannot replace", path);
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

bool KeepBadCopy(const std::string& path) {
    UniqueFd source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.Valid()) {
        if (errno == ENOENT) {
            return true;  // nothing there to keep
        }
        Report("cannot keep a copy of", path);
        return false;
    }
    const std::string bad = path + ".bad";
    const std::string temporary = bad + ".tmp";
    if (!WriteSynced(temporary, [&](int fd) { return CopyFileContents(source.Get(), fd); }) ||
        !ReplaceWith(temporary, bad)) {
        return false;
    }
    DebugOutput("registry: " + path + " could not be read completely; kept as " + bad);
    return true;
}

}  // namespace

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

bool UpdateHiveFile(const std::string& path, std::string_view root_name,
                    const std::function<void(HiveDocument&)>& change) {
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    UniqueFd lock(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock.Valid()) {
        Report("cannot open directory of", path);
        return false;
    }
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            Report("cannot lock directory of", path);
            return false;
        }
    }

    HiveDocument document = LoadHiveFile(path, root_name);
    if (document.Health() != HiveHealth::Clean && !KeepBadCopy(path)) {
        return false;
    }
    change(document);
    const std::string text = document.Serialize();
    if (text.size() > kMaxHiveFileBytes) {
        DebugOutput("registry: not saving " + path + ": it would be too large");
        return false;
    }
    const std::string temporary = path + ".tmp";
    if (!WriteSynced(temporary, [&](int fd) { return WriteAll(fd, text); }) ||
        !ReplaceWith(temporary, path)) {
        return false;
    }
    // The rename is only durable once the directory itself is on the disk.
    if (::fsync(lock.Get()) != 0) {
        Report("cannot flush directory of", path);
        return false;
    }
    return true;
}

}  // namespace spectrino::platform

#endif
