#include "tools/gadget/configfs_gadget.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/gadget/functionfs_descriptors.h"
#include "sim/descriptors.h"

namespace gadget {

namespace {

constexpr const char* kConfigfs = "/sys/kernel/config";
constexpr const char* kGadgets = "/sys/kernel/config/usb_gadget";
constexpr const char* kUdcs = "/sys/class/udc";
constexpr const char* kMounts = "/run/vqzsim-gadget";
constexpr long kConfigfsType = 0x62656570;  // statfs's f_type of configfs (the kernel does not export it)

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

std::string Why(const std::string& what, int error) {
    std::string text = what + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) text += " (run as root)";
    return text;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

sim::Outcome<std::string> FindUdc(const std::string& wanted) {
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kUdcs, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (names.empty())
        return sim::Failure{std::string("no USB device controller in ") + kUdcs + " (load a UDC driver, e.g. dummy_hcd)"};
    if (wanted.empty()) return names.front();
    if (std::find(names.begin(), names.end(), wanted) == names.end())
        return sim::Failure{"no USB device controller named " + wanted + " in " + kUdcs};
    return wanted;
}

sim::Outcome<std::unique_ptr<ConfigfsGadget>> ConfigfsGadget::Create(const std::string& name,
                                                                      const sim::Config& config) {
    std::unique_ptr<ConfigfsGadget> gadget(new ConfigfsGadget);
    sim::Outcome<bool> built = gadget->Build(name, config);
    if (!built) return sim::Failure{built.error()};  // the destructor undoes what was done
    return gadget;
}

sim::Outcome<bool> ConfigfsGadget::MakeDir(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) return sim::Failure{Why("cannot create " + path, errno)};
    undo_.push_back([path] { rmdir(path.c_str()); });
    return true;
}

sim::Outcome<bool> ConfigfsGadget::WriteFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return sim::Failure{Why("cannot open " + path, errno)};
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    int error = errno;
    close(fd);
    if (!ok) return sim::Failure{Why("cannot write " + text + " to " + path, error)};
    return true;
}

sim::Outcome<bool> ConfigfsGadget::Build(const std::string& name, const sim::Config& config) {
    struct stat info {};
    if (stat(kGadgets, &info) != 0) {
        struct statfs mounted {};
        if (statfs(kConfigfs, &mounted) != 0 || mounted.f_type != kConfigfsType)
            return sim::Failure{std::string("configfs is not mounted at ") + kConfigfs};
        return sim::Failure{std::string("no ") + kGadgets + " (the libcomposite module is not loaded)"};
    }
    root_ = std::string(kGadgets) + "/" + name;
    if (mkdir(root_.c_str(), 0755) != 0) {
        if (errno == EEXIST) return sim::Failure{"a gadget named " + name + " exists already (" + root_ + ")"};
        return sim::Failure{Why("cannot create " + root_, errno)};
    }
    std::string root = root_;
    undo_.push_back([root] { rmdir(root.c_str()); });

    const sim::DeviceConfig& device = config.device;
    std::string strings = root_ + "/strings/0x409";
    std::string configuration = root_ + "/configs/c.1";
    std::string function = root_ + "/functions/ffs." + name;
    std::string mount_point = std::string(kMounts) + "/" + name;
    const std::function<sim::Outcome<bool>()> steps[] = {
        [&] { return WriteFile(root_ + "/idVendor", Hex4(device.vendor_id)); },
        [&] { return WriteFile(root_ + "/idProduct", Hex4(device.product_id)); },
        [&] { return WriteFile(root_ + "/bcdDevice", Hex4(device.bcd_device)); },
        [&] { return WriteFile(root_ + "/bcdUSB", "0x0200"); },
        [&] { return MakeDir(strings); },
        [&] { return WriteFile(strings + "/manufacturer", sim::kMakerText); },
        [&] { return WriteFile(strings + "/product", sim::kProductText); },
        [&] { return WriteFile(strings + "/serialnumber", config.device.serial); },
        [&] { return MakeDir(configuration); },
        [&] { return WriteFile(configuration + "/MaxPower", "100"); },
    };
    for (const auto& step : steps)
        if (sim::Outcome<bool> done = step(); !done) return done;
    if (mkdir(function.c_str(), 0755) != 0) {
        if (errno == ENOENT) return sim::Failure{"FunctionFS is not available (the usb_f_fs module is not loaded)"};
        return sim::Failure{Why("cannot create " + function, errno)};
    }
    undo_.push_back([function] { rmdir(function.c_str()); });
    std::string link = configuration + "/ffs." + name;
    if (symlink(function.c_str(), link.c_str()) != 0) return sim::Failure{Why("cannot link " + link, errno)};
    undo_.push_back([link] { unlink(link.c_str()); });

    if (mkdir(kMounts, 0755) != 0 && errno != EEXIST) return sim::Failure{Why(std::string("cannot create ") + kMounts, errno)};
    undo_.push_back([] { rmdir(kMounts); });  // fails, as it should, while another gadget uses it
    if (sim::Outcome<bool> made = MakeDir(mount_point); !made) return made;
    if (mount(name.c_str(), mount_point.c_str(), "functionfs", 0, nullptr) != 0)
        return sim::Failure{Why("cannot mount FunctionFS " + name + " at " + mount_point, errno)};
    undo_.push_back([mount_point] { umount(mount_point.c_str()); });

    std::string ep0 = mount_point + "/ep0";
    ep0_ = open(ep0.c_str(), O_RDWR);
    if (ep0_ < 0) return sim::Failure{Why("cannot open " + ep0, errno)};
    undo_.push_back([this] {
        close(ep0_);
        ep0_ = -1;
    });
    if (!WriteAll(ep0_, FunctionFsDescriptors(config)))
        return sim::Failure{Why("FunctionFS refused the descriptors", errno)};
    if (!WriteAll(ep0_, FunctionFsStrings(config)))
        return sim::Failure{Why("FunctionFS refused the strings", errno)};
    return true;
}

sim::Outcome<bool> ConfigfsGadget::Bind(const std::string& udc) {
    std::string path = root_ + "/UDC";
    int fd = open(path.c_str(), O_WRONLY);
    bool ok = fd >= 0 && write(fd, udc.data(), udc.size()) == static_cast<ssize_t>(udc.size());
    int error = errno;
    if (fd >= 0) close(fd);
    if (!ok && error == EBUSY) return sim::Failure{"the USB device controller " + udc + " is in use by another gadget"};
    if (!ok) return sim::Failure{Why("cannot bind to " + udc + " through " + path, error)};
    bound_ = true;
    return true;
}

void ConfigfsGadget::Unbind() {
    if (!bound_) return;
    // An empty line empties the UDC file: the host sees a disconnect.
    WriteFile(root_ + "/UDC", "\n");
    bound_ = false;
}

ConfigfsGadget::~ConfigfsGadget() {
    Unbind();
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
}

}  // namespace gadget
