#include "framework/progress_ctrl.h"

const MessageMap CProgressCtrl::messageMap{&CWnd::messageMap, {}};
