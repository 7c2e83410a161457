#include "framework/data_exchange.h"

#include "framework/wnd.h"

void DDX_Text(CDataExchange* pDX, int id, std::wstring& value) {
    CWnd control = pDX->m_pDlgWnd->GetDlgItem(id);
    if (!control.m_hWnd) {
        pDX->Fail();
        return;
    }
    if (pDX->m_bSaveAndValidate)
        value = control.GetWindowText();
    else
        control.SetWindowText(value);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd) return;
    if (!control.SubclassDlgItem(id, *pDX->m_pDlgWnd)) pDX->Fail();
}
