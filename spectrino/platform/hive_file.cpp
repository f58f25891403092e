#include "hive_file.h"

#include <cstdio>
#include <utility>

namespace spectrino::platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char FoldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsFolded(s.substr(0, prefix.size()), prefix);
}

bool IsKeyNameChar(char c) {
    return c != '\0' && c != '\r' && c != '\n';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = FoldChar(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a quoted, escaped string from the front of `rest` and moves past its closing quote.
// Fails on a missing quote, an unknown escape, a NUL byte or text over `limit` bytes.
bool ReadQuoted(std::string_view& rest, std::string& out, std::size_t limit) {
    if (rest.empty() || rest.front() != '"') {
        return false;
    }
    out.clear();
    std::size_t i = 1;
    for (; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return true;
        }
        if (c == '\0') {
            return false;
        }
        if (c == '\\') {
            if (++i == rest.size()) {
                return false;
            }
            switch (rest[i]) {
                case '\\':
                case '"':
                    c = rest[i];
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                default:
                    return false;
            }
        }
        if (out.size() == limit) {
            return false;
        }
        out.push_back(c);
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(c);
        }
    }
    out.push_back('"');
}

bool IsTypeTagChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '(' ||
           c == ')';
}

// "hex:", "hex(2):", "qword:" ...: a type tag of letters, digits and parentheses, then a colon.
bool HasTypeTag(std::string_view data) {
    std::size_t i = 0;
    while (i < data.size() && IsTypeTagChar(data[i])) {
        ++i;
    }
    return i > 0 && i < data.size() && data[i] == ':';
}

bool EndsWithContinuation(std::string_view line) {
    line = TrimRight(line);
    return !line.empty() && line.back() == '\\';
}

void SerializeKey(const HiveKey& key, const std::string& path, std::string& out) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const HiveValue& value : key.Values()) {
        if (value.name.empty()) {
            out.push_back('@');
        } else {
            AppendQuoted(out, value.name);
        }
        out.push_back('=');
        switch (value.type) {
            case HiveValueType::String:
                AppendQuoted(out, value.text);
                break;
            case HiveValueType::Integer: {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", value.number);
                out += digits;
                break;
            }
            case HiveValueType::Other:
                out += value.text;
                break;
        }
        out.push_back('\n');
    }
    for (const auto& child : key.Children()) {
        SerializeKey(*child, path + '\\' + child->Name(), out);
    }
}

}  // namespace

std::string FoldRegistryName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

std::optional<std::vector<std::string>> SplitRegistryPath(std::string_view path) {
    while (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    while (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        const std::string_view part = path.substr(0, end);
        if (part.empty() || part.size() > kMaxRegistryNameLength ||
            parts.size() == kMaxRegistryKeyDepth) {
            return std::nullopt;
        }
        for (const char c : part) {
            if (!IsKeyNameChar(c)) {
                return std::nullopt;
            }
        }
        parts.emplace_back(part);
        path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    }
    return parts;
}

bool IsStorableValueName(std::string_view name) {
    return name.size() <= kMaxRegistryNameLength && name.find('\0') == std::string_view::npos;
}

bool IsStorableValueText(std::string_view text) {
    return text.size() <= kMaxRegistryValueBytes && text.find('\0') == std::string_view::npos;
}

const HiveKey* HiveKey::FindChild(std::string_view name) const {
    const auto it = child_index_.find(FoldRegistryName(name));
    return it == child_index_.end() ? nullptr : children_[it->second].get();
}

HiveKey* HiveKey::FindChild(std::string_view name) {
    return const_cast<HiveKey*>(std::as_const(*this).FindChild(name));
}

HiveKey& HiveKey::Child(std::string_view name) {
    auto [it, inserted] = child_index_.try_emplace(FoldRegistryName(name), children_.size());
    if (inserted) {
        children_.push_back(std::make_unique<HiveKey>(std::string(name)));
    }
    return *children_[it->second];
}

bool HiveKey::RemoveChild(std::string_view name) {
    const auto it = child_index_.find(FoldRegistryName(name));
    if (it == child_index_.end()) {
        return false;
    }
    const std::size_t position = it->second;
    child_index_.erase(it);
    children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(position));
    // The children after it moved up by one.
    for (auto& [folded, index] : child_index_) {
        if (index > position) {
            --index;
        }
    }
    return true;
}

const HiveValue* HiveKey::FindValue(std::string_view name) const {
    const auto it = value_index_.find(FoldRegistryName(name));
    return it == value_index_.end() ? nullptr : &values_[it->second];
}

bool HiveKey::SetValue(HiveValue value) {
    auto [it, inserted] = value_index_.try_emplace(FoldRegistryName(value.name), values_.size());
    if (inserted) {
        values_.push_back(std::move(value));
        return false;
    }
    HiveValue& stored = values_[it->second];
    stored.type = value.type;
    stored.text = std::move(value.text);
    stored.number = value.number;
    return true;
}

HiveDocument::HiveDocument(std::string root_name)
    : root_name_(std::move(root_name)), root_(std::make_unique<HiveKey>(root_name_)) {}

HiveDocument HiveDocument::Unreadable(std::string_view root_name) {
    HiveDocument document{std::string(root_name)};
    document.health_ = HiveHealth::Unreadable;
    return document;
}

