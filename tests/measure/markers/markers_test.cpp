// The markers as a user and a remote client meet them: commands move them, the readout of
// every type answers "Mark:Result" from known records, with and without a reference.

#include "measure/markers/markers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

class MarkersTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override { Start(); }

  // The program at work with its screen; Ch1 and Ch2 are 512 points of 100 ps at 0.1 V
  // per division, Ch1 rising 1 mV per point; S1 is a spectrum of 1 MHz per point.
  void Start() {
    FreshProgramState();
    test::RegisterEveryUnit();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ScopeCRT->PlaceScreen(0, 0, 504, 804);
    test::ApplyEveryUnit();
    InstallDisplaySettings();
    InstallMarkers();
    for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch2, TTraceId::S1}) {
      TSignalObj& r = SignalObjs()[id];
      r.SetRecLen(512);
      r.SetZoomStep(1);
      r.SetFirstShown(0);
      r.SetX0(0);
      r.SetDX(id == TTraceId::S1 ? 1e6 : 1e-10);
      r.SetHorUnit(id == TTraceId::S1 ? "Hz" : "s");
      r.SetVertUnit("V");
      r.SetVertScale(0.1);
      r.SetVertOffset(0);
      r.SetDisplayScale(1);
      r.SetDisplayOffset(0);
      for (int i = 0; i < 512; ++i) r.SetY(i, id == TTraceId::Ch1 ? i * 1e-3 : 0.0);
    }
    SignalsOn.SetOn(TTraceId::S1, true);
    Exec("HEADER OFF");
  }
  // What the idle loop does after every step.
  static void IdlePass() {
    AcqHooks.ShowMarker(1);
    AcqHooks.ShowMarker(2);
    AcqHooks.UpdateMarkerReadout();
  }
  static int NodeValue(const char* path) {
    THandler* h = RootSpider->FindHandler(path);
    if (auto* e = dynamic_cast<TEditHandler*>(h)) return e->GetIntValue();
    if (auto* r = dynamic_cast<TRadioSwHandler*>(h)) return r->GetIndex();
    return dynamic_cast<TSourceSwHandler&>(*h).GetSourceIndex();
  }

  test::FakeClock clock;
  test::TBlockFont font;
};

// A marker at screen X lies on shown point X / 4096 x 512 = X / 8, so at X / 8 x 100 ps.
TEST_F(MarkersTest, ReadoutOfEachTypeFromKnownRecords) {
  const std::string U = UndefinedValueText;
  struct Row {
    const char* what;
    std::vector<const char*> commands;
    std::vector<std::pair<const char*, std::string>> replies;
  };
  const std::vector<Row> rows = {
      {"MX at 1000 and 3000: points 125 and 375",
       {"MARK:TYPE MX"},
       {{"MARK:RESULT? M2", "XM2 = 37.5 ns"}, {"MARK:RESULT? DM", "dXM = 25 ns; 1/dXM = 40 MHz"}}},
      {"MY at rows 300 and 600: (row - 512) x 0.8 V / 1024",
       {"MARK:TYPE MY"},
       {{"MARK:RESULT? M1", "YM1 = -165.625 mV"}, {"MARK:RESULT? DM", "dYM = 234.375 mV"}}},
      {"XY: the ramp's points 125 and 375, 250 mV over 25 ns",
       {"MARK:TYPE XY"},
       {{"MARK:RESULT? M1", "XM1 = 12.5 ns; YM1 = 125 mV"},
        {"MARK:RESULT? DM", "dXM = 25 ns; 1/dXM = 40 MHz; dYM = 250 mV; dYM/dXM = 10 V / \xC2\xB5s"}}},
      {"XY with both markers on one point: no slope and no reciprocal",
       {"MARK:TYPE XY", "MARK:M2:XPOS 12.5NS"},
       {{"MARK:RESULT? DM", "dXM =  0 s; 1/dXM = " + U + "; dYM =  0 V; dYM/dXM = " + U}}},
      {"MX reference of 25 ns, then half of it",
       {"MARK:TYPE MX", "MARK:REFER ON", "MARK:M2:XPOS 25NS"},
       {{"MARK:RESULT? REF", "dXM = 50 %; dXM = 180 \xC2\xB0"}}},
      {"MY reference of 234.375 mV, then a tenth of it",
       {"MARK:TYPE MY", "MARK:REFER ON", "MARK:M2:YPOS -142.1875M"},
       {{"MARK:RESULT? REF", "dYM = 10 %; dYM = -20 dB"}}},
      {"the reference set again by command after a move",
       {"MARK:TYPE MY", "MARK:REFER ON", "MARK:M2:YPOS -148.4375M", "MARK:SETREF", "MARK:M2:YPOS -131.25M"},
       {{"MARK:RESULT? REF", "dYM = 200 %; dYM = 6.02 dB"}}},
      {"a difference of 0 has no level",
       {"MARK:TYPE MY", "MARK:REFER ON", "MARK:M2:YPOS -165.625M"},
       {{"MARK:RESULT? REF", "dYM =  0 %; dYM = " + U}}},
      {"a reference of 0 gives no ratio",
       {"MARK:TYPE MY", "MARK:M2:YPOS -165.625M", "MARK:REFER ON", "MARK:M2:YPOS 0"},
       {{"MARK:RESULT? REF", "dYM = " + U + "; dYM = " + U}}},
      {"seconds against hertz: values but no differences",
       {"MARK:TYPE MX", "MARK:M2:SOURCE S1"},
       {{"MARK:RESULT? M2", "XM2 = 375 MHz"}, {"MARK:RESULT? DM", "dXM = " + U + "; 1/dXM = " + U}}},
      {"the replies without readout, with a bad argument and with the header",
       {"MARK:TYPE MX"},
       {{"MARK:RESULT?", "XM1 = 12.5 ns"},
        {"MARK:RESULT? REF", "Reference OFF"},
        {"MARK:RESULT? M3", "Argument Error"},
        {"HEADER ON;MARK:RESULT? dm", "MARK:RESULT:DM  dXM = 25 ns; 1/dXM = 40 MHz"},
        {"MARK:TYPE OFF", ""},
        {"MARK:RESULT? M1", "MARK:RESULT:M1  Markers OFF"}}},
  };
  for (const Row& row : rows) {
    Start();
    for (const char* command : row.commands) {
      Exec(command);
      IdlePass();
    }
    for (const auto& [query, reply] : row.replies) EXPECT_EQ(Exec(query), reply) << row.what << ": " << query;
  }
}

