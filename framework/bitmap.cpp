#include "framework/bitmap.h"

#include "framework/dc.h"

void CBitmap::Attach(HBITMAP bitmap) {
    DeleteObject();
    m_hObject = bitmap;
}

bool CBitmap::CreateCompatibleBitmap(const CDC& dc, int width, int height) {
    Attach(::CreateCompatibleBitmap(dc.m_hDC, width, height));
    return m_hObject != nullptr;
}

void CBitmap::DeleteObject() {
    if (m_hObject) ::DeleteObject(m_hObject);
    m_hObject = nullptr;
}
