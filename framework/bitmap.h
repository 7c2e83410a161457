// CBitmap: owns one HBITMAP and deletes it with itself.
#pragma once

#include <windows.h>

class CDC;

class CBitmap {
public:
    CBitmap() = default;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    ~CBitmap() { DeleteObject(); }

    HBITMAP m_hObject = nullptr;
    HBITMAP GetSafeHandle() const { return m_hObject; }

    // Takes ownership of a bitmap handle (a null handle leaves the object empty).
    void Attach(HBITMAP bitmap);
    bool CreateCompatibleBitmap(const CDC& dc, int width, int height);
    bool GetBitmap(BITMAP* info) const {
        return m_hObject && ::GetObjectW(m_hObject, sizeof *info, info) == sizeof *info;
    }
    void DeleteObject();
};
