// A firmware image: the elements (address + bytes) of one target of a DFU file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dfu/memory_map.h"
#include "dfu/result.h"

namespace dfu {

struct Element {
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

// The two phases of an update: the touched sectors erased, then the bytes written.
enum class Phase : uint8_t { Erase, Write };

// What filtering for a phase fixed: which alternate setting the image goes to and which
// sectors the phase works on.
struct Placement {
    Phase phase = Phase::Erase;
    uint8_t alternate = 0;        // alternate setting of the mapping entry filtered against
    std::vector<Sector> sectors;  // erase: the erasable sectors the image's bytes touch, once
                                  // each, in address order; write: the writable sectors that
                                  // hold the kept bytes (read-back checks their readable bit)
    Status fit;                   // whether every byte of the image filtered lay in writable
                                  // memory of the entry: a phase is not launched when not
};

struct Image {
    uint8_t alternate = 0;          // the target's alternate setting in the file
    std::string name;               // target name, empty when the target is unnamed
    std::vector<Element> elements;  // in file order; after write filtering, only writable bytes
    std::optional<Placement> placement;  // set by filtering

    // Total number of data bytes over all elements.
    uint64_t size() const;
};

}  // namespace dfu
