#include "update/failure_text.h"

#include "update/report.h"

namespace update {

std::string FailureText(const StdfuOperationContext& context) {
    if (context.errorCode == STDFU_ERR_UNSUPPORTED) return kUnsupportedText;
    return OperationReportText(context);
}

}  // namespace update
