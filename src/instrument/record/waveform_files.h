#pragma once
// Waveform files. The record itself reads and writes its three forms on an open stream
// (TSignalObj::SaveToBinaryFile and the others, waveform_files.cpp):
//   ".wfm"  binary, little-endian, packed: 190 + 8n bytes (190 + 16n for a spectrum)
//   ".txt"  verbose text, CR LF lines, beginning "This is text form of saved Waveform"
//   ".txty" the point lines of the verbose form only (written, never read)
// Streams must be opened in binary mode: the text form writes its own CR LF.
//
// Saving and recalling by file name, with the user's messages, belongs to the shell; the
// acquisition's auto-save reaches it through these hooks, which do nothing until the shell
// fills them in.

#include <string>

#include "framework/util/hook.h"
#include "framework/traces/trace_names.h"

namespace norv {

inline constexpr const char* kWaveformTextHeader = "This is text form of saved Waveform";

// (source record Ch1..S2, file name)
extern THook<void(TTraceId source, const std::string& fileName)> SaveWaveformBinary;
// (source record Ch1..S2, file name, only the point lines)
extern THook<void(TTraceId source, const std::string& fileName, bool yOnly)> SaveWaveformText;
// (memory 0..3 for M1..M4, file name, without messages) -> loaded
extern THook<bool(int memory, const std::string& fileName, bool silent)> LoadWaveformBinary;
// (memory 0..3 for M1..M4, file name) -> loaded
extern THook<bool(int memory, const std::string& fileName)> LoadWaveformText;

}  // namespace norv
