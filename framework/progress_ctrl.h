// CProgressCtrl: the common controls' progress bar, bound to a dialog's template control, with a
// message map of its own for subclasses that draw the bar themselves.
#pragma once

#include "framework/wnd.h"

class CProgressCtrl : public CWnd {
public:
    // Maps nothing of its own: the control's procedure does the rest.
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }
};
