#include "dfu/transport.h"

#include <mutex>

#if defined(_WIN32)
#include "dfu/setupdi_interfaces.h"
#include "dfu/transport_winusb.h"
#elif defined(__linux__)
#include "dfu/transport_libusb.h"
#endif

namespace dfu {

namespace {

std::mutex& OpenerMutex() {
    static std::mutex m;
    return m;
}

TransportOpener& Opener() {
#ifdef _WIN32
    static TransportOpener opener = [](const std::string& path) {
        return WinUsbTransport::Open(path);
    };
#elif defined(__linux__)
    static TransportOpener opener = &LibUsbTransport::Open;
#else
    static TransportOpener opener;
#endif
    return opener;
}

InterfaceLister& Lister() {
#if defined(_WIN32)
    static InterfaceLister lister = &ListSetupDiInterfaces;
#elif defined(__linux__)
    static InterfaceLister lister = &ListLibUsbInterfaces;
#else
    static InterfaceLister lister;
#endif
    return lister;
}

}  // namespace

void SetTransportOpener(TransportOpener opener) {
    std::lock_guard lock(OpenerMutex());
    Opener() = std::move(opener);
}

Result<std::unique_ptr<Transport>> OpenTransport(const std::string& interfacePath) {
    TransportOpener opener;
    {
        std::lock_guard lock(OpenerMutex());
        opener = Opener();
    }
    if (!opener) return Error("no transport for " + interfacePath);
    return opener(interfacePath);
}

void SetInterfaceLister(InterfaceLister lister) {
    std::lock_guard lock(OpenerMutex());
    Lister() = std::move(lister);
}

Result<std::vector<std::string>> ListInterfaces() {
    InterfaceLister lister;
    {
        std::lock_guard lock(OpenerMutex());
        lister = Lister();
    }
    if (!lister) return Error("no way to list DFU interfaces on this system");
    return lister();
}

}  // namespace dfu