const HiveKey* HiveDocument::Find(std::span<const std::string> path) const {
    const HiveKey* key = root_.get();
    for (const std::string& name : path) {
        key = key->FindChild(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

HiveKey* HiveDocument::Find(std::span<const std::string> path) {
    return const_cast<HiveKey*>(std::as_const(*this).Find(path));
}

HiveKey& HiveDocument::Create(std::span<const std::string> path) {
    HiveKey* key = root_.get();
    for (const std::string& name : path) {
        key = &key->Child(name);
    }
    return *key;
}

std::string HiveDocument::Serialize() const {
    std::string out(kHeader);
    out.push_back('\n');
    SerializeKey(*root_, root_name_, out);
    return out;
}

// Walks the text line by line; each line is understood on its own, except that the data of
// other value types may continue over lines ending in a backslash.
class HiveDocument::Parser {
public:
    Parser(HiveDocument& document, std::string_view text) : document_(document), text_(text) {}

    void Run() {
        if (text_.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
            text_.remove_prefix(kUtf8Mark.size());
        }
        if (text_.find_first_not_of(" \t\r\n") == std::string_view::npos) {
            return;  // an empty file is an empty hive
        }
        std::string_view line;
        if (!NextLine(line) || TrimRight(line) != kHeader) {
            document_.health_ = HiveHealth::Unreadable;
            return;
        }
        while (NextLine(line)) {
            const std::string_view content = TrimLeft(line);
            if (content.empty() || content.front() == ';') {
                continue;
            }
            if (content.front() == '[') {
                Section(content);
            } else if (content.front() == '"' || content.front() == '@') {
                Value(content);
            } else {
                Damage();
            }
        }
    }

private:
    bool NextLine(std::string_view& line) {
        if (text_.empty()) {
            return false;
        }
        const std::size_t end = text_.find('\n');
        line = text_.substr(0, end);
        text_ = end == std::string_view::npos ? std::string_view() : text_.substr(end + 1);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }

    void Damage() {
        if (document_.health_ == HiveHealth::Clean) {
            document_.health_ = HiveHealth::Damaged;
        }
    }

    void Section(std::string_view line) {
        key_ = nullptr;
        line = TrimRight(line);
        if (line.size() < 2 || line.back() != ']') {
            Damage();
            return;
        }
        const std::string_view path = line.substr(1, line.size() - 2);
        const std::size_t split = path.find('\\');
        if (!EqualsFolded(path.substr(0, split), document_.root_name_)) {
            Damage();  // another root, or a deletion entry ("[-...]")
            return;
        }
        const auto names = SplitRegistryPath(split == std::string_view::npos ? std::string_view()
                                                                             : path.substr(split));
        if (!names) {
            Damage();
            return;
        }
        key_ = &document_.Create(*names);
    }

    void Value(std::string_view line) {
        HiveValue value;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else if (!ReadQuoted(rest, value.name, kMaxRegistryNameLength)) {
            Damage();
            return;
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') {
            Damage();
            return;
        }
        rest = TrimLeft(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            if (!ReadQuoted(rest, value.text, kMaxRegistryValueBytes) || !TrimRight(rest).empty()) {
                Damage();
                return;
            }
            value.type = HiveValueType::String;
        } else if (StartsWithFolded(rest, kDwordPrefix)) {
            const auto number = ParseDword(TrimRight(rest.substr(kDwordPrefix.size())));
            if (!number) {
                Damage();
                return;
            }
            value.type = HiveValueType::Integer;
            value.number = *number;
        } else if (HasTypeTag(rest)) {
            if (!ReadVerbatim(rest, value.text)) {
                Damage();
                return;
            }
            value.type = HiveValueType::Other;
        } else {
            Damage();
            return;
        }
        if (key_ == nullptr) {
            Damage();  // no section, or the section was skipped
            return;
        }
        if (key_->SetValue(std::move(value))) {
            Damage();  // a repeated name: the earlier value is gone
        }
    }

    static std::optional<uint32_t> ParseDword(std::string_view digits) {
        if (digits.empty() || digits.size() > 8) {
            return std::nullopt;
        }
        uint32_t number = 0;
        for (const char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                return std::nullopt;
            }
            number = number << 4 | static_cast<uint32_t>(digit);
        }
        return number;
    }

    // The data and its continuation lines, verbatim. Consumes all continuation lines even when
    // the data is too large, so that they are not mistaken for lines of their own.
    bool ReadVerbatim(std::string_view first, std::string& out) {
        bool fits = first.size() <= kMaxRegistryValueBytes;
        if (fits) {
            out.assign(first);
        }
        std::string_view line = first;
        while (EndsWithContinuation(line)) {
            if (!NextLine(line)) {
                return false;  // cut off in the middle
            }
            fits = fits && out.size() + 1 + line.size() <= kMaxRegistryValueBytes;
            if (fits) {
                out.push_back('\n');
                out.append(line);
            }
        }
        return fits;
    }

    HiveDocument& document_;
    std::string_view text_;
    HiveKey* key_ = nullptr;
};

HiveDocument HiveDocument::Parse(std::string_view root_name, std::string_view text) {
    if (text.size() > kMaxHiveFileBytes) {
        return Unreadable(root_name);
    }
    HiveDocument document{std::string(root_name)};
    Parser(document, text).Run();
    if (document.health_ == HiveHealth::Unreadable) {
        return Unreadable(root_name);  // nothing of a file without a header counts
    }
    return document;
}

}  // namespace spectrino::platform
