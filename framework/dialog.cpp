#include "framework/dialog.h"

const MessageEntry CDialogEx::messageEntries[] = {
    OnCommand<&CDialogEx::OnOK>(IDOK, BN_CLICKED),
    OnCommand<&CDialogEx::OnCancel>(IDCANCEL, BN_CLICKED),
};
const MessageMap CDialogEx::messageMap{&CWnd::messageMap, messageEntries};

INT_PTR CDialogEx::DoModal() {
    m_modal = true;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                             m_parent ? m_parent->m_hWnd : nullptr, &CDialogEx::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool CDialogEx::Create() {
    m_modal = false;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                m_parent ? m_parent->m_hWnd : nullptr, &CDialogEx::DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialogEx::EndDialog(INT_PTR result) {
    if (m_modal)
        ::EndDialog(m_hWnd, result);
    else
        DestroyWindow();
}

bool CDialogEx::UpdateData(bool save) {
    CDataExchange dx(*this, save);
    DoDataExchange(&dx);
    return !dx.Failed();
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

BOOL CDialogEx::OnInitDialog() {
    if (!UpdateData(false)) {
        EndDialog(-1);
        return FALSE;
    }
    return TRUE;
}

void CDialogEx::OnOK() { EndDialog(IDOK); }

void CDialogEx::OnCancel() { EndDialog(IDCANCEL); }

// Every message but WM_INITDIALOG reaches the object through its subclassing (CWnd::WindowProc);
// the dialog procedure only attaches the object and says "not handled" to the rest, so the dialog
// manager's own processing is what CWnd::Default() calls.
INT_PTR CALLBACK CDialogEx::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* self = reinterpret_cast<CDialogEx*>(lParam);
    if (!self->SubclassWindow(hWnd)) return FALSE;
    const BOOL result = self->OnInitDialog();
    // The template asks for no position of its own: the window starts centred on the screen.
    if (self->m_hWnd) self->CenterWindow();
    return result;
}