TEST_F(MarkersTest, CommandsMoveTheMarkers) {
  struct Row {
    const char* what;
    std::function<void()> before;
    std::vector<const char*> commands;
    std::vector<std::pair<const char*, int>> values;
  };
  const std::vector<Row> rows = {
      {"a cross moves by whole points: 1000 to 1003 lands on 1008",
       {},
       {"MARK:TYPE XY", "MARK:M1:XPOS 12.5375NS"},
       {{"Mark:M1:XPos", 1008}}},
      {"a cross moved far rounds to whole points: 1000 to 1030 lands on 1032",
       {},
       {"MARK:TYPE XY", "MARK:M1:XPOS 12.875NS"},
       {{"Mark:M1:XPos", 1032}}},
      {"switching to XY puts the markers on points",
       {},
       {"MARK:M1:XPOS 12.5375NS", "MARK:M2:XPOS 37.45NS", "MARK:TYPE XY"},
       {{"Mark:M1:XPos", 1000}, {"Mark:M2:XPos", 2992}}},
      {"paired: M1 by +100 takes M2 along in X and Y",
       {},
       {"MARK:TYPE MX", "MARK:MOTION PAIRED", "MARK:M1:YPOS -148.4375M", "MARK:M1:XPOS 13.75NS"},
       {{"Mark:M1:XPos", 1100}, {"Mark:M2:XPos", 3100}, {"Mark:M2:YPos", 622}}},
      {"paired: moving M2 changes only the distance",
       {},
       {"MARK:TYPE MX", "MARK:MOTION PAIRED", "MARK:M2:XPOS 25NS", "MARK:M1:XPOS 13.75NS"},
       {{"Mark:M1:XPos", 1100}, {"Mark:M2:XPos", 2100}}},
      {"independent: M2 stays", {}, {"MARK:TYPE MX", "MARK:M1:XPOS 13.75NS"}, {{"Mark:M2:XPos", 3000}}},
      {"XY becomes MX while a database is shown",
       [] { SetDatabase(true, "db"); },
       {"MARK:TYPE XY"},
       {{"Mark:Type", mtMX}}},
      {"a source without a record is refused",
       {},
       {"MARK:TYPE MX", "MARK:M1:SOURCE XY", "MARK:M2:SOURCE NONE"},
       {{"Mark:M1:Source", 0}, {"Mark:M2:Source", 0}}},
  };
  for (const Row& row : rows) {
    Start();
    if (row.before) row.before();
    for (const char* command : row.commands) Exec(command);
    for (const auto& [path, value] : row.values)
      EXPECT_EQ(NodeValue(path), value) << row.what << ": " << path;
  }
}

}  // namespace
}  // namespace norv
