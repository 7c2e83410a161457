// vqz_round_trip [COUNT]: the time of one control round trip to the only DFU device present,
// measured as a loop of GETSTATUS requests (default 2000): the unit of the USB bench's floor.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "dfu/device.h"
#include "dfu/protocol.h"
#include "dfu/transport.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: vqz_round_trip [COUNT]\n");
        return 2;
    }
    auto paths = dfu::ListInterfaces();
    if (!paths || paths->size() != 1) {
        std::fprintf(stderr, "vqz_round_trip: %s\n",
                     paths ? "exactly one DFU device must be present" : paths.error().message().c_str());
        return 2;
    }
    auto transport = dfu::OpenTransport(paths->front());
    if (!transport) {
        std::fprintf(stderr, "vqz_round_trip: %s\n", transport.error().message().c_str());
        return 1;
    }
    auto iface = dfu::ReadDfuInterface(**transport);
    if (!iface) {
        std::fprintf(stderr, "vqz_round_trip: %s\n", iface.error().message().c_str());
        return 1;
    }
    dfu::Dfu dfu(**transport, iface->number);
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        if (auto status = dfu.GetStatus(); !status) {
            std::fprintf(stderr, "vqz_round_trip: GETSTATUS %ld: %s\n", i, status.error().message().c_str());
            return 1;
        }
    }
    const double us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
        double(count);
    std::printf("%.1f\n", us);
    return 0;
}
