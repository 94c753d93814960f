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

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

inline constexpr const char* kWaveformTextHeader = "This is text form of saved Waveform";

struct TWaveformFileHooks {
  // (source record Ch1..S2, file name)
  THook<void(TTraceId source, const std::string& fileName)> SaveWaveformBinary{
      "WaveformFileHooks.SaveWaveformBinary"};
  // (source record Ch1..S2, file name, only the point lines)
  THook<void(TTraceId source, const std::string& fileName, bool yOnly)> SaveWaveformText{
      "WaveformFileHooks.SaveWaveformText"};
  // (memory 0..3 for M1..M4, file name, without messages) -> loaded
  THook<bool(int memory, const std::string& fileName, bool silent)> LoadWaveformBinary{
      "WaveformFileHooks.LoadWaveformBinary"};
  // (memory 0..3 for M1..M4, file name) -> loaded
  THook<bool(int memory, const std::string& fileName)> LoadWaveformText{"WaveformFileHooks.LoadWaveformText"};
};

extern TWaveformFileHooks WaveformFileHooks;
inline constinit auto& SaveWaveformBinary = WaveformFileHooks.SaveWaveformBinary;
inline constinit auto& SaveWaveformText = WaveformFileHooks.SaveWaveformText;
inline constinit auto& LoadWaveformBinary = WaveformFileHooks.LoadWaveformBinary;
inline constinit auto& LoadWaveformText = WaveformFileHooks.LoadWaveformText;

}  // namespace norv
