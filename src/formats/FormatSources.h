#pragma once
// From a file's format to its frame source.
#include "FormatRow.h"
#include "frames/FrameSource.h"
#include "platform/StopToken.h"
#include "platform/StreamBytes.h"

#include <wincodec.h>

#include <memory>
#include <string>

namespace Quivane {

// A new source for the format that gives up once `stop` says so, or null
// when out of memory or the row has no decoder.
std::unique_ptr<FrameSource> CreateFrameSource(const FormatRow& format, const StopToken& stop = {});

// A file of no format we know, as the platform's imaging says it.
inline const HRESULT kUnknownFormat = WINCODEC_ERR_COMPONENTNOTFOUND;

// The format of a stream by its first bytes, else by `name`; null when
// neither is known. The stream is left at its start.
const FormatRow* ChooseFormatForStream(IStream* stream, const std::wstring& name);

// The same as every reader of a file asks it, so that a thumbnail, a preview
// and the tool give one file one answer: the name is the stream's own when
// none is given; kEmptyFile for a stream of no bytes, kUnknownFormat when
// neither the bytes nor the name tell a format.
[[nodiscard]] HRESULT FindStreamFormat(IStream* stream, const std::wstring& name, const FormatRow*& format);

} // namespace Quivane
