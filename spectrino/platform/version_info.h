// The version block of a program file (VS_VERSIONINFO layout): the Win32 version API on
// Windows; on other systems the same block read from the ELF section ".spectrino_version".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace spectrino::platform {

// Name of the ELF section that carries the block.
inline constexpr std::string_view kVersionSectionName = ".spectrino_version";

// Byte offsets in the fixed file-information record (VS_FIXEDFILEINFO, little-endian).
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoSize = 52;
inline constexpr uint32_t kFixedFileVersionMSOffset = 8;
inline constexpr uint32_t kFixedFileVersionLSOffset = 12;

// Size in bytes of the file's version block; 0 when the file has none or cannot be read.
uint32_t GetFileVersionInfoSize(const std::string& fileName);

// Copies at most `size` bytes of the file's version block into `data`; false when the file has
// no block or cannot be read.
bool GetFileVersionInfo(const std::string& fileName, uint32_t size, void* data);

// Looks `subBlock` up in a block fetched by GetFileVersionInfo: "\" gives the fixed record,
// "\VarFileInfo\Translation" the translation table, "\StringFileInfo\040904b0\Name" a UTF-16
// string value. Keys compare without regard to case. `value` points into the block; `length`
// counts characters for text values and bytes otherwise. Nothing outside the first
// `blockSize` bytes is ever read, whatever the block contains.
bool VerQueryValue(const void* block, uint32_t blockSize, std::string_view subBlock,
                   const void** value, uint32_t* length);

}  // namespace spectrino::platform
