// Writes the seeds of every harness from the program's own output: setup dumps and
// subtree listings, records acquired from the simulator and saved in each form, its
// sample stream, the English language file, ini files written through the ini writer,
// and the replies the tests' fake instrument gives.
//
// Usage: make_seeds <folder>; the seeds go to <folder>/<target>/.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "framework/language/language.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_encoding.h"
#include "framework/util/numeric_utils.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/simulator/simulator.h"
#include "shell/remote/remote_protocol.h"
#include "shell/save/color_grade_database.h"
#include "support/fake_clock.h"
#include "support/fuzz_program.h"
#include "support/record_files.h"

using namespace norv;
namespace fs = std::filesystem;

namespace {

fs::path g_out;

void Seed(const char* target, const std::string& name, std::string_view bytes) {
  const fs::path dir = g_out / target;
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Joined(const std::vector<std::string>& lines, std::string_view end = "\n") {
  std::string text;
  for (const std::string& line : lines) text.append(line).append(end);
  return text;
}

std::vector<std::string> Dump() {
  std::vector<std::string> lines;
  RootSpider->DumpSettings(lines);
  return lines;
}

std::string Exec(std::string_view line) {
  try {
    return RootSpider->ExecCommandLine(line, false);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

void FreshTree() {
  fuzz::ResetProgramState();
  fuzz::ResetRecords();
  ProgramRandom().SetSeed(3);
  fuzz::CreateRegisteredTree();
}

// --- command lines and setups ---------------------------------------------------------

// A state away from the start-up values, set by commands of each unit.
constexpr const char* kChangedState =
    "CH1:SCALE 50M;OFFSET -0.1;:CH2:DISPLAY OFF;:TB:MODE B;DUALDEL ON;SCALEA 2.5N;UNITS BIT;"
    ":TRIG:SOURCE EXTHF;MODE TRIG;HOLDOFF 1U;ATTEN:UNIT RATIO;:ACQ:CH1:MODE ENVMINMAX;NENV 16;RECLEN 1024;"
    ":ACQ:SAMPL ALTERN;REACT BEEP,SAVE;RUNUNTIL NACQ;NACQ 100";

// The lines of a setup in parts: a new part at each top-level node, and after
// kSetupPartLines lines.
std::vector<std::vector<std::string>> SetupParts(const std::vector<std::string>& lines) {
  constexpr size_t kSetupPartLines = 32;
  std::vector<std::vector<std::string>> parts;
  std::string_view unit;
  for (const std::string& line : lines) {
    const std::string_view lineUnit = std::string_view(line).substr(0, line.find_first_of(": "));
    if (parts.empty() || lineUnit != unit || parts.back().size() >= kSetupPartLines) parts.emplace_back();
    unit = lineUnit;
    parts.back().push_back(line);
  }
  return parts;
}

void CommandAndSetupSeeds() {
  FreshTree();
  const std::vector<std::string> dump = Dump();
  // Whole and in parts, as the setups below.
  Seed("command_line", "dump-as-commands", Joined(dump));
  std::vector<std::string> queries, listings;
  for (const std::string& line : dump) queries.push_back(line.substr(0, line.find(' ')) + "?");
  const auto dumpParts = SetupParts(dump);
  const auto queryParts = SetupParts(queries);
  for (size_t i = 0; i < dumpParts.size(); ++i) {
    Seed("command_line", "dump-as-commands-" + std::to_string(i + 1), Joined(dumpParts[i]));
    Seed("command_line", "every-query-" + std::to_string(i + 1), Joined(queryParts[i]));
  }
  for (const TSpiderEntry& entry : RootSpider->Entries()) {
    if (entry.Child) listings.push_back(Exec(entry.Mnemonic + "?"));
  }
  Seed("command_line", "subtree-listings", Joined(listings));
  Seed("command_line", "changed-state", std::string(kChangedState) + "\nHEADER OFF\nACQ?\nTB:SCALEA?\n");
  // Long lines: 0xF0 + n makes the last line 1 MiB >> n bytes, its first (second byte)
  // bytes once and the rest repeated.
  const auto longLine = [](const std::string& name, int shift, int head, const std::string& lines) {
    Seed("command_line", "long-" + name,
         std::string{static_cast<char>(0xF0 + shift), static_cast<char>(head)} + lines);
  };
  longLine("marks", 0, 0, "?");
  longLine("colons", 0, 0, ":");
  longLine("segments", 0, 0, "a:");
  longLine("stars", 2, 0, "*");
  longLine("set-commands", 2, 0, "TB:SCALEA 2N;");
  longLine("queries", 4, 0, "HEADER OFF\nTB:SCALEA?;");
  longLine("number", 0, 10, "TB:SCALEA 7");
  longLine("quoted-name", 0, 14, "ACQ:FILENAME \"n");
  longLine("blanks", 0, 9, "TB:SCALEA ");
  longLine("marks-in-a-path", 3, 5, "DISPL:???:STYLE VECTORS;");

  // One whole setup; the others in parts of a unit each, which load in a fraction of the
  // time, so that many more inputs run (crossing parts over makes whole setups again).
  Seed("setup_text", "start-up", SetupFileTextFromLines(dump));
  const auto parts = SetupParts(dump);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string name = "start-up-" + std::to_string(i + 1);
    Seed("setup_text", name, SetupFileTextFromLines(parts[i]));
    Seed("setup_text", name + "-crlf-bom", "\xEF\xBB\xBF" + Joined(parts[i], "\r\n"));
    Seed("setup_text", name + "-utf16", EncodeText(SetupFileTextFromLines(parts[i]), TTextEncoding::Utf16LE));
  }
  Exec(kChangedState);
  const auto changedParts = SetupParts(Dump());
  for (size_t i = 0; i < changedParts.size(); ++i) {
    const std::string name = "changed-" + std::to_string(i + 1);
    Seed("setup_text", name, SetupFileTextFromLines(changedParts[i]));
    Seed("setup_text", name + "-code-page",
         EncodeText(SetupFileTextFromLines(changedParts[i]), TTextEncoding::Ansi));
  }
}

// --- records and the sample stream -------------------------------------------------------

TSimGenerator Generator(TSimWaveform waveform, double amplitude, double frequency) {
  TSimGenerator g = DefaultSimGenerator(1);
  g.Waveform = waveform;
  g.Amplitude = amplitude;
  g.Frequency = frequency;
  return g;
}

void RecordSeeds() {
  FreshTree();
  Exec("ACQ:CH1:RECLEN 64;:ACQ:CH2:RECLEN 32;:ACQ:SAMPL ALTERN;:TB:SCALEA 2N");
  TSimulator& sim = ProgramSimulator();
  sim.SimSetGenerator(1, Generator(TSimWaveform::Sinewave, 0.4, 2.5e8));
  sim.SimSetGenerator(2, Generator(TSimWaveform::Pulse, 0.25, 1e8));
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannelSource(3, 2);
  test::FakeClock clock;
  SetProgramClock(clock);
  TAcquisitionCycle& cycle = CreateAcquisitionCycle(clock, clock);
  GuiReady = true;
  SingleFlag = true;
  for (int step = 0; SingleFlag && step < 1000000; ++step) cycle.AcquisitionIdleStep();
  DestroyAcquisitionCycle();

  const auto save = [](const std::string& name, const TSignalObj& record) {
    for (const auto& [form, target] :
         {std::pair{fuzz::TRecordForm::Binary, "wfm"}, std::pair{fuzz::TRecordForm::Text, "txt"}}) {
      if (const auto bytes = fuzz::SaveRecord(record, form)) Seed(target, name, *bytes);
    }
  };
  save("sine-ch1", SignalObjs()[TTraceId::Ch1]);
  save("pulse-ch2", SignalObjs()[TTraceId::Ch2]);

  TSignalObj spectrum = SignalObjs()[TTraceId::Ch1];
  spectrum.SetRecLen(32);
  spectrum.SetSpectrum(true);
  spectrum.SetFFTWindow(2);
  for (int i = 0; i < 32; ++i) spectrum.SetIm(i, 0.01 * i - 0.1);
  spectrum.SetHorUnit("Hz");
  spectrum.SetVertUnit("V\xC2\xB2");
  save("spectrum", spectrum);

  TSignalObj reflection = SignalObjs()[TTraceId::Ch2];
  reflection.SetTdrUnitKind(tukRho);
  reflection.SetTdrAmplitude(0.25);
  reflection.SetTdrBase(-0.01);
  reflection.SetPropagation(0.66);
  reflection.SetHorUnit("m");
  save("reflection", reflection);
}

// The words of one simulated record (end word included).
std::vector<uint16_t> SimulatedStream(int channels, int recLen) {
  TRandomSource random(7);
  TSimulator sim(random);
  bool acquiring = false;
  sim.BindAcquiringFlag(acquiring);
  sim.SimSetGenerator(1, Generator(TSimWaveform::Sinewave, 0.4, 2.5e8));
  sim.SimSetGenerator(2, Generator(TSimWaveform::Prbs, 0.5, 1e9));
  sim.SimSetChannelSource(2, 1);
  sim.SimSetChannelSource(3, 2);
  sim.SimSetChannels(channels);
  sim.SimSetRecLen(recLen);
  sim.SimSetTimeDiv(1e-9);
  std::vector<uint16_t> words;
  sim.SimStartRecord();
  for (int slot = 0; slot < 10000000; ++slot) {
    if (!sim.SimRecordReady()) continue;
    words.push_back(sim.SimNextSample());
    if (words.back() == EndOfRecordWord) break;
  }
  return words;
}

// The stream as USB transfers of the given sizes in turn (a 16-bit length before each).
std::string Transfers(const std::vector<uint16_t>& words, std::initializer_list<size_t> sizes) {
  std::string bytes;
  for (const uint16_t word : words) {
    bytes += static_cast<char>(word & 0xFF);
    bytes += static_cast<char>(word >> 8);
  }
  std::string framed;
  size_t at = 0;
  for (auto size = sizes.begin(); at < bytes.size(); ++size) {
    if (size == sizes.end()) size = sizes.begin();
    const size_t n = std::min(*size, bytes.size() - at);
    framed += static_cast<char>(n & 0xFF);
    framed += static_cast<char>(n >> 8);
    framed += bytes.substr(at, n);
    at += n;
  }
  return framed;
}

void SampleStreamSeeds() {
  const std::vector<uint16_t> both = SimulatedStream(ReadKindBoth, 64);
  Seed("sample_stream", "both-channels", "ACQ:CH1:RECLEN 64\n" + Transfers(both, {256}));
  Seed(
      "sample_stream", "both-odd-transfers",
      "ACQ:CH1:RECLEN 64;MODE AVGSTAB;NAVG 4\n" + Transfers(both, {63, 1, 100, 37}) + Transfers(both, {257}));
  std::vector<uint16_t> ch1 = SimulatedStream(ReadKindCh1, 32), ch2 = SimulatedStream(ReadKindCh2, 32);
  ch1.insert(ch1.begin() + 5, {FillerWord, FillerWord});
  Seed("sample_stream", "alternate-envelope",
       "ACQ:SAMPL ALTERN;:ACQ:CH1:RECLEN 32;MODE ENVMINMAX;NENV 2;:ACQ:CH2:RECLEN 32;MODE ENVMAX\n" +
           Transfers(ch1, {31, 33}) + Transfers(ch2, {64}) + Transfers(ch1, {64}) + Transfers(ch2, {5, 64}));
  // Channel 2 fed by the simulator, channel 1 by the instrument.
  Seed("sample_stream", "simulated-ch2",
       "GSS:CH2 B;:ACQ:CH1:RECLEN 32\n" + Transfers(ch1, {64}) + Transfers(ch1, {64}));
  Seed("sample_stream", "dual-delay",
       "TB:MODE B;DUALDEL ON;:ACQ:CH1:RECLEN 32\n" + Transfers(SimulatedStream(ReadKindBoth, 32), {128}) +
           Transfers(SimulatedStream(ReadKindBoth, 32), {127, 200}));
}

// --- language and ini files --------------------------------------------------------------

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void LanguageSeeds() {
  fuzz::ClearProgramHome();
  TLanguageStrings table;
  RegisterDefaultLangStrings(table);
  // The head of the English file as the program writes it (the whole file is large enough
  // to slow every run down).
  {
    TLangIniFile ini(ProgramDir() / LanguageFileName("ENG"));
    WriteLangValue(ini, "Common", "Language", "English");
    for (size_t i = 0; i < table.Count() && i < 60; ++i) {
      const std::string& key = table.Key(i);
      WriteLangValue(ini, "Resource Strings", "rs" + key, table.GetLangStr(key, true));
    }
    Seed("language", "english-file-head", ini.GetText());
  }
  // A short translation: UTF-16, quoted texts with line breaks, placeholders moved.
  const fs::path translation = ProgramDir() / LanguageFileName("XX");
  {
    TLangIniFile ini(translation);
    ini.SetEncoding(TTextEncoding::Utf16LE);
    WriteLangValue(ini, "Common", "Language", "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9");
    for (size_t i = 0; i < table.Count() && i < 40; ++i) {
      const std::string& key = table.Key(i);
      WriteLangValue(ini, "Resource Strings", "rs" + key,
                     "'" + table.GetLangStr(key, true) + "'\r\n #" + std::to_string(i));
    }
    ini.UpdateFile();
  }
  Seed("language", "translation-utf16", ReadFile(translation));
}

// A string as FuzzedDataProvider's ConsumeRandomLengthString reads it back.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out + "\\|";
}

void IniSeed(const std::string& name, const std::string& file, std::string_view section, std::string_view key,
             std::string_view value, uint8_t choice) {
  Seed("ini", name, Escaped(section) + Escaped(key) + Escaped(value) + file + static_cast<char>(choice));
}

void IniSeeds() {
  fuzz::ClearProgramHome();
  WriteDemoUnit("Norv-L2E", 1, 6, 251, 9, 1234, true);
  WriteDemoUnit("Norv-L2E", 2, 6, 123, 12, 77, false);
  WriteDemoUnit("Second", 1, 3, 0, 20, 5, false);
  const std::string demo = ReadFile(ProgramDir() / DemoUnitsFileName);
  const fs::path settings = ProgramDir() / "Settings.ini";
  {
    TMemIniFile_Dot ini(settings);
    ini.WriteFloat("Display", "Persistence", 0.1);
    ini.WriteFloat("Display", "Intensity", -1.5e-300);
    ini.WriteBool("Display", "Grid", true);
    ini.WriteString("Paths", "Setups", "/home/user/Setup Files/µ dir");
    ini.WriteInteger("Paths", "Count", -2147483648LL);
    ini.UpdateFile();
  }
  std::string edited = "; written by hand\r\n" + ReadFile(settings);
  for (size_t at = 0; (at = edited.find('\n', at)) != std::string::npos; at += 2) {
    if (at == 0 || edited[at - 1] != '\r') edited.insert(at++, 1, '\r');
  }
  // Choice byte: operation (0 write, 1 delete key, 2 erase section) + 4 case-sensitive +
  // 8 write at once + 16 names from the file.
  IniSeed("demo-write", demo, "Norv-L2E Instrument", "Block 1 SerNo", "4321", 0);
  IniSeed("demo-new-section", demo, "Third Instrument", "Block 1 Year", "21", 8);
  IniSeed("settings-delete", edited, "display", "GRID", "", 1);
  IniSeed("settings-erase", edited, "Paths", "", "", 2 + 4);
  IniSeed("settings-from-file", EncodeText(edited, TTextEncoding::Utf16LE), "", "", " 2.5E-3 ", 16 + 8);
}

// --- instrument replies ------------------------------------------------------------------

void ReplySeeds() {
  // In the order the harness asks: connection, identity, typed queries, trigger search.
  const std::vector<std::string> plain{"1 255 251 9 1234\r\n",
                                       "1 255 251 9 1234\r\n",
                                       "3.9.4 (20 Jan 2020)\r\n",
                                       "7\r\n",
                                       "512\r\n",
                                       "-3\r\n",
                                       "1.5E-9\r\n",
                                       "0.25\r\n",
                                       "Trig\r\n",
                                       "TRIG_ON\r\n",
                                       "1.25E9\r\n",
                                       "38.5\r\n",
                                       "0\r\n",
                                       "TRIG_OFF\r\n",
                                       "TRIG_ON\r\n",
                                       "TRIG_OFF\r\n",
                                       "TRIG_OFF\r\n",
                                       "TRIG_ON\r\n",
                                       "TRIG_ON\r\n",
                                       "TRIG_OFF\r\n",
                                       "TRIG_ON\r\n",
                                       "TRIG_ON\r\n"};
  std::string seed;
  for (const std::string& reply : plain) seed += reply + "\x1E";
  Seed("replies", "plain", seed);
  // LAN option (options code 123) with a firmware that reports the MAC address.
  Seed("replies", "lan-identity",
       "1 255 123 12 77\r\n\x1E"
       "1 255 123 12 77\r\n\x1E"
       "3.10.4 (1 Mar 2021)\r\n\x1E"
       "12\r\n\x1E"
       "0 85 1 126 8 210\r\n\x1E"
       "\x1E"
       "x\r\n\x1E"
       "TRIG_ON\r\n");
  // Replies ending in LF alone, as older firmware sends them.
  Seed("replies", "lf-only",
       "1 255 251 9 1234\n\x1E"
       "1 255 251 9 1234\n\x1E"
       "3.7.4\n\x1E"
       "3\n\x1E"
       "TRIG_ON\n");
}

// The byte for the request limit, no piece sizes, then what goes over the socket.
void RemoteFramingSeeds() {
  const std::string head("\xF0\x00", 2);
  Seed("remote_framing", "session",
       head + "TB:SCALEA 2.5N\nTB:SCALEA?\nHEADER OFF;WFM:DATA?\n\nWFM:PREAMB? xinc\n");
  Seed("remote_framing", "bad-lines",
       head + std::string(300, 'A') + "\nHEADER? \xFF\nTB:UNITS? \xC2\xB5\nTB:SCA");
  Seed("remote_framing", "answers",
       head + EncodeFrame(true, "TB:SCALEA 2.5 ns/div") + EncodeFrame(false, "ERROR!  Mnemonics is Absent") +
           EncodeFrame(true, ""));
}

// --- Configuration.ini ------------------------------------------------------------------

void ConfigurationSeeds() {
  Seed("configuration", "entries",
       "\n[Instrument1 Instrument]\r\nName=Bench scope\r\nInterface=LAN\r\nIP Address=10.0.0.7\r\n"
       "[Demo1 Instrument]\r\nName=\r\nInterface=Demo\r\n[Default LAN Instrument]\r\nName=Lab\r\n"
       "Interface=LAN\r\nIP Address=192.168.1.55\r\n[COMMON]\r\nStart Unit=Instrument1\r\n");
  Seed("configuration", "damaged",
       "my_scope\n[Instrument9 Instrument]\nInterface=LAN\n[instrument2]\nName=My Scope\nInterface=LAN\n"
       "IP Address=10.0.0\n[absent Instrument]\nInterface=USB\n[COMMON]\nStart Unit=Default Auto\n"
       "Last Smart Instrument=Default LAN\n");
}

}  // namespace

// --- mask files ----------------------------------------------------------------------------

// The first byte: layout (0 user, 1 and 2 standard, 3 setup text) + 4 x (margin + 32).
void MaskSeed(const std::string& name, int layout, int margin, const std::string& text) {
  Seed("mask_files", name, std::string(1, static_cast<char>(layout + 4 * (margin + 32))) + text);
}

void MaskSeeds() {
  MaskSeed("user", 0, 0,
           "[COMMON]\nSignature=User Mask\nMask Name=\nTime by Division=1E-9\nX of Begin Time=0\n"
           "Value by Division=0.1\nMiddle Value=0\nList of Polygons=1, 2\n[Polygon 1]\nNumber of Vertex=4\n"
           "Vertex 1=100, 100\nVertex 2=900, 150\nVertex 3=700, 600\nVertex 4=300, 700\n[Polygon 2]\n"
           "Number of Vertex=3\nVertex 1=2000, 1000\nVertex 2=3999, 1023\nVertex 3=3000, 10\n");
  const std::string eye =
      "[COMMON]\nSignature=Standard Mask\nMask Name=Eye\nBit Rate=2.488 Gbps\nType of Mask=Eye\n"
      "Type of Margins=HEXAGON\nList of Polygons=1, 2\n[Polygon 1]\nNumber of Vertex=6\nVertex 1=0.15, 0.5\n"
      "Vertex 2=0.35, 0.8\nVertex 3=0.65, 0.8\nVertex 4=0.85, 0.5\nVertex 5=0.65, 0.2\nVertex 6=0.35, 0.2\n"
      "[Polygon 2]\nNumber of Vertex=4\nVertex 1=-1, 1.2\nVertex 2=2, 1.2\nVertex 3=2, MAX\nVertex 4=-1, "
      "MAX\n";
  MaskSeed("eye", 1, 0, eye);
  MaskSeed("eye-margin", 1, 10, eye);
  MaskSeed("pulse", 1, -5,
           "[COMMON]\nSignature=Standard Mask\nBit Rate=2 Mbps\nType of Mask=Pulse\nTime by Division=1E-7\n"
           "X of Begin Time=1\nValue by Division=0.2\nMiddle Value=0.1\nList of Polygons=1\n[Polygon 1]\n"
           "Number of Vertex=3\nVertex 1=0, MIN\nVertex 2=0.5, 0.3\nVertex 3=1, MIN\n");
  MaskSeed(
      "line", 2, 20,
      "MASK_FILE_VXNORV\n\"Line\"\n:MTES:SCAL:XDEL 4E-10\n/* Region Number         */  1\n"
      "/* Region Type           */  STD\n/* Number of vertices    */  3\n0.25, 0.5\n0.5, MAX\n0.75, 0.5\n"
      "/* Region Number         */  1\n/* Region Type           */  MARGIN_MAX\n"
      "/* Number of vertices    */  3\n0.15, 0.5\n0.5, MAX\n0.85, 0.5\n");
  MaskSeed("setup", 3, 0,
           "#Poly=1,BitP=4E-10,TB=6.66667E-11,X0=0,VDiv=0,V0=0,StdI=0,MskI=0,MskNm=Eye,Marg=-10,Kind=1,"
           "\"Poly1=100,200_300,400_500,100_\",#MgPly=1,\"MgPly1=110,210_290,390_490,110_\"");
}

// --- DemoUnits.ini, the pattern-length list, the help map, colour-grade databases ------

// Five bytes: the demo instrument (bits 0-1) and the model chosen (the rest), its options,
// year and serial number; then the file.
void DemoUnitSeeds() {
  fuzz::ClearProgramHome();
  WriteDemoUnit("Default Demo", 1, 251, 0, 12, 77, true);
  WriteDemoUnit("Demo1", 1, 0, 0, 0, 0, true);
  WriteDemoUnit("Demo1", 2, 2, 123, 9, 1500, false);
  WriteDemoUnit("Demo2", 1, 300, -1, 9999, 70000, true);
  const std::string demo = ReadFile(ProgramDir() / DemoUnitsFileName);
  Seed("demo_units", "written", std::string("\x04\x7B\x05\x10\x27", 5) + demo);
  Seed("demo_units", "second-block", std::string("\x0D\x00\x30\xFF\x03", 5) + demo);
  Seed("demo_units", "hand-edited",
       std::string("\x02\x81\x09\x2A\x00", 5) +
           "; demo models\r\n[Demo2 Instrument]\r\nBlock 1 ModelFlashCode = 250\r\nBlock 1 OptionCode=abc\r\n"
           "Block 1 Year=-3\r\nblock 1 serno=0x10\r\n[Demo2 Instrument]\r\nBlock 1 Year=15\r\n");
}

// One byte for the dialog's edit, then the list file.
void PatternLengthSeeds() {
  fuzz::ClearProgramHome();
  std::vector<std::string> typical;
  for (int k = 7; k <= 15; ++k) typical.push_back(std::to_string((1 << k) - 1));
  Seed("pattern_length", "typical", std::string(1, '\x00') + Joined(typical, "\r\n"));
  Seed("pattern_length", "hand-edited",
       std::string(1, '\x4A') + " 127 (2^7-1)\r\n\t511\n\n-5\r\nabc\r99999999999\n65535\n127\n");
  std::string full;
  for (int i = 0; i < 1100; ++i) full += std::to_string(31 + 37 * i) + "\r\n";
  Seed("pattern_length", "over-capacity", std::string(1, '\x02') + full);
}

void HelpMapSeeds() {
  Seed("help_map", "written",
       "1706 Trig_Form.html\n1707 Trig_Form.html\n2100 Acq_Form.html\n2101 Acq_Form.html\n");
  Seed("help_map", "hand-edited",
       "1 index.html\r\n5 a.html\r\nx b.html\n7\n8 ../c.html\n9  \n10 d e.html \n-3 e.html\n5 f.html\n");
}

// The header of a recording of a sine, where its first counted cell lies, and the
// counters from there on.
void ColorGradeSeeds() {
  TSignalObj record;
  record.SetRecLen(512);
  record.SetVertScale(0.1);
  record.SetVertOffset(0.02);
  for (int i = 0; i < 512; ++i) record.SetY(i, 0.3 * std::sin(i * 0.05));
  TColorGradeDatabase database;
  database.Start(TTraceId::Ch1);
  for (int i = 0; i < 3; ++i) database.Accumulate(record);
  const std::vector<uint8_t>& bytes = database.Bytes();
  size_t cell = 0;
  while (cell + 1 < size_t{kCgsColumns} * kCgsRows &&
         database.Hits(static_cast<int>(cell / kCgsRows), static_cast<int>(cell % kCgsRows) + 1) == 0)
    ++cell;
  std::string seed(bytes.begin(), bytes.begin() + kCgsHeaderSize);
  for (int i = 0; i < 4; ++i) seed += static_cast<char>(cell >> (8 * i) & 0xFF);
  const size_t from = kCgsHeaderSize + 4 * cell;
  const std::string counters(
      bytes.begin() + static_cast<std::ptrdiff_t>(from),
      bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + 8192)));
  Seed("color_grade", "sine", seed + counters);
  seed[0] = 3;  // the header as given, the file one byte short
  Seed("color_grade", "sine-short", seed + counters.substr(0, 64));
  Seed("color_grade", "header-only", seed.substr(0, kCgsHeaderSize));
}

