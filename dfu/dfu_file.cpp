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

// The prefix signature of the 1.1a file format: the five bytes every such file starts with.
constexpr char kFilePrefixSignatureBytes[] = {0x44, 0x66, 0x75, 0x53, 0x65};
constexpr std::string_view kFilePrefixSignature{kFilePrefixSignatureBytes,
                                                sizeof kFilePrefixSignatureBytes};
constexpr std::string_view kTargetSignature = "Target";
constexpr std::string_view kSuffixSignature = "UFD";
constexpr uint8_t kFormatVersion = 1;
constexpr uint16_t kBcdDfu = 0x011A;

// The largest file worth reading: the prefix's image size is 32 bits.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull + kDfuSuffixSize;

// zlib's CRC-32 carried on over more bytes.
uLong ContinueCrc(uLong crc, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        size_t chunk = std::min<size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, bytes.data(), static_cast<uInt>(chunk));
        bytes = bytes.subspan(chunk);
    }
    return crc;
}

// The file's CRC: zlib's CRC-32 without its final inversion.
uint32_t WithoutInversion(uLong crc) { return static_cast<uint32_t>(crc) ^ 0xFFFFFFFFu; }

uint32_t FileCrc(std::span<const uint8_t> bytes) {
    return WithoutInversion(ContinueCrc(crc32(0, nullptr, 0), bytes));
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

// Where the parser takes the file's bytes from: a buffer in memory, or the open file itself, so
// that a file is read straight into its images and held once.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t size() const = 0;
    // Bytes [at, at + out.size()), which the caller has checked lie within size().
    virtual Status Read(size_t at, std::span<uint8_t> out) = 0;
    // The file's CRC over bytes [0, length).
    virtual Result<uint32_t> Crc(size_t length) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t size() const override { return bytes_.size(); }
    Status Read(size_t at, std::span<uint8_t> out) override {
        std::copy_n(bytes_.begin() + ptrdiff_t(at), out.size(), out.begin());
        return {};
    }
    Result<uint32_t> Crc(size_t length) override { return FileCrc(bytes_.first(length)); }

private:
    std::span<const uint8_t> bytes_;
};

// One target, read from [pos, end) where end is the end of the targets area.
Result<Image> ParseTarget(ByteSource& source, size_t end, size_t& pos, size_t index) {
    if (end - pos < kDfuTargetPrefixSize)
        return Refused(Where(index) + "target prefix runs past the end of the file");
    uint8_t p[kDfuTargetPrefixSize];
    if (auto read = source.Read(pos, p); !read) return read.error();
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
        uint8_t header[kDfuElementHeaderSize];
        if (auto read = source.Read(pos, header); !read) return read.error();
        const uint32_t address = Le32(header);
        const uint32_t size = Le32(header + 4);
        pos += kDfuElementHeaderSize;
        if (size > end - pos)
            return Refused(Where(index, e) + "element size runs past the end of the file");
        if (size > targetEnd - pos)
            return Refused(Where(index, e) + "element size runs past the end of its target");
        Element element;
        element.address = address;
        element.data.resize(size);
        if (auto read = source.Read(pos, element.data); !read) return read.error();
        image.elements.push_back(std::move(element));
        pos += size;
    }
    if (pos != targetEnd)
        return Refused(Where(index) + "target size disagrees with its elements (" +
                       std::to_string(targetSize) + " bytes declared, " +
                       std::to_string(targetSize - (targetEnd - pos)) + " used)");
    return image;
}

