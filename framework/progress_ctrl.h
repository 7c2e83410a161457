// CProgressCtrl: the common controls' progress bar, with a message map of its own for subclasses
// that draw the bar themselves.
#pragma once

#include "framework/wnd.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }

    // Maps nothing of its own: the control's procedure does the rest.
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }
};
