#include "dfu/dfu_file.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace dfu {
namespace {

constexpr std::string_view kPrefixSignature = "DfuSe";
constexpr std::string_view kTargetSignature = "Target";
constexpr std::string_view kSuffixSignature = "UFD";
constexpr uint8_t kFormatVersion = 1;
constexpr uint16_t kBcdDfu = 0x011A;

// The largest file worth reading: the prefix's image size is 32 bits.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull + kDfuSuffixSize;

// The file's CRC: zlib's CRC-32 without its final inversion.
uint32_t FileCrc(std::span<const uint8_t> bytes) {
    uLong crc = crc32(0, nullptr, 0);
    while (!bytes.empty()) {
        size_t chunk = std::min<size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, bytes.data(), static_cast<uInt>(chunk));
        bytes = bytes.subspan(chunk);
    }
    return static_cast<uint32_t>(crc) ^ 0xFFFFFFFFu;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool HasSignature(const uint8_t* p, std::string_view signature) {
    return std::memcmp(p, signature.data(), signature.size()) == 0;
}

Error Refused(const std::string& why) { return Error(why); }

std::string Where(size_t target) { return "target " + std::to_string(target) + ": "; }

std::string Where(size_t target, size_t element) {
    return Where(target) + "element " + std::to_string(element) + ": ";
}

// One target, read from data[pos, end) where end is the end of the targets area.
Result<Image> ParseTarget(std::span<const uint8_t> data, size_t& pos, size_t index) {
    const size_t end = data.size();
    if (end - pos < kDfuTargetPrefixSize)
        return Refused(Where(index) + "target prefix runs past the end of the file");
    const uint8_t* p = data.data() + pos;
    if (!HasSignature(p, kTargetSignature)) return Refused(Where(index) + "bad target signature");

    Image image;
    image.alternate = p[6];
    const bool named = Le32(p + 7) != 0;
    if (named) {
        const uint8_t* name = p + 11;
        const uint8_t* nameEnd = std::find(name, name + kDfuTargetNameSize, 0);
        image.name.assign(name, nameEnd);
    }
    const uint32_t targetSize = Le32(p + 266);
    const uint32_t elementCount = Le32(p + 270);
    pos += kDfuTargetPrefixSize;

    if (targetSize > end - pos)
        return Refused(Where(index) + "target size runs past the end of the file");
    const size_t targetEnd = pos + targetSize;

    // Each element takes at least its header, so the loop is bounded by the bytes present,
    // whatever the count says.
    for (uint32_t e = 0; e < elementCount; ++e) {
        if (end - pos < kDfuElementHeaderSize)
            return Refused(Where(index, e) + "element header runs past the end of the file");
        if (targetEnd - pos < kDfuElementHeaderSize)
            return Refused(Where(index, e) + "element header runs past the end of its target");
        const uint32_t address = Le32(data.data() + pos);
        const uint32_t size = Le32(data.data() + pos + 4);
        pos += kDfuElementHeaderSize;
        if (size > end - pos)
            return Refused(Where(index, e) + "element size runs past the end of the file");
        if (size > targetEnd - pos)
            return Refused(Where(index, e) + "element size runs past the end of its target");
        Element element;
        element.address = address;
        element.data.assign(data.begin() + pos, data.begin() + pos + size);
        image.elements.push_back(std::move(element));
        pos += size;
    }
    if (pos != targetEnd)
        return Refused(Where(index) + "target size disagrees with its elements (" +
                       std::to_string(targetSize) + " bytes declared, " +
                       std::to_string(targetSize - (targetEnd - pos)) + " used)");
    return image;
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
}

void PutText(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

#ifdef _WIN32
Result<std::wstring> Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()),
                                nullptr, 0);
    if (n <= 0) return Error("the path is not valid UTF-8");
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(),
                        n);
    return wide;
}
#endif

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Result<FilePtr> OpenFile(const std::string& path, bool forWriting) {
#ifdef _WIN32
    auto wide = Widen(path);
    if (!wide) return wide.error();
    std::FILE* f = _wfopen(wide->c_str(), forWriting ? L"wb" : L"rb");
#else
    std::FILE* f = std::fopen(path.c_str(), forWriting ? "wb" : "rb");
#endif
    if (!f) return Error(std::string("cannot open: ") + std::strerror(errno));
    return FilePtr(f);
}

