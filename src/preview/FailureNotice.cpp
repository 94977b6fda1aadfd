#include "FailureNotice.h"

#include "presentation/FailureReasons.h"

namespace Quivane {

void TellLoadFailure(PreviewPresenter& presenter, HWND ownWindow, HRESULT failure, const MediaFacts& facts) {
    if (!IsFailureToTell(static_cast<std::int32_t>(failure))) return;
    std::wstring reason = FailureReason(static_cast<std::int32_t>(failure), facts);
    if (ownWindow != nullptr) SetWindowTextW(ownWindow, FailureSentence(kCannotPreviewTitle, reason).c_str());
    presenter.SetFailureText(kCannotPreviewTitle, std::move(reason));
}

void ClearLoadFailure(PreviewPresenter& presenter, HWND ownWindow) {
    presenter.SetFailureText({}, {});
    if (ownWindow != nullptr) SetWindowTextW(ownWindow, L"");
}

} // namespace Quivane
