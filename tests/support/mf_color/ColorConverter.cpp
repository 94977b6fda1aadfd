#include "ColorConverter.h"
#include "YuvToRgb.h"

#include <mferror.h>
#include <wrl/client.h>

#include <iterator>
#include <mutex>
#include <new>

namespace QuivaneTestMf {

using Microsoft::WRL::ComPtr;

namespace {

bool LayoutOf(const GUID& subtype, YuvLayout& layout) {
    if (subtype == MFVideoFormat_NV12) {
        layout = YuvLayout::Nv12;
    } else if (subtype == MFVideoFormat_I420 || subtype == MFVideoFormat_IYUV) {
        layout = YuvLayout::I420;
    } else if (subtype == MFVideoFormat_YV12) {
        layout = YuvLayout::Yv12;
    } else if (subtype == MFVideoFormat_YUY2) {
        layout = YuvLayout::Yuy2;
    } else {
        return false;
    }
    return true;
}

bool IsVideo(IMFMediaType* type) {
    GUID major = GUID_NULL;
    return SUCCEEDED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) && major == MFMediaType_Video;
}

bool FrameSize(IMFMediaType* type, UINT32& width, UINT32& height) {
    width = height = 0;
    return SUCCEEDED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height)) && width != 0 && height != 0 &&
           width <= 16384 && height <= 16384;
}

HRESULT NewVideoType(const GUID& subtype, ComPtr<IMFMediaType>& type) {
    HRESULT hr = MFCreateMediaType(&type);
    if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_SUBTYPE, subtype);
    return hr;
}

// The full RGB32 type for frames of the input's size: top-down, so the stride is positive.
HRESULT OutputTypeFor(IMFMediaType* input, ComPtr<IMFMediaType>& type) {
    UINT32 width = 0;
    UINT32 height = 0;
    if (!FrameSize(input, width, height)) return MF_E_INVALIDMEDIATYPE;
    HRESULT hr = NewVideoType(MFVideoFormat_RGB32, type);
    if (SUCCEEDED(hr)) hr = MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    UINT32 numerator = 0;
    UINT32 denominator = 0;
    if (SUCCEEDED(hr) && SUCCEEDED(MFGetAttributeRatio(input, MF_MT_FRAME_RATE, &numerator, &denominator))) {
        hr = MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, numerator, denominator);
    }
    if (SUCCEEDED(hr)) {
        if (FAILED(MFGetAttributeRatio(input, MF_MT_PIXEL_ASPECT_RATIO, &numerator, &denominator))) {
            numerator = denominator = 1;
        }
        hr = MFSetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, numerator, denominator);
    }
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_DEFAULT_STRIDE, width * 4);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_SAMPLE_SIZE, width * 4 * height);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    return hr;
}