// --- CalibrImit.ini ---------------------------------------------------------------------

// The first byte: model (0 family L, 1 family K, 2 neither) + 4 optics + 8 generators +
// 16 x recall set (0..2) + 64 for the adjustment store. Each '@' of the text stands for
// the section prefix.
void CalibrImitSeed(const std::string& name, int choice, const std::string& prefix, std::string text) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + prefix.size()))
    text.replace(at, 1, prefix);
  Seed("calibr_imit", name, std::string(1, static_cast<char>(choice)) + text);
}

void CalibrImitSeeds() {
  CalibrImitSeed("lxx", 0, "Vexilor_Norv-Lxx.Calibr.",
                 "[@Calibr:Sampler:Ch1:FullBW:]\r\nPlusD=45000\r\nMinusD=24000\r\nLfComp=30000\r\n"
                 "ADC200mV=4100\r\nGainFix=low\r\n[@Calibr:Sampler:Ch2:NarrowBW:]\r\nPromBrNBW=650\r\n"
                 "GainFix=HIGH\r\n[@Calibr:Sampler:]\r\nSRD1=33000\r\nStrbAmpl=50000\r\nStrbDel=17475\r\n"
                 "ChFndSRD=1\r\n[@Calibr:TB:]\r\nTGUN=31333\r\nDigit0=9\r\nGainDAC=24000\r\nMinDAC=16384\r\n"
                 "[@Calibr:Trig:]\r\nLvlZero=192\r\n[@Calibr:SmplTB:]\r\nCalIntrvlA=70000\r\n"
                 "CalCurve=3 0 8000 FFFF\r\n");
  CalibrImitSeed("kxx-options", 1 + 4 + 8 + 16 + 64, "Vexilor_Norv-Kxx.Adjust.",
                 "; by hand\n[OE]\nDarkLevel=33.50\n[@OE]\nFP1WLEN=8.5E-7\nFP1Gain=200\nUP3WLEN=1.31e-6\n"
                 "UP3Gain=0.3\nUP4Gain=0.30000000000000004\n[@Gen]\nOut1:PosZero=500\nOut2:NegZero=70000\n"
                 "[@Calibr:Sampler:]\nSRD3=$8000\nMINSRD1=0x9000\n[@Calibr:TB:]\nGainDAC=36387\n");
  CalibrImitSeed("damaged", 2 + 4 + 32, "Calibr.",
                 "[@Calibr:TB:]\nTGUN=3O000\nDigit0=\n[calibr.calibr:smpltb:]\nCalCurve=1 0\n"
                 "[@Calibr:Sampler:Ch1:FullBW:]\nPlusD=-99999999999\n[OE]\nDarkLevel=nan\n[@OE]\n"
                 "UP1Gain=1e999\nUP2WLEN=-0\n");
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <folder>\n");
    return 2;
  }
  g_out = argv[1];
  fuzz::SetUpProgramHome();
  CommandAndSetupSeeds();
  RecordSeeds();
  SampleStreamSeeds();
  LanguageSeeds();
  IniSeeds();
  ReplySeeds();
  RemoteFramingSeeds();
  ConfigurationSeeds();
  MaskSeeds();
  DemoUnitSeeds();
  PatternLengthSeeds();
  HelpMapSeeds();
  ColorGradeSeeds();
  CalibrImitSeeds();
  fuzz::ResetProgramState();
  return 0;
}
