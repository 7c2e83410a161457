// CButton: a push button, bound to a dialog's template control by data exchange.
#pragma once

#include "framework/wnd.h"

class CButton : public CWnd {};
