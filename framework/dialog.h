// CDialogEx: a dialog from a template resource, run modally (DoModal) or, for tests, created
// modeless (Create). The object is attached to its window once, at WM_INITDIALOG; from then on
// every message goes through the message maps (see message_map.h).
#pragma once

#include "framework/data_exchange.h"
#include "framework/wnd.h"

class CDialogEx : public CWnd {
public:
    explicit CDialogEx(UINT templateId, CWnd* parent = nullptr)
        : m_templateId(templateId), m_parent(parent) {}

    // Runs the dialog until it ends; returns the end result, or -1 when the window could not be
    // created.
    INT_PTR DoModal();
    // Creates the dialog modeless; its end commands then destroy the window. False when the
    // window could not be created.
    bool Create();
    void EndDialog(INT_PTR result);

    // Transfers between the text members and the controls: save = true reads the controls into the
    // members, false writes the members into the controls. The first transfer also binds the
    // control objects. False when a binding failed.
    bool UpdateData(bool save);

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // The first transfer to the controls; ends the dialog with -1 when it fails.
    virtual BOOL OnInitDialog();
    void OnOK();
    void OnCancel();

    // The window's own handling, for handlers that add to it.
    void OnPaint() { Default(); }
    void OnClose() { Default(); }
    void OnDestroy() { Default(); }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    CWnd* m_parent;
    bool m_modal = false;
};
