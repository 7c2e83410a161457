// CTextProgressCtrl: a progress bar that draws itself: the filled part, the empty rest, and one
// line of text centred over the bar in one colour over the filled part and another over the empty
// part. The text is the window text, or the percentage when that is empty.
#pragma once

#include "framework/progress_ctrl.h"

#include <string>

class CDC;

class CTextProgressCtrl : public CProgressCtrl {
public:
    CTextProgressCtrl();
    ~CTextProgressCtrl() override;

    // Returns the previous position, or -1 without a window (then nothing is stored). Repaints at
    // once when the filled part changes by a pixel or more, else not at all.
    int SetPos(int pos);
    void SetShowText(bool show);
    // Take effect at the next paint.
    void SetBarColor(COLORREF color) { m_colBar = color; }
    void SetEmptyColor(COLORREF color) { m_colEmpty = color; }
    void SetBarTextColor(COLORREF color) { m_colBarText = color; }
    void SetEmptyTextColor(COLORREF color) { m_colEmptyText = color; }

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }

protected:
    BOOL OnEraseBkgnd(HDC hDC);
    void OnPaint();
    void OnPrintClient(HDC hDC);
    void OnSize(UINT type, int width, int height);
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetText(WPARAM wParam, LPARAM lParam);

private:
    void PaintContent(CDC& dc);

    // The range is fixed: the updater shows percentages.
    static constexpr int kUpper = 100;
    static constexpr int kLower = 0;

    int m_nPos = 0;
    std::wstring m_strText;
    bool m_bShowText = true;
    int m_nBarWidth = -1;  // filled width at the last SetPos; -1 before the first or after a resize
    COLORREF m_colBar;
    COLORREF m_colEmpty = RGB(255, 255, 250);
    COLORREF m_colEmptyText;
    COLORREF m_colBarText = RGB(255, 255, 250);
};
