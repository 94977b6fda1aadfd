#include "FailureErrorInfo.h"

#include "Failure.h"

#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

void PublishFailurePlace(HRESULT hr) {
    const auto recorded = RecordedFailure();
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (recorded && recorded->hr == hr && SUCCEEDED(CreateErrorInfo(&create))) {
        std::wstring place = DescribeFailurePlace(*recorded);
        if (FAILED(create->SetDescription(place.data())) || FAILED(create.As(&info))) info.Reset();
    }
    // Without a place, an error object of an earlier call must not speak for this one.
    SetErrorInfo(0, info.Get());
}

std::wstring TakePublishedFailurePlace(IUnknown* object, REFIID iid) {
    ComPtr<ISupportErrorInfo> supports;
    if (object == nullptr || FAILED(object->QueryInterface(IID_PPV_ARGS(&supports))) ||
        supports->InterfaceSupportsErrorInfo(iid) != S_OK) {
        return {};
    }
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR description = nullptr;
    if (FAILED(info->GetDescription(&description)) || description == nullptr) return {};
    std::wstring place(description, SysStringLen(description));
    SysFreeString(description);
    return place;
}

} // namespace Quivane
