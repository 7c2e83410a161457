// CMemDC2: an off-screen device context standing in for a target during one paint, so the target
// changes in a single copy and never flickers. Drawing uses the target's coordinates.
#pragma once

#include "framework/bitmap.h"
#include "framework/dc.h"

class CMemDC2 : public CDC {
public:
    // Covers the target's clip box.
    explicit CMemDC2(CDC& target);
    // Copies the drawing to the target.
    ~CMemDC2();

private:
    CBitmap m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
    CDC& m_target;
    RECT m_rect;
};