// The whole file from a source; every count and size is checked against the bytes there.
Result<DfuFile> Parse(ByteSource& source) {
    const size_t n = source.size();
    if (n < kDfuPrefixSize + kDfuSuffixSize)
        return Refused("the file is " + std::to_string(n) + " bytes, shorter than its prefix and "
                       "suffix (" + std::to_string(kDfuPrefixSize + kDfuSuffixSize) + ")");
    if (n > kMaxFileSize) return Refused("the file is larger than 4 GiB");

    uint8_t suffix[kDfuSuffixSize];
    if (auto read = source.Read(n - kDfuSuffixSize, suffix); !read) return read.error();
    if (!HasSignature(suffix + 8, kSuffixSignature)) return Refused("bad suffix signature");
    if (suffix[11] != kDfuSuffixSize)
        return Refused("suffix length is " + std::to_string(suffix[11]) + ", not 16");
    auto crc = source.Crc(n - 4);
    if (!crc) return crc.error();
    if (*crc != Le32(suffix + 12)) return Refused("CRC does not match");

    uint8_t prefix[kDfuPrefixSize];
    if (auto read = source.Read(0, prefix); !read) return read.error();
    if (!HasSignature(prefix, kFilePrefixSignature)) return Refused("bad prefix signature");
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

    size_t pos = kDfuPrefixSize;
    for (size_t t = 0; t < targetCount; ++t) {
        auto image = ParseTarget(source, imageSize, pos, t);
        if (!image) return image.error();
        file.images.push_back(std::move(*image));
    }
    if (pos != imageSize)
        return Refused("the prefix's image size disagrees with its targets (" +
                       std::to_string(imageSize - pos) + " bytes left over)");
    return file;
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
// A UTF-8 path as the wide path the system opens; a path that is not valid UTF-8 is an error.
Result<std::wstring> WidePathFromUtf8(const std::string& utf8) {
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
    auto wide = WidePathFromUtf8(path);
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

// Refused by its size before a byte is read: no DFU file is larger.
Error TooLarge(const std::string& path, uint64_t size) {
    return Error(path + ": the file is " + std::to_string(size) +
                 " bytes, larger than a DFU file can be (" + std::to_string(kMaxFileSize) + ")");
}

bool Seek(std::FILE* f, size_t at) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(at), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

// The open file of a known size, read where the parser asks; the CRC is a pass of its own in
// pieces, so nothing but the images is held.
class FileSource : public ByteSource {
public:
    FileSource(std::FILE* f, size_t size) : f_(f), size_(size) {}
    size_t size() const override { return size_; }
    Status Read(size_t at, std::span<uint8_t> out) override {
        if (!Seek(f_, at)) return Error("cannot read");
        for (size_t done = 0; done < out.size();) {
            const size_t want = std::min<size_t>(out.size() - done, size_t(1) << 26);
            const size_t got = std::fread(out.data() + done, 1, want, f_);
            // A file that shrank while being read is as unreadable as one that failed.
            if (got == 0) return Error("cannot read");
            done += got;
        }
        return {};
    }
    Result<uint32_t> Crc(size_t length) override {
        if (!Seek(f_, 0)) return Error("cannot read");
        std::vector<uint8_t> piece(std::min<size_t>(length, size_t(1) << 20));
        uLong crc = crc32(0, nullptr, 0);
        for (size_t done = 0; done < length;) {
            const size_t want = std::min(piece.size(), length - done);
            if (std::fread(piece.data(), 1, want, f_) != want) return Error("cannot read");
            crc = ContinueCrc(crc, std::span(piece).first(want));
            done += want;
        }
        return WithoutInversion(crc);
    }

private:
    std::FILE* f_;
    size_t size_;
};

}  // namespace

Result<DfuFile> ParseDfuFile(std::span<const uint8_t> bytes) {
    MemorySource source(bytes);
    return Parse(source);
}

Result<DfuFile> ReadDfuFile(const std::string& path) {
    auto f = OpenFile(path, false);
    if (!f) return f.error().context(path);
    auto size = SizeOf(f->get());
    if (!size) return size.error().context(path);
    if (*size > kMaxFileSize) return TooLarge(path, *size);
    FileSource source(f->get(), size_t(*size));
    auto file = Parse(source);
    if (!file) return file.error().context(path);
    return file;
}

Result<std::vector<uint8_t>> SerializeDfuFile(const DfuFile& file) {
    if (file.images.empty()) return Error("a DFU file needs at least one target");
    if (file.images.size() > 255) return Error("a DFU file holds at most 255 targets");

    std::vector<uint8_t> out;
    PutText(out, kFilePrefixSignature);
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
    if (*size > kMaxFileSize) return TooLarge(path, *size);
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