// The size of an open file, 64 bits wide on every platform.
Result<uint64_t> SizeOf(std::FILE* f) {
#ifdef _WIN32
    struct _stat64 st;
    const bool known = _fstat64(_fileno(f), &st) == 0;
#else
    struct stat st;
    const bool known = fstat(fileno(f), &st) == 0;
#endif
    if (!known) return Error(std::string("cannot read its size: ") + std::strerror(errno));
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace

Result<DfuFile> ParseDfuFile(std::span<const uint8_t> bytes) {
    const size_t n = bytes.size();
    if (n < kDfuPrefixSize + kDfuSuffixSize)
        return Refused("the file is " + std::to_string(n) + " bytes, shorter than its prefix and "
                       "suffix (" + std::to_string(kDfuPrefixSize + kDfuSuffixSize) + ")");
    if (n > kMaxFileSize) return Refused("the file is larger than 4 GiB");

    const uint8_t* suffix = bytes.data() + n - kDfuSuffixSize;
    if (!HasSignature(suffix + 8, kSuffixSignature)) return Refused("bad suffix signature");
    if (suffix[11] != kDfuSuffixSize)
        return Refused("suffix length is " + std::to_string(suffix[11]) + ", not 16");
    if (FileCrc(bytes.first(n - 4)) != Le32(suffix + 12)) return Refused("CRC does not match");

    const uint8_t* prefix = bytes.data();
    if (!HasSignature(prefix, kPrefixSignature)) return Refused("bad prefix signature");
    const uint32_t imageSize = Le32(prefix + 6);
    const uint8_t targetCount = prefix[10];
    if (imageSize > n - kDfuSuffixSize)
        return Refused("the prefix's image size runs past the end of the file");
    if (imageSize != n - kDfuSuffixSize)
        return Refused("the prefix's image size (" + std::to_string(imageSize) +
                       ") disagrees with the file (" + std::to_string(n - kDfuSuffixSize) +
                       " bytes before the suffix)");
    if (targetCount == 0) return Refused("the file has no targets");

    DfuFile file;
    file.bcdDevice = Le16(suffix);
    file.productId = Le16(suffix + 2);
    file.vendorId = Le16(suffix + 4);

    const auto targets = bytes.first(imageSize);
    size_t pos = kDfuPrefixSize;
    for (size_t t = 0; t < targetCount; ++t) {
        auto image = ParseTarget(targets, pos, t);
        if (!image) return image.error();
        file.images.push_back(std::move(*image));
    }
    if (pos != imageSize)
        return Refused("the prefix's image size disagrees with its targets (" +
                       std::to_string(imageSize - pos) + " bytes left over)");
    return file;
}

Result<DfuFile> ReadDfuFile(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return bytes.error();
    auto file = ParseDfuFile(*bytes);
    if (!file) return file.error().context(path);
    return file;
}

Result<std::vector<uint8_t>> SerializeDfuFile(const DfuFile& file) {
    if (file.images.empty()) return Error("a DFU file needs at least one target");
    if (file.images.size() > 255) return Error("a DFU file holds at most 255 targets");

    std::vector<uint8_t> out;
    PutText(out, kPrefixSignature);
    out.push_back(kFormatVersion);
    Put32(out, 0);  // image size, set below
    out.push_back(uint8_t(file.images.size()));

    for (size_t t = 0; t < file.images.size(); ++t) {
        const Image& image = file.images[t];
        if (image.name.size() > kDfuTargetNameSize)
            return Error(Where(t) + "name longer than 255 bytes");
        if (image.elements.size() > 0xFFFFFFFFu) return Error(Where(t) + "too many elements");
        PutText(out, kTargetSignature);
        out.push_back(image.alternate);
        Put32(out, image.name.empty() ? 0 : 1);
        std::string name = image.name;
        name.resize(kDfuTargetNameSize, '\0');
        PutText(out, name);
        uint64_t targetSize = 0;
        for (const Element& e : image.elements)
            targetSize += kDfuElementHeaderSize + e.data.size();
        if (targetSize > 0xFFFFFFFFu || out.size() + targetSize > 0xFFFFFFFFu)
            return Error(Where(t) + "larger than 4 GiB");
        Put32(out, uint32_t(targetSize));
        Put32(out, uint32_t(image.elements.size()));
        for (const Element& e : image.elements) {
            Put32(out, e.address);
            Put32(out, uint32_t(e.data.size()));
            out.insert(out.end(), e.data.begin(), e.data.end());
        }
    }
    Set32(out, 6, uint32_t(out.size()));

    Put16(out, file.bcdDevice);
    Put16(out, file.productId);
    Put16(out, file.vendorId);
    Put16(out, kBcdDfu);
    PutText(out, kSuffixSignature);
    out.push_back(uint8_t(kDfuSuffixSize));
    Put32(out, FileCrc(out));
    return out;
}

Result<std::vector<uint8_t>> ReadFileBytes(const std::string& path) {
    auto f = OpenFile(path, false);
    if (!f) return f.error().context(path);
    auto size = SizeOf(f->get());
    if (!size) return size.error().context(path);
    // Refused by its size before a byte is read: no DFU file is larger.
    if (*size > kMaxFileSize)
        return Error(path + ": the file is " + std::to_string(*size) +
                     " bytes, larger than a DFU file can be (" + std::to_string(kMaxFileSize) +
                     ")");
    // One buffer of the file's size, filled in place: no copy while it grows.
    std::vector<uint8_t> bytes(static_cast<size_t>(*size));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t want = std::min<size_t>(bytes.size() - done, size_t(1) << 26);
        const size_t got = std::fread(bytes.data() + done, 1, want, f->get());
        if (got == 0) break;
        done += got;
    }
    if (std::ferror(f->get())) return Error(path + ": cannot read");
    bytes.resize(done);  // the file shrank since its size was read
    return bytes;
}

Status WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
    auto f = OpenFile(path, true);
    if (!f) return f.error().context(path);
    if (std::fwrite(bytes.data(), 1, bytes.size(), f->get()) != bytes.size())
        return Error(path + ": cannot write");
    std::FILE* raw = f->release();
    if (std::fclose(raw) != 0) return Error(path + ": cannot write");
    return {};
}

}  // namespace dfu
