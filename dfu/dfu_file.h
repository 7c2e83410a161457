// DFU files of DFU 1.1a devices: the 1.1a file prefix, one or more targets (one image per alternate
// setting, each a list of elements), and the DFU 1.1 suffix with its CRC.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dfu/image.h"
#include "dfu/result.h"

namespace dfu {

struct DfuFile {
    uint16_t vendorId = 0;   // idVendor of the suffix
    uint16_t productId = 0;  // idProduct
    uint16_t bcdDevice = 0;  // bcdDevice
    std::vector<Image> images;  // the targets in file order: images[0] is "the first image"
};

// Sizes of the file's records.
inline constexpr size_t kDfuPrefixSize = 11;
inline constexpr size_t kDfuTargetPrefixSize = 274;
inline constexpr size_t kDfuElementHeaderSize = 8;
inline constexpr size_t kDfuSuffixSize = 16;
inline constexpr size_t kDfuTargetNameSize = 255;

// Parses a whole file. A refused file gives an error that says why.
Result<DfuFile> ParseDfuFile(std::span<const uint8_t> bytes);

// Reads and parses the file at a UTF-8 path.
Result<DfuFile> ReadDfuFile(const std::string& path);

// The bytes of the file; fails on what the format cannot hold (too many targets, a name longer
// than 255 bytes, more than 4 GiB).
Result<std::vector<uint8_t>> SerializeDfuFile(const DfuFile& file);

// Whole-file reading and writing at UTF-8 paths (wide paths on Windows, so any folder name works).
Result<std::vector<uint8_t>> ReadFileBytes(const std::string& path);
Status WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace dfu
