// The image handles of the boundary, shared by the file calls and the operations.
#pragma once

#include "dfu/image.h"
#include "stdfu/handles.h"

namespace stdfu {

HandleTable<dfu::Image>& Images();

}  // namespace stdfu
