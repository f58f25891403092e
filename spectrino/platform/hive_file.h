// The text form of one registry root ("hive") as kept on Linux: the registry-export format with
// a "Windows Registry Editor Version 5.00" header, one [ROOT\path] section per key, and
// "Name"="text", "Name"=dword:0000002a or @= (the default value) lines below it.
//
// Reading is forgiving: a line that cannot be understood, a value over the size limits, a section
// outside the root or a repeated value name is skipped and the rest still loads; the document then
// reports itself damaged so that the caller can keep the original before replacing it. A repeated
// value name keeps the value that comes last in the file. Values of types other than strings and
// 32-bit numbers (hex:, hex(2): ...) are kept verbatim, continuation lines included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace spectrino::platform {

// Files larger than this are not loaded at all; saving refuses to write one.
inline constexpr std::size_t kMaxHiveFileBytes = 16u << 20;
// Longest key or value name, in bytes.
inline constexpr std::size_t kMaxRegistryNameLength = 16383;
// Largest value data, in bytes (string text or verbatim data of other types).
inline constexpr std::size_t kMaxRegistryValueBytes = 1u << 20;
// Deepest key nesting below the root; bounds recursion on hostile files.
inline constexpr std::size_t kMaxRegistryKeyDepth = 512;

// ASCII lower case: registry names compare this way, other bytes compare exactly.
std::string FoldRegistryName(std::string_view name);

// Splits a key path on backslashes. Leading and trailing backslashes are ignored; an empty
// component inside the path, a name over the length limit, a name holding a control character
// that cannot stand in a section line (NUL, CR, LF) or a path deeper than the limit give nullopt.
std::optional<std::vector<std::string>> SplitRegistryPath(std::string_view path);

// Whether a value name or string text can be stored (length, no NUL byte).
bool IsStorableValueName(std::string_view name);
bool IsStorableValueText(std::string_view text);

enum class HiveValueType { String, Integer, Other };

struct HiveValue {
    std::string name;  // "" is the key's default value
    HiveValueType type = HiveValueType::String;
    std::string text;     // String: the text; Other: the data after '=' exactly as in the file
    uint32_t number = 0;  // Integer
};

class HiveKey {
public:
    explicit HiveKey(std::string name) : name_(std::move(name)) {}
    HiveKey(const HiveKey&) = delete;
    HiveKey& operator=(const HiveKey&) = delete;

    const std::string& Name() const { return name_; }

    const HiveKey* FindChild(std::string_view name) const;
    HiveKey* FindChild(std::string_view name);
    // The child of that name, appended when missing.
    HiveKey& Child(std::string_view name);
    const std::vector<std::unique_ptr<HiveKey>>& Children() const { return children_; }
    // Removes the child of that name with everything below it; false when there is none.
    bool RemoveChild(std::string_view name);

    const HiveValue* FindValue(std::string_view name) const;
    // Stores the value under its name; an existing value of that name (in any case) is replaced
    // in place and keeps its stored spelling. Returns whether a value was replaced.
    bool SetValue(HiveValue value);
    const std::vector<HiveValue>& Values() const { return values_; }

private:
    std::string name_;
    std::vector<std::unique_ptr<HiveKey>> children_;
    std::unordered_map<std::string, std::size_t> child_index_;  // folded name -> position
    std::vector<HiveValue> values_;
    std::unordered_map<std::string, std::size_t> value_index_;
};

enum class HiveHealth {
    Clean,       // everything in the text was understood
    Damaged,     // some lines or values were skipped
    Unreadable,  // not a hive at all (no header, too large); read as empty
};

class HiveDocument {
public:
    // An empty hive for the root of that name ("HKEY_CURRENT_USER").
    explicit HiveDocument(std::string root_name);

    static HiveDocument Parse(std::string_view root_name, std::string_view text);
    // The document is empty and unreadable (for files that could not be read at all).
    static HiveDocument Unreadable(std::string_view root_name);

    std::string Serialize() const;

    HiveHealth Health() const { return health_; }
    const std::string& RootName() const { return root_name_; }

    HiveKey& Root() { return *root_; }
    const HiveKey& Root() const { return *root_; }
    const HiveKey* Find(std::span<const std::string> path) const;
    HiveKey* Find(std::span<const std::string> path);
    // The key at that path, created with its parents when missing.
    HiveKey& Create(std::span<const std::string> path);

private:
    class Parser;

    std::string root_name_;
    std::unique_ptr<HiveKey> root_;  // on the heap so that key pointers survive moves
    HiveHealth health_ = HiveHealth::Clean;
};

}  // namespace spectrino::platform
