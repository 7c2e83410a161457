// A USB gadget in configfs with one FunctionFS function, built from a simulation file, and its
// binding to a USB device controller (UDC). Everything it creates it removes again, in reverse
// order, when it is destroyed or when creating it fails half-way.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/config.h"
#include "sim/outcome.h"

namespace gadget {

// The UDC to bind to: `wanted`, or the first one present; the error names what is missing.
sim::Outcome<std::string> FindUdc(const std::string& wanted);

class ConfigfsGadget {
public:
    // Creates the gadget NAME (configfs must be mounted, libcomposite and usb_f_fs loaded) and
    // writes the function's descriptors and strings to its ep0. Not bound yet.
    static sim::Outcome<std::unique_ptr<ConfigfsGadget>> Create(const std::string& name,
                                                                const sim::Config& config);
    ~ConfigfsGadget();
    ConfigfsGadget(const ConfigfsGadget&) = delete;
    ConfigfsGadget& operator=(const ConfigfsGadget&) = delete;

    // Plugging in and out as the host sees it: the gadget's UDC file.
    sim::Outcome<bool> Bind(const std::string& udc);
    void Unbind();
    bool bound() const { return bound_; }

    int ep0() const { return ep0_; }

private:
    ConfigfsGadget() = default;
    sim::Outcome<bool> Build(const std::string& name, const sim::Config& config);
    sim::Outcome<bool> MakeDir(const std::string& path);
    sim::Outcome<bool> WriteFile(const std::string& path, const std::string& text);

    std::string root_;  // the gadget's folder in configfs
    int ep0_ = -1;
    bool bound_ = false;
    std::vector<std::function<void()>> undo_;  // run last to first
};

}  // namespace gadget
