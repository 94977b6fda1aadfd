#pragma once
#include <string>

namespace QuivaneTool {

// Decodes FILE and writes every composited frame as a straight-alpha PNG plus
// frames.tsv into OUTDIR. Returns the process exit code.
int RunFramesCommand(const std::wstring& file, const std::wstring& outDir, bool printTimes);

} // namespace QuivaneTool
