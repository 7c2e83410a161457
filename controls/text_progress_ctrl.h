// Placeholder until the text progress bar lands: the plain progress bar.
#pragma once

#include "framework/progress_ctrl.h"

class CTextProgressCtrl : public CProgressCtrl {};
