#pragma once
#include <string>

namespace QuivaneTool {

// Decodes FILE and writes every composited frame as a straight-alpha PNG plus
// frames.tsv into OUTDIR. With a position (seconds, videos only) the still at
// that position is decoded instead of the representative one. Returns the
// process exit code.
int RunFramesCommand(const std::wstring& file, const std::wstring& outDir, bool printTimes, double atSeconds = -1);

} // namespace QuivaneTool
