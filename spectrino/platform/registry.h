// The registry: the Win32 registry on Windows; on Linux one hive file per root (see
// hive_file.h for the format and hive_store.h for how files are saved).
//
// Linux semantics: every read reflects the root's file as it is on disk now (a key held open
// reads the file again once it has changed), so saves of other keys and processes are seen. A
// key opened for writing keeps its changes in memory, on top of what it reads; Close() (or the
// destructor) reloads the file, applies the changes and replaces the file atomically, so values
// written by others in the meantime survive. The file keeps its permissions, and a file that is
// a symbolic link stays one: the file it points to is replaced. Key and value names compare
// without regard to ASCII case and keep the spelling they were created with. A file that cannot
// be read completely is read as far as it goes (or as empty), and is kept as "<file>.bad" before
// a save replaces it; older copies move to "<file>.bad.1" and "<file>.bad.2".
//
// A save that fails (folder not writable, disk full, ...) writes a debug line naming the file and
// the reason, and shows to the caller as Open(..., ReadWrite) giving nullopt or Close() giving
// false; HiveFilePath() names the file to the user.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spectrino::platform {

enum class RootKey { CurrentUser, LocalMachine, ClassesRoot };

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT".
std::string_view RootKeyName(RootKey root);
// The root for its full name or its abbreviation (HKCU, HKLM, HKCR), in any case.
std::optional<RootKey> ParseRootKey(std::string_view name);

// The file that holds a root on Linux:
// - current user: $SPECTRINO_REGISTRY_DIR, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/spectrino/registry;
// - machine and class roots: $SPECTRINO_REGISTRY_DIR, else <prefix>/etc/spectrino/registry when
//   that directory exists (the prefix is the parent of the program's directory), else for a
//   prefix named "usr" <prefix>/../etc/spectrino/registry when that exists, else
//   /etc/spectrino/registry.
// The file is named after the root with ".reg" appended. Empty on Windows, or when no location
// can be found.
std::string HiveFilePath(RootKey root);

enum class Access { Read, ReadWrite };

// Deletes the key at `path` below the root with all its subkeys and values. True when the key
// is gone afterwards (also when it never existed); the root itself cannot be deleted.
bool DeleteRegistryKey(RootKey root, std::string_view path);

class RegistryKey {
public:
    // Opens the key at `path` below the root ("\Software\Maker\Spectrino\", "software\asio";
    // outer backslashes are ignored, an empty path is the root itself). ReadWrite creates the
    // key and its parents when missing. nullopt when the key does not exist (Read), the path is
    // not valid, or the key cannot be written (ReadWrite).
    static std::optional<RegistryKey> Open(RootKey root, std::string_view path, Access access);

    RegistryKey(RegistryKey&& other) noexcept;
    // Closes (and so saves) the key held before taking over the other one.
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    // Closes the key; a failed save goes unreported here, so call Close() to learn of it.
    ~RegistryKey();

    // Names of the direct subkeys, in the order the registry keeps them (on Linux the order in
    // which they were created).
    std::vector<std::string> SubKeyNames() const;

    // Values are named case-insensitively; "" is the key's default value.
    bool ValueExists(std::string_view name) const;
    // nullopt when the value is missing or not of that type. On Windows an expandable string
    // (REG_EXPAND_SZ) reads as a string too, with its %VARIABLES% expanded.
    std::optional<uint32_t> ReadInteger(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;

    // False (never an exception) when the key is read-only or closed, the name is longer than
    // 16383 bytes or holds a NUL byte, or the text is over 1 MiB or holds a NUL byte. Writing a
    // value of another type replaces it.
    bool WriteInteger(std::string_view name, uint32_t value);
    bool WriteString(std::string_view name, std::string_view text);

    // Releases the key; for a key opened for writing, stores its changes. Returns whether that
    // succeeded (false as well for a key already closed).
    bool Close();

private:
    struct Impl;
    explicit RegistryKey(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> impl_;
};

}  // namespace spectrino::platform
