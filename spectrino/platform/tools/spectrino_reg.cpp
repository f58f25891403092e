// spectrino-reg: reads and writes single registry values, so that build and install steps can
// register drivers, e.g.
//   spectrino-reg --dir build/etc/spectrino/registry set HKLM "software\asio\Name" clsid "{...}"
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace {

using spectrino::platform::Access;
using spectrino::platform::ParseRootKey;
using spectrino::platform::RegistryKey;
using spectrino::platform::RootKey;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: spectrino-reg [--dir DIRECTORY] COMMAND ...\n"
    "  set ROOT KEY NAME TEXT       store a string value, creating the key\n"
    "  set-dword ROOT KEY NAME N    store a 32-bit number (decimal or 0x...)\n"
    "  get ROOT KEY NAME            print a value (numbers in decimal)\n"
    "  path ROOT                    print the file that holds ROOT\n"
    "ROOT is HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT or HKCU, HKLM, HKCR;\n"
    "KEY uses backslashes; NAME @ or \"\" is the key's default value.\n"
    "--dir keeps every root's file in DIRECTORY (Linux).\n";

int Usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "spectrino-reg: %s\n", message.c_str());
    return kFailed;
}

std::string_view ValueName(std::string_view name) {
    return name == "@" ? "" : name;
}

std::optional<uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

int Set(RootKey root, std::string_view path, std::string_view name,
        std::optional<std::string_view> text, std::optional<uint32_t> number) {
    auto key = RegistryKey::Open(root, path, Access::ReadWrite);
    if (!key) {
        return Fail("cannot open or create " + std::string(path) + " for writing");
    }
    const bool written = text ? key->WriteString(ValueName(name), *text)
                              : key->WriteInteger(ValueName(name), *number);
    if (!written) {
        return Fail("cannot write value " + std::string(name));
    }
    if (!key->Close()) {
        return Fail("cannot save the registry");
    }
    return 0;
}

int Get(RootKey root, std::string_view path, std::string_view name) {
    const auto key = RegistryKey::Open(root, path, Access::Read);
    if (!key) {
        return Fail("no key " + std::string(path));
    }
    if (const auto text = key->ReadString(ValueName(name))) {
        std::printf("%s\n", text->c_str());
        return 0;
    }
    if (const auto number = key->ReadInteger(ValueName(name))) {
        std::printf("%u\n", static_cast<unsigned>(*number));
        return 0;
    }
    return Fail("no string or number value " + std::string(name));
}

int Path(RootKey root) {
    const std::string file = spectrino::platform::HiveFilePath(root);
    if (file.empty()) {
        return Fail("this root is not kept in a file");
    }
    std::printf("%s\n", file.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--dir") {
#if defined(_WIN32)
        return Fail("--dir is not available on Windows");
#else
        // The registry takes its directory override from the environment.
        if (args[1].empty() || setenv("SPECTRINO_REGISTRY_DIR", argv[2], 1) != 0) {
            return Usage();
        }
        args.erase(args.begin(), args.begin() + 2);
#endif
    }
    if (args.size() < 2) {
        return Usage();
    }
    const std::string_view command = args[0];
    const auto root = ParseRootKey(args[1]);
    if (!root) {
        return Fail("unknown root " + std::string(args[1]));
    }
    if (command == "set" && args.size() == 5) {
        return Set(*root, args[2], args[3], args[4], std::nullopt);
    }
    if (command == "set-dword" && args.size() == 5) {
        const auto number = ParseNumber(args[4]);
        if (!number) {
            return Fail("not a 32-bit number: " + std::string(args[4]));
        }
        return Set(*root, args[2], args[3], std::nullopt, number);
    }
    if (command == "get" && args.size() == 4) {
        return Get(*root, args[2], args[3]);
    }
    if (command == "path" && args.size() == 2) {
        return Path(*root);
    }
    return Usage();
}
