// CMemDC2: an off-screen device context standing in for a target during one paint, so the target
// changes in a single copy and never flickers. Drawing uses the target's coordinates. It lives
// beside CTextProgressCtrl, the one control that paints through it, not among framework/'s
// device contexts, which only wrap what Win32 hands out.
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
