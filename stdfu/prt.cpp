// The memory-map and operation calls of the boundary.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "dfu/ascii_case.h"
#include "dfu/debug_output.h"
#include "dfu/operation.h"
#include "dfu/protocol.h"
#include "dfu/target.h"
#include "stdfu/codes.h"
#include "stdfu/handles.h"
#include "stdfu/images.h"
#include "stdfu/stdfu.h"

namespace {

// ---- Memory maps

// One array given out: the entries and the sector records they point into.
struct MappingBlock {
    std::vector<StdfuMapping> entries;
    std::vector<std::vector<StdfuSector>> sectors;
};

struct Mappings {
    std::mutex mutex;
    std::unordered_map<StdfuMapping*, std::unique_ptr<MappingBlock>> live;
};

Mappings& LiveMappings() {
    static Mappings mappings;
    return mappings;
}

dfu::Result<std::unique_ptr<MappingBlock>> ReadMapping(const std::string& path) {
    auto transport = dfu::OpenTransport(path);
    if (!transport) return transport.error();
    auto targets = dfu::ReadTargets(**transport);
    if (!targets) return targets.error();
    auto block = std::make_unique<MappingBlock>();
    for (const dfu::Target& target : *targets) {
        StdfuMapping entry{};
        entry.nAlternate = target.alternate;
        const size_t n = std::min(target.map.name.size(), sizeof entry.szName - 1);
        std::memcpy(entry.szName, target.map.name.data(), n);
        entry.nSectors = uint32_t(target.map.sectors.size());
        std::vector<StdfuSector> sectors;
        for (const dfu::Sector& s : target.map.sectors)
            sectors.push_back(StdfuSector{s.address, s.size, s.properties});
        block->entries.push_back(entry);
        block->sectors.push_back(std::move(sectors));
    }
    // The sector vectors do not move from here on.
    for (size_t i = 0; i < block->entries.size(); ++i)
        block->entries[i].pSectors = block->sectors[i].empty() ? nullptr : block->sectors[i].data();
    return block;
}

// ---- Operations

struct HeldOperation {
    StdfuOperationContext in;  // as launched
    std::unique_ptr<dfu::Operation> operation;
};

// Paths compare as Windows compares them: ignoring case.
std::string PathKey(const std::string& path) { return dfu::AsciiUpper(path); }

struct Operations {
    std::mutex mutex;
    std::set<std::string> running;  // device paths with a phase at work
    // Declared last: destroyed first, so operations that end at exit still find the rest.
    stdfu::HandleTable<HeldOperation> held;
};

Operations& Ops() {
    static Operations ops;
    return ops;
}

uint32_t RequestCode(dfu::Step step) {
    switch (step) {
        case dfu::Step::None: return 0;
        case dfu::Step::ReadDescriptors: return STDFU_RQ_GET_DFU_DESCRIPTOR;
        case dfu::Step::SelectTarget: return STDFU_RQ_SELECT_TARGET;
        case dfu::Step::Dnload: return STDFU_RQ_DOWNLOAD;
        case dfu::Step::Upload: return STDFU_RQ_UPLOAD;
        case dfu::Step::GetStatus: return STDFU_RQ_GET_STATUS;
        case dfu::Step::ClrStatus: return STDFU_RQ_CLEAR_STATUS;
        case dfu::Step::Abort: return STDFU_RQ_ABORT;
    }
    return 0;
}

void FillContext(const HeldOperation& held, StdfuOperationContext* out) {
    const dfu::Progress p = held.operation->progress();
    *out = held.in;
    out->percent = p.percent;
    out->wTransferSize = p.transferSize;
    const auto status = p.lastStatus.bytes();
    out->lastStatus =
        StdfuDfuStatus{status[0], {status[1], status[2], status[3]}, status[4], status[5]};
    out->currentRequest = RequestCode(p.step);
    out->currentNBlock = p.block;
    out->currentLength = p.length;
    out->errorCode = p.error ? stdfu::ErrorCode(*p.error) : STDFU_OK;
}

}  // namespace

