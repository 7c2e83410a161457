// Data exchange between a dialog's members and its controls, in one DoDataExchange per dialog
// whose direction is the exchange's flag.
#pragma once

#include <string>

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd& dialog, bool saveAndValidate)
        : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* m_pDlgWnd;
    // true: controls -> members; false: members -> controls.
    bool m_bSaveAndValidate;

    void Fail() { m_failed = true; }
    bool Failed() const { return m_failed; }

private:
    bool m_failed = false;
};

// A text member and the window text of control id.
void DDX_Text(CDataExchange* pDX, int id, std::wstring& value);
// Binds a control object to the template's control id at the first exchange (subclassing it);
// idle once bound.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
