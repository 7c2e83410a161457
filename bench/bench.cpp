// Flashes a 256 KiB and a 1 MiB image on the simulated device (its default timing) through the
// boundary, as the updater does, and prints for each phase the measured time against the busy
// time the device modelled. A ratio near 1 means the host adds little beyond the device's waits.
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "dfu/transport_sim.h"
#include "sim/bus.h"
#include "sim/config.h"
#include "sim/device.h"
#include "stdfu/images.h"
#include "stdfu/stdfu.h"

namespace {

using Clock = std::chrono::steady_clock;

struct PhaseResult {
    bool ok = false;
    double measuredMs = 0;
};

// Launches one phase and polls it closely until it reads 100 or fails.
PhaseResult RunPhase(StdfuOperationContext context) {
    uint32_t id = 0;
    const auto start = Clock::now();
    if (STDFUPRT_LaunchOperation(&context, &id) != STDFU_OK) return {};
    StdfuOperationContext status{};
    do {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        STDFUPRT_GetOperationStatus(id, &status);
    } while (status.errorCode == STDFU_OK && status.percent != 100);
    const auto end = Clock::now();
    STDFUPRT_StopOperation(id, nullptr);
    return {status.errorCode == STDFU_OK,
            std::chrono::duration<double, std::milli>(end - start).count()};
}

void Report(const char* label, const char* phase, const PhaseResult& r,
            std::chrono::milliseconds busy) {
    const double modelled = double(busy.count());
    std::printf("%-8s %-15s measured %8.1f ms / modelled %8.1f ms = %.3f%s\n", label, phase,
                r.measuredMs, modelled, modelled > 0 ? r.measuredMs / modelled : 0.0,
                r.ok ? "" : "  (FAILED)");
}

// With readBack false the device cannot upload, so the write phase sends data only: its time
// then compares with the modelled busy time alone.
bool Flash(const char* label, size_t size, bool readBack) {
    sim::Config config;  // default device, layout and timing; memory only
    if (!readBack) config.device.attributes &= ~0x02;
    auto device = sim::Device::Create(config);
    if (!device) {
        std::fprintf(stderr, "cannot make the device: %s\n", device.error().c_str());
        return false;
    }
    sim::Bus bus;
    const std::string path = bus.Add(*device);
    bus.Plug(*device);
    dfu::UseSimulatedBus(bus);

    StdfuMapping* mapping = nullptr;
    uint32_t count = 0;
    bool ok =
        STDFUPRT_CreateMappingFromDevice(path.c_str(), &mapping, &count) == STDFU_OK && count > 0;
    if (ok) {
        dfu::Image image{0, "bench", {{0x08000000, std::vector<uint8_t>(size)}}};
        std::mt19937 random(42);
        for (uint8_t& b : image.elements[0].data) b = uint8_t(random());
        uint32_t source = stdfu::Images().Add(std::make_shared<dfu::Image>(std::move(image)));
        uint32_t erase = 0, write = 0;
        STDFUFILES_DuplicateImage(source, &erase);
        STDFUFILES_FilterImageForOperation(erase, &mapping[0], STDFU_OP_ERASE, 0);
        STDFUFILES_DuplicateImage(source, &write);
        STDFUFILES_FilterImageForOperation(write, &mapping[0], STDFU_OP_UPGRADE, 0);

        StdfuOperationContext context{};
        context.operation = STDFU_OP_ERASE;
        context.hImage = erase;
        std::snprintf(context.szDevLink, sizeof context.szDevLink, "%s", path.c_str());

        const sim::Activity before = (*device)->GetActivity();
        const PhaseResult erased = RunPhase(context);
        const sim::Activity afterErase = (*device)->GetActivity();
        Report(label, "erase", erased, afterErase.erase_busy - before.erase_busy);

        context.operation = STDFU_OP_UPGRADE;
        context.hImage = write;
        const PhaseResult written = erased.ok ? RunPhase(context) : PhaseResult{};
        const sim::Activity afterWrite = (*device)->GetActivity();
        Report(label, readBack ? "write+read-back" : "write", written, afterWrite.program_busy - afterErase.program_busy);
        ok = erased.ok && written.ok;

        for (uint32_t* h : {&source, &erase, &write}) STDFUFILES_DestroyImage(h);
    }
    STDFUPRT_DestroyMapping(&mapping);
    dfu::SetTransportOpener({});
    dfu::SetInterfaceLister({});
    return ok;
}

}  // namespace

int main() {
    std::printf("phase times on the simulated device\n");
    bool ok = true;
    for (bool readBack : {false, true}) {
        ok &= Flash("256 KiB", 256 * 1024, readBack);
        ok &= Flash("1 MiB", 1024 * 1024, readBack);
    }
    return ok ? 0 : 1;
}