class ColorConverter final : public IMFTransform {
public:
    HRESULT Initialize() { return MFCreateAttributes(&attributes_, 2); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IMFTransform) return E_NOINTERFACE;
        *out = static_cast<IMFTransform*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IMFTransform: one input and one output stream, fixed.
    HRESULT STDMETHODCALLTYPE GetStreamLimits(DWORD* inputMin, DWORD* inputMax, DWORD* outputMin,
                                              DWORD* outputMax) override {
        if (inputMin == nullptr || inputMax == nullptr || outputMin == nullptr || outputMax == nullptr) {
            return E_POINTER;
        }
        *inputMin = *inputMax = *outputMin = *outputMax = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* inputs, DWORD* outputs) override {
        if (inputs == nullptr || outputs == nullptr) return E_POINTER;
        *inputs = *outputs = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override {
        if (info == nullptr) return E_POINTER;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard<std::mutex> lock(mutex_);
        *info = {};
        info->dwFlags = MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) override {
        if (info == nullptr) return E_POINTER;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard<std::mutex> lock(mutex_);
        *info = {};
        info->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES | MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                        MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE | MFT_OUTPUT_STREAM_PROVIDES_SAMPLES;
        info->cbSize = outputType_ ? frame_.width * 4 * frame_.height : 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetAttributes(IMFAttributes** out) override {
        if (out == nullptr) return E_POINTER;
        *out = attributes_.Get();
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteInputStream(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        if (index >= std::size(kInputSubtypes)) return MF_E_NO_MORE_TYPES;
        ComPtr<IMFMediaType> type;
        const HRESULT hr = NewVideoType(*kInputSubtypes[index], type);
        if (FAILED(hr)) return hr;
        *out = type.Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        if (index != 0) return MF_E_NO_MORE_TYPES;
        std::lock_guard<std::mutex> lock(mutex_);
        ComPtr<IMFMediaType> type;
        // Without an input type only the subtype is known.
        const HRESULT hr = inputType_ ? OutputTypeFor(inputType_.Get(), type) : NewVideoType(MFVideoFormat_RGB32, type);
        if (FAILED(hr)) return hr;
        *out = type.Detach();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override {
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        if ((flags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) != 0) return E_INVALIDARG;
        const bool testOnly = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
        if (type == nullptr) {
            if (!testOnly) {
                inputType_.Reset();
                outputType_.Reset();
            }
            return S_OK;
        }
        GUID subtype = GUID_NULL;
        YuvFrame frame;
        if (!IsVideo(type) || FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) || !LayoutOf(subtype, frame.layout) ||
            !FrameSize(type, frame.width, frame.height)) {
            return MF_E_INVALIDMEDIATYPE;
        }
        if (outputType_ && (frame.width != frame_.width || frame.height != frame_.height)) {
            return MF_E_INVALIDMEDIATYPE;
        }
        if (testOnly) return S_OK;
        ComPtr<IMFMediaType> copy;
        HRESULT hr = MFCreateMediaType(&copy);
        if (SUCCEEDED(hr)) hr = type->CopyAllItems(copy.Get());
        if (FAILED(hr)) return hr;
        inputType_ = copy;
        frame_ = frame;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override {
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        if ((flags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) != 0) return E_INVALIDARG;
        const bool testOnly = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
        if (type == nullptr) {
            if (!testOnly) outputType_.Reset();
            return S_OK;
        }
        GUID subtype = GUID_NULL;
        if (!IsVideo(type) || FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) || subtype != MFVideoFormat_RGB32) {
            return MF_E_INVALIDMEDIATYPE;
        }
        // A size, when given, must be the input's: the transform does not scale.
        UINT32 width = 0;
        UINT32 height = 0;
        const bool sized = FrameSize(type, width, height);
        if (!inputType_ && !sized) return MF_E_TRANSFORM_TYPE_NOT_SET;
        if (inputType_ && sized && (width != frame_.width || height != frame_.height)) return MF_E_INVALIDMEDIATYPE;
        INT32 stride = 0;
        if (sized && SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, reinterpret_cast<UINT32*>(&stride))) &&
            stride != static_cast<INT32>(width * 4)) {
            return MF_E_INVALIDMEDIATYPE; // only top-down, unpadded rows
        }
        if (testOnly) return S_OK;
        ComPtr<IMFMediaType> full;
        const HRESULT hr = OutputTypeFor(inputType_ ? inputType_.Get() : type, full);
        if (FAILED(hr)) return hr;
        outputType_ = full;
        if (!inputType_) {
            frame_.width = width;
            frame_.height = height;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD stream, IMFMediaType** out) override {
        return CurrentType(stream, out, true);
    }
    HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD stream, IMFMediaType** out) override {
        return CurrentType(stream, out, false);
    }

    HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD stream, DWORD* flags) override {
        if (flags == nullptr) return E_POINTER;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
        *flags = held_ ? 0 : MFT_INPUT_STATUS_ACCEPT_DATA;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOutputStatus(DWORD* flags) override {
        if (flags == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
        *flags = held_ ? MFT_OUTPUT_STATUS_SAMPLE_READY : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (message == MFT_MESSAGE_COMMAND_FLUSH) held_.Reset();
        // Draining keeps the one held sample until it is asked for; no Direct3D.
        return message == MFT_MESSAGE_SET_D3D_MANAGER ? E_NOTIMPL : S_OK;
    }

    HRESULT STDMETHODCALLTYPE ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override {
        if (sample == nullptr) return E_POINTER;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        if (flags != 0) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
        if (held_) return MF_E_NOTACCEPTING;
        held_ = sample;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers,
                                            DWORD* status) override {
        if (buffers == nullptr || status == nullptr) return E_POINTER;
        if (count != 1 || flags != 0) return E_INVALIDARG;
        if (buffers[0].dwStreamID != 0) return MF_E_INVALIDSTREAMNUMBER;
        *status = 0;
        buffers[0].dwStatus = 0;
        buffers[0].pEvents = nullptr;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!inputType_ || !outputType_) return MF_E_TRANSFORM_TYPE_NOT_SET;
        if (!held_) return MF_E_TRANSFORM_NEED_MORE_INPUT;
        ComPtr<IMFSample> input;
        input.Swap(held_); // consumed whether or not converting succeeds
        return Convert(input.Get(), buffers[0]);
    }

private:
    HRESULT CurrentType(DWORD stream, IMFMediaType** out, bool input) {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard<std::mutex> lock(mutex_);
        IMFMediaType* current = input ? inputType_.Get() : outputType_.Get();
        if (current == nullptr) return MF_E_TRANSFORM_TYPE_NOT_SET;
        ComPtr<IMFMediaType> copy;
        HRESULT hr = MFCreateMediaType(&copy);
        if (SUCCEEDED(hr)) hr = current->CopyAllItems(copy.Get());
        if (FAILED(hr)) return hr;
        *out = copy.Detach();
        return S_OK;
    }

    // Strides: the input type's, else guessed from the buffer's length.
    HRESULT FrameFor(DWORD length, YuvFrame& frame) {
        frame = frame_;
        UINT32 stride = 0;
        if (SUCCEEDED(inputType_->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) && static_cast<INT32>(stride) > 0) {
            StridesFromLuma(frame, stride);
            return length >= FrameBytes(frame) ? S_OK : MF_E_BUFFERTOOSMALL;
        }
        return GuessStrides(frame, length) ? S_OK : MF_E_BUFFERTOOSMALL;
    }

    HRESULT Convert(IMFSample* input, MFT_OUTPUT_DATA_BUFFER& target) {
        const DWORD outputBytes = frame_.width * 4 * frame_.height;
        ComPtr<IMFMediaBuffer> source;
        HRESULT hr = input->ConvertToContiguousBuffer(&source);
        if (FAILED(hr)) return hr;

        ComPtr<IMFSample> output = target.pSample;
        ComPtr<IMFMediaBuffer> destination;
        if (output) {
            // A caller's sample: its first buffer must take the whole picture.
            hr = output->GetBufferByIndex(0, &destination);
            DWORD capacity = 0;
            if (SUCCEEDED(hr)) hr = destination->GetMaxLength(&capacity);
            if (SUCCEEDED(hr) && capacity < outputBytes) hr = MF_E_BUFFERTOOSMALL;
        } else {
            hr = MFCreateSample(&output);
            if (SUCCEEDED(hr)) hr = MFCreateMemoryBuffer(outputBytes, &destination);
            if (SUCCEEDED(hr)) hr = output->AddBuffer(destination.Get());
        }
        if (FAILED(hr)) return hr;

        BYTE* from = nullptr;
        DWORD length = 0;
        hr = source->Lock(&from, nullptr, &length);
        if (FAILED(hr)) return hr;
        YuvFrame frame;
        hr = FrameFor(length, frame);
        if (SUCCEEDED(hr)) {
            BYTE* to = nullptr;
            hr = destination->Lock(&to, nullptr, nullptr);
            if (SUCCEEDED(hr)) {
                ConvertToBgrx(frame, from, to);
                destination->Unlock();
                hr = destination->SetCurrentLength(outputBytes);
            }
        }
        source->Unlock();
        if (FAILED(hr)) return hr;

        // Time, duration and flags such as the clean point travel with the picture.
        hr = input->CopyAllItems(output.Get());
        LONGLONG value = 0;
        if (SUCCEEDED(hr) && SUCCEEDED(input->GetSampleTime(&value))) hr = output->SetSampleTime(value);
        if (SUCCEEDED(hr) && SUCCEEDED(input->GetSampleDuration(&value))) hr = output->SetSampleDuration(value);
        DWORD sampleFlags = 0;
        if (SUCCEEDED(hr) && SUCCEEDED(input->GetSampleFlags(&sampleFlags))) hr = output->SetSampleFlags(sampleFlags);
        if (FAILED(hr)) return hr;
        if (!target.pSample) target.pSample = output.Detach();
        return S_OK;
    }

    ServerReference server_;
    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    ComPtr<IMFAttributes> attributes_;
    ComPtr<IMFMediaType> inputType_;
    ComPtr<IMFMediaType> outputType_;
    ComPtr<IMFSample> held_;
    YuvFrame frame_;
};

} // namespace

HRESULT CreateColorConverter(REFIID iid, void** out) {
    auto* converter = new (std::nothrow) ColorConverter();
    if (converter == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = converter->Initialize();
    if (SUCCEEDED(hr)) hr = converter->QueryInterface(iid, out);
    converter->Release();
    return hr;
}

} // namespace QuivaneTestMf
