#include "registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/hive_file.h"

#if defined(_WIN32)
#include <windows.h>
#if defined(_MSC_VER)
#pragma comment(lib, "advapi32.lib")
#endif
#else
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/hive_store.h"
#include "platform/process.h"
#endif

namespace spectrino::platform {
namespace {

struct RootName {
    RootKey root;
    std::string_view name;
    std::string_view abbreviation;
};

constexpr std::array<RootName, 3> kRootNames{{
    {RootKey::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RootKey::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RootKey::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
}};

bool CanWrite(std::string_view name, std::string_view text) {
    return IsStorableValueName(name) && IsStorableValueText(text);
}

}  // namespace

std::string_view RootKeyName(RootKey root) {
    for (const RootName& entry : kRootNames) {
        if (entry.root == root) {
            return entry.name;
        }
    }
    return {};
}

std::optional<RootKey> ParseRootKey(std::string_view name) {
    const std::string folded = FoldRegistryName(name);
    for (const RootName& entry : kRootNames) {
        if (folded == FoldRegistryName(entry.name) ||
            folded == FoldRegistryName(entry.abbreviation)) {
            return entry.root;
        }
    }
    return std::nullopt;
}

RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

RegistryKey::~RegistryKey() {
    Close();
}

#if defined(_WIN32)

namespace {

HKEY RootHandle(RootKey root) {
    switch (root) {
        case RootKey::CurrentUser:
            return HKEY_CURRENT_USER;
        case RootKey::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RootKey::ClassesRoot:
            return HKEY_CLASSES_ROOT;
    }
    return HKEY_CURRENT_USER;
}

struct TypedData {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

std::optional<TypedData> QueryValue(HKEY key, std::string_view name) {
    const std::string value_name(name);
    // The value may grow between asking for its size and reading it; try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        TypedData data;
        DWORD size = 0;
        if (RegQueryValueExA(key, value_name.c_str(), nullptr, &data.type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        data.bytes.resize(size);
        const LONG result = RegQueryValueExA(key, value_name.c_str(), nullptr, &data.type,
                                             data.bytes.data(), &size);
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return std::nullopt;
        }
        data.bytes.resize(size);
        return data;
    }
    return std::nullopt;
}

// The text with each %NAME% replaced by that variable's value; names not set stay as written.
std::optional<std::string> ExpandEnvironment(const std::string& text) {
    std::vector<char> buffer(text.size() + 1);
    // The size asked for may change if another thread sets a variable meanwhile; try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()));
        if (needed == 0) {
            return std::nullopt;
        }
        if (needed <= buffer.size()) {
            return std::string(buffer.data());
        }
        buffer.resize(needed);
    }
    return std::nullopt;
}

}  // namespace

struct RegistryKey::Impl {
    HKEY handle;
};

std::string HiveFilePath(RootKey) {
    return {};
}

std::optional<RegistryKey> RegistryKey::Open(RootKey root, std::string_view path, Access access) {
    const auto names = SplitRegistryPath(path);
    if (!names) {
        return std::nullopt;
    }
    std::string subkey;
    for (const std::string& name : *names) {
        subkey += subkey.empty() ? name : "\\" + name;
    }
    HKEY handle = nullptr;
    const LONG result =
        access == Access::Read
            ? RegOpenKeyExA(RootHandle(root), subkey.c_str(), 0, KEY_READ, &handle)
            : RegCreateKeyExA(RootHandle(root), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return RegistryKey(std::make_unique<Impl>(Impl{handle}));
}

bool DeleteRegistryKey(RootKey root, std::string_view path) {
    const auto names = SplitRegistryPath(path);
    if (!names || names->empty()) {
        return false;
    }
    std::string subkey;
    for (const std::string& name : *names) {
        subkey += subkey.empty() ? name : "\\" + name;
    }
    const LONG result = RegDeleteTreeA(RootHandle(root), subkey.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
    std::vector<std::string> names;
    if (!impl_) {
        return names;
    }
    DWORD longest = 0;
    if (RegQueryInfoKeyA(impl_->handle, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::vector<char> buffer(longest + 1);
    DWORD index = 0;
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG result = RegEnumKeyExA(impl_->handle, index, buffer.data(), &length, nullptr,
                                          nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) {
            buffer.resize(buffer.size() * 2);  // a longer name was added meanwhile
            continue;
        }
        if (result != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(buffer.data(), length);
        ++index;
    }
    return names;
}

bool RegistryKey::ValueExists(std::string_view name) const {
    const std::string value_name(name);
    return impl_ && RegQueryValueExA(impl_->handle, value_name.c_str(), nullptr, nullptr, nullptr,
                                     nullptr) == ERROR_SUCCESS;
}

std::optional<uint32_t> RegistryKey::ReadInteger(std::string_view name) const {
    const auto data = impl_ ? QueryValue(impl_->handle, name) : std::nullopt;
    if (!data || data->type != REG_DWORD || data->bytes.size() != sizeof(DWORD)) {
        return std::nullopt;
    }
    DWORD value = 0;
    std::memcpy(&value, data->bytes.data(), sizeof value);
    return value;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
    const auto data = impl_ ? QueryValue(impl_->handle, name) : std::nullopt;
    if (!data || (data->type != REG_SZ && data->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::string text(data->bytes.begin(), data->bytes.end());
    text.resize(std::min(text.size(), text.find('\0')));  // stored with or without its terminator
    if (data->type == REG_EXPAND_SZ) {
        return ExpandEnvironment(text);
    }
    return text;
}

bool RegistryKey::WriteInteger(std::string_view name, uint32_t value) {
    if (!impl_ || !CanWrite(name, {})) {
        return false;
    }
    const std::string value_name(name);
    const DWORD data = value;
    return RegSetValueExA(impl_->handle, value_name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool RegistryKey::WriteString(std::string_view name, std::string_view text) {
    if (!impl_ || !CanWrite(name, text)) {
        return false;
    }
    const std::string value_name(name);
    const std::string data(text);
    return RegSetValueExA(impl_->handle, value_name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::Close() {
    if (!impl_) {
        return false;
    }
    const HKEY handle = impl_->handle;
    impl_.reset();
    return RegCloseKey(handle) == ERROR_SUCCESS;
}

#else  // Linux: hive files

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeDirectory() {
    std::string home = Environment("HOME");
    if (!home.empty()) {
        return home;
    }
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        home = found->pw_dir;
    }
    return home;
}

std::string RegistryDirectory(RootKey root) {
    if (std::string directory = Environment("SPECTRINO_REGISTRY_DIR"); !directory.empty()) {
        return directory;
    }
    if (root == RootKey::CurrentUser) {
        std::string config = Environment("XDG_CONFIG_HOME");
        if (config.empty() || config.front() != '/') {
            const std::string home = HomeDirectory();
            if (home.empty()) {
                return {};
            }
            config = home + "/.config";
        }
        return config + "/spectrino/registry";
    }
    const std::string program = ProgramFilePath();
    if (!program.empty()) {
        const std::filesystem::path prefix =
            std::filesystem::path(program).parent_path().parent_path();
        std::vector<std::filesystem::path> candidates{prefix / "etc/spectrino/registry"};
        // A package installed below .../usr keeps its configuration in the sibling etc, as
        // /usr does with /etc; this also holds for a package unpacked into another root.
        if (prefix.filename() == "usr") {
            candidates.push_back(prefix.parent_path() / "etc/spectrino/registry");
        }
        for (const auto& candidate : candidates) {
            std::error_code error;
            if (std::filesystem::is_directory(candidate, error)) {
                return candidate.string();
            }
        }
    }
    return "/etc/spectrino/registry";
}

// What identifies one version of a file: every save writes a new file and renames it into place.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

FileStamp StampOf(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

int64_t Nanoseconds(const timespec& time) {
    return int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

timespec Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// File times come from a coarse clock and inode numbers are reused, so a file read right after
// it changed may change again without its stamp changing; such a copy is read again until it
// was read a while after the file's last change.
bool MayHaveChangedUnseen(const FileStamp& stamp, const timespec& read_at) {
    constexpr int64_t kClockMargin = 100'000'000;
    return stamp.exists && Nanoseconds(stamp.changed) + kClockMargin >= Nanoseconds(read_at);
}

}  // namespace

struct RegistryKey::Impl {
    RootKey root;
    Access access;
    std::string file;
    std::vector<std::string> path;
    HiveDocument snapshot;
    HiveKey* key;  // inside `snapshot`; null once a read-only key was deleted
    bool created;  // the key was missing when opened
    std::vector<HiveValue> changes;
    FileStamp stamp;  // of the file `snapshot` was read from
    timespec read_at;

    // Reads the file again when it changed since it was read, so that a key held open sees what
    // other keys and processes saved meanwhile, with its own unsaved changes on top. A key that
    // was deleted meanwhile reads as empty (nullptr).
    const HiveKey* Current() {
        const FileStamp now = StampOf(file);
        if (now == stamp && !MayHaveChangedUnseen(stamp, read_at)) {
            return key;
        }
        stamp = now;
        read_at = Now();
        snapshot = LoadHiveFile(file, RootKeyName(root));
        if (access == Access::Read) {
            key = snapshot.Find(path);
            return key;
        }
        key = &snapshot.Create(path);
        for (const HiveValue& change : changes) {
            key->SetValue(change);
        }
        return key;
    }
};

std::string HiveFilePath(RootKey root) {
    const std::string directory = RegistryDirectory(root);
    if (directory.empty()) {
        return {};
    }
    return directory + "/" + std::string(RootKeyName(root)) + ".reg";
}

std::optional<RegistryKey> RegistryKey::Open(RootKey root, std::string_view path, Access access) {
    auto names = SplitRegistryPath(path);
    std::string file = HiveFilePath(root);
    if (!names || file.empty()) {
        return std::nullopt;
    }
    if (access == Access::ReadWrite && !CanSaveHiveFile(file)) {
        return std::nullopt;
    }
    // Taken before reading: a save in between shows as a change.
    const FileStamp stamp = StampOf(file);
    const timespec read_at = Now();
    HiveDocument snapshot = LoadHiveFile(file, RootKeyName(root));
    HiveKey* key = snapshot.Find(*names);
    const bool created = key == nullptr;
    if (created) {
        if (access == Access::Read) {
            return std::nullopt;
        }
        key = &snapshot.Create(*names);
    }
    return RegistryKey(std::make_unique<Impl>(Impl{root,
                                                   access,
                                                   std::move(file),
                                                   std::move(*names),
                                                   std::move(snapshot),
                                                   key,
                                                   created,
                                                   {},
                                                   stamp,
                                                   read_at}));
}

bool DeleteRegistryKey(RootKey root, std::string_view path) {
    const auto names = SplitRegistryPath(path);
    const std::string file = HiveFilePath(root);
    if (!names || names->empty() || file.empty()) {
        return false;
    }
    const std::span<const std::string> parent(names->data(), names->size() - 1);
    if (const HiveKey* key = LoadHiveFile(file, RootKeyName(root)).Find(*names); key == nullptr) {
        return true;
    }
    return UpdateHiveFile(file, RootKeyName(root), [&](HiveDocument& document) {
        if (HiveKey* owner = document.Find(parent)) {
            owner->RemoveChild(names->back());
        }
    });
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
    std::vector<std::string> names;
    if (const HiveKey* key = impl_ ? impl_->Current() : nullptr) {
        for (const auto& child : key->Children()) {
            names.push_back(child->Name());
        }
    }
    return names;
}

bool RegistryKey::ValueExists(std::string_view name) const {
    const HiveKey* key = impl_ ? impl_->Current() : nullptr;
    return key != nullptr && key->FindValue(name) != nullptr;
}

std::optional<uint32_t> RegistryKey::ReadInteger(std::string_view name) const {
    const HiveKey* key = impl_ ? impl_->Current() : nullptr;
    const HiveValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr || value->type != HiveValueType::Integer) {
        return std::nullopt;
    }
    return value->number;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
    const HiveKey* key = impl_ ? impl_->Current() : nullptr;
    const HiveValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr || value->type != HiveValueType::String) {
        return std::nullopt;
    }
    return value->text;
}

bool RegistryKey::WriteInteger(std::string_view name, uint32_t value) {
    if (!impl_ || impl_->access != Access::ReadWrite || !CanWrite(name, {})) {
        return false;
    }
    HiveValue change{std::string(name), HiveValueType::Integer, {}, value};
    impl_->key->SetValue(change);
    impl_->changes.push_back(std::move(change));
    return true;
}

bool RegistryKey::WriteString(std::string_view name, std::string_view text) {
    if (!impl_ || impl_->access != Access::ReadWrite || !CanWrite(name, text)) {
        return false;
    }
    HiveValue change{std::string(name), HiveValueType::String, std::string(text), 0};
    impl_->key->SetValue(change);
    impl_->changes.push_back(std::move(change));
    return true;
}

bool RegistryKey::Close() {
    if (!impl_) {
        return false;
    }
    const std::unique_ptr<Impl> impl = std::move(impl_);
    if (impl->access == Access::Read || (impl->changes.empty() && !impl->created)) {
        return true;
    }
    return UpdateHiveFile(impl->file, RootKeyName(impl->root), [&](HiveDocument& document) {
        HiveKey& key = document.Create(impl->path);
        for (HiveValue& change : impl->changes) {
            key.SetValue(std::move(change));
        }
    });
}

#endif

}  // namespace spectrino::platform