uint32_t STDFUPRT_CreateMappingFromDevice(const char* szDevicePath, StdfuMapping** ppMapping,
                                          uint32_t* pnMappings) {
    if (!szDevicePath || !ppMapping || !pnMappings) return STDFU_ERR_BAD_PARAMETER;
    *ppMapping = nullptr;
    *pnMappings = 0;
    auto block = ReadMapping(szDevicePath);
    if (!block) return stdfu::ErrorCode(block.error());
    StdfuMapping* entries = (*block)->entries.data();
    const auto count = uint32_t((*block)->entries.size());
    {
        Mappings& m = LiveMappings();
        std::lock_guard lock(m.mutex);
        m.live.emplace(entries, std::move(*block));
    }
    ++stdfu::LiveHandles();
    *ppMapping = entries;
    *pnMappings = count;
    return STDFU_OK;
}

uint32_t STDFUPRT_DestroyMapping(StdfuMapping** ppMapping) {
    if (!ppMapping) return STDFU_ERR_BAD_PARAMETER;
    StdfuMapping* entries = *ppMapping;
    *ppMapping = nullptr;
    if (!entries) return STDFU_OK;
    std::unique_ptr<MappingBlock> block;
    {
        Mappings& m = LiveMappings();
        std::lock_guard lock(m.mutex);
        auto it = m.live.find(entries);
        if (it == m.live.end()) return STDFU_ERR_BAD_PARAMETER;
        block = std::move(it->second);
        m.live.erase(it);
    }
    --stdfu::LiveHandles();
    return STDFU_OK;
}

uint32_t STDFUPRT_LaunchOperation(const StdfuOperationContext* pContext, uint32_t* pOperationId) {
    if (!pContext || !pOperationId) return STDFU_ERR_BAD_PARAMETER;
    *pOperationId = 0;
    // Detach, return and upload are not part of an update.
    const auto phase = stdfu::PhaseOf(pContext->operation);
    if (!phase) return STDFU_ERR_UNSUPPORTED;
    auto image = stdfu::Images().Get(pContext->hImage);
    if (!image || !image->placement || image->placement->phase != *phase)
        return STDFU_ERR_BAD_PARAMETER;
    // An image that does not fit its mapping entry is refused before the device is touched;
    // the code alone does not tell this case apart, the debugger output says which bytes.
    if (const dfu::Status& fit = image->placement->fit; !fit) {
        dfu::DebugLine(std::string("cannot launch the ") +
                       (*phase == dfu::Phase::Erase ? "erase" : "write") +
                       " phase: " + fit.error().message());
        return STDFU_ERR_BAD_PARAMETER;
    }
    const std::string path(pContext->szDevLink,
                           strnlen(pContext->szDevLink, sizeof pContext->szDevLink));
    const std::string key = PathKey(path);

    Operations& ops = Ops();
    {
        std::lock_guard lock(ops.mutex);
        if (!ops.running.insert(key).second) return STDFU_ERR_ALREADY_RUNNING;
    }
    auto release = [&ops, key] {
        std::lock_guard lock(ops.mutex);
        ops.running.erase(key);
    };
    auto transport = dfu::OpenTransport(path);
    if (!transport) {
        release();
        return stdfu::ErrorCode(transport.error());
    }
    auto started = dfu::Operation::Start(*phase, image, std::move(*transport), release);
    if (!started) {
        release();
        return stdfu::ErrorCode(started.error());
    }
    *pOperationId = ops.held.Add(
        std::make_shared<HeldOperation>(HeldOperation{*pContext, std::move(*started)}));
    return STDFU_OK;
}

uint32_t STDFUPRT_GetOperationStatus(uint32_t operationId, StdfuOperationContext* pContext) {
    if (!pContext) return STDFU_ERR_BAD_PARAMETER;
    auto held = Ops().held.Get(operationId);
    if (!held) return STDFU_ERR_BAD_PARAMETER;
    FillContext(*held, pContext);
    return STDFU_OK;
}

uint32_t STDFUPRT_StopOperation(uint32_t operationId, StdfuOperationContext* pContext) {
    auto held = Ops().held.Take(operationId);
    if (!held) return STDFU_ERR_BAD_PARAMETER;
    held->operation->Stop();
    if (pContext) FillContext(*held, pContext);
    return STDFU_OK;
}
