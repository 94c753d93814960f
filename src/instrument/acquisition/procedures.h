#pragma once
// The procedures that drive the acquisition for themselves (each started by its command,
// control or setting), and the one life each of them lives: registered when it starts,
// with whoever started it (the user at the screen or a client); holding its own set-up and
// the ground it works on; asking its questions of its starter; cutting into the user's run
// without ending it; and ended by every way out (its Cancel, a Stop, its ground moved, the
// close, an instrument switch) as its Cancel ends it. One runs at a time: one asked for
// while another runs does not start, and the refusal names the one that runs.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/settings/procedure_setup.h"
#include "framework/util/dialog_service.h"

namespace norv {

class TSignalObj;

enum class TProcedure : uint8_t {
  None,
  Autoscale,
  AutoCalibration,
  TdrChannelCalibration,
  TdrCorrection,
  OEDarkLevel,
  OEGain,
  PatternSearch,
  LowJitterReference,
  JitterAnalysis,  // runs until it is switched off, on the user's run
  // The user is asked to move the O/E converter's cable: it stands on the ground of the O/E
  // calibrations, so none starts beside it; it sets nothing and leaves the user's run alone.
  OEConnection,
};

// The procedure that drives the acquisition now; None while the acquisitions are the user's.
TProcedure RunningProcedure();
// Its name in the messages ("the pattern search").
std::string ProcedureName(TProcedure procedure);
// A procedure that takes the acquisitions for itself: the user's run keeps none of them.
// The jitter analysis is a mode of the user's run, not one of them; the O/E converter's
// cable question is a question.
bool TakesTheRun(TProcedure procedure);
// The automatic calibration waits for the end of a procedure that runs (or asks) now: it
// cuts only into the jitter analysis.
bool AutoCalibrationWaits();

// True when `starting` must not start because another procedure runs. The setting that
// asked for it is first taken back (`withdraw`); then the refusal is told: in a box at the
// screen, while a client's command fails with it (EAssertion).
bool RefusedBesideProcedure(TProcedure starting, const std::function<void()>& withdraw = {});
// The refusal alone, told the same way.
void TellRefusedBeside(TProcedure starting, TProcedure running);

class TProcedureLife {
 public:
  explicit TProcedureLife(TProcedure kind);
  // Leaves the registry; its owner ends a life still running before (as its Cancel does).
  ~TProcedureLife();
  TProcedureLife(const TProcedureLife&) = delete;
  TProcedureLife& operator=(const TProcedureLife&) = delete;

  // Starts it, unless another procedure runs (refused as RefusedBesideProcedure refuses,
  // `withdraw` first; `intoJitterAnalysis`: it may cut into the jitter analysis). It is
  // registered with its starter (a client while dialogs are suppressed, else the user), its
  // set-up begins (holding `taken`), and where the user's run stands is noted, with the
  // records the screen shows when it takes the run. False when refused.
  bool Start(const std::function<void()>& withdraw = {}, TUndoSnapshot taken = {},
             bool intoJitterAnalysis = false);
  bool Running() const { return running_; }
  TProcedure Kind() const { return kind_; }
  // One life for two procedures of a kind (the O/E dark level and gain): chosen before the
  // start.
  void SetKind(TProcedure kind) {
    if (!running_) kind_ = kind;
  }
  bool ForClient() const { return client_; }
  TProcedureSetup& Setup() { return setup_; }
  // A setting it works on beyond its own set-up (its destination, its mode), and the switch
  // that started it (see TProcedureSetup).
  void HoldGround(THandler* handler) { setup_.HoldGround(handler); }
  void HoldSwitch(THandler* handler, std::string savedAs) { setup_.HoldSwitch(handler, std::move(savedAs)); }
  // A set-up of its own besides Setup() (begun and given back by the procedure): its
  // settings are the procedure's ground too.
  void AlsoHolds(TProcedureSetup& setup);
  // Forgets a life without giving anything back (a fresh program state).
  void Abandon();

  // Its questions and messages go to whoever started it: a client's to the log. A message
  // of the user's procedure that comes while a client's line runs waits for the line's end.
  // A question is asked for the life: one not running asks nothing, and one that ended while
  // it stood (by any way out) gets the last button, its escape, whatever was answered: the
  // answer acts as its Cancel does, and its Cancel is done already.
  TAnswer Ask(TMessageKind kind, const std::string& text, const std::vector<TAnswer>& buttons,
              TAnswer defaultAnswer) const;
  void Tell(TMessageKind kind, const std::string& text) const;
  // A question of a step that runs inside an idle pass, where its box would hold the
  // pass: it is asked once the pass has ended, and `then` gets the answer only while this
  // same life still runs (not after its end, nor in a life started again meanwhile).
  void AskThen(TMessageKind kind, std::string text, std::vector<TAnswer> buttons, TAnswer defaultAnswer,
               std::function<void(TAnswer)> then);

  // Runs its start's own set-up (in its scope). A rule the set-up moves may end the
  // procedure on the way (a setting it needs forced elsewhere moves what ends it, `endsOn`):
  // then the start did not take. Its set-up goes back whole, also what it wrote after the
  // end came, `withdraw` takes back the rest (its switch), and its starter hears why (the
  // line's error, a box at the screen). False then.
  bool SetUp(const std::function<void()>& setUp, const std::function<void()>& withdraw,
             const THandler& endsOn);

  // What the procedure does on every way out but its own end, as its Cancel: it ends the
  // life (End) with whatever it closes or withdraws. Empty: End() alone.
  std::function<void()> OnCancel;
  // Its end: the set-up goes back (kept: it becomes one undo step), and the user's run goes
  // on where it stood (its flags and its count), unless someone started or stopped it
  // meanwhile: then it stays as they left it, counting from its own first cycle. With a
  // set-up that goes back, the records it took the run from come back too (the channels'
  // and those computed from them), so that a stopped screen, its queries and its saves show
  // what the user stopped on; a run that goes on replaces them. Nothing when it is not
  // running.
  void End(bool keepSetup = false);
  // Ends it from outside as its Cancel does, and tells its starter why.
  void Cancel(const std::string& why);
  // Why the last Cancel from outside came ("" when none did since the start).
  const std::string& CancelReason() const { return cancelReason_; }

 private:
  void Register();
  void Unregister();
  void GiveRunBack();

  TProcedure kind_;
  bool running_ = false;
  bool client_ = false;
  bool runSetMeanwhile_ = false;
  bool savedRun_ = false;
  bool savedSingle_ = false;
  bool countsSaved_ = false;
  // Its start's set-up runs: an end asked meanwhile waits for it (SetUp).
  bool settingUp_ = false;
  bool endedSettingUp_ = false;
  std::array<int, 2> savedCounts_{};
  std::string cancelReason_;
  TProcedureSetup setup_;
  // The records shown as it took the run (the channels' and those computed from them),
  // until its end.
  std::vector<TSignalObj> shownRecords_;
  // Lives while this life runs, a new one each start: an answer, or what waits to act for
  // it, counts only for the start it was asked in.
  std::shared_ptr<int> token_;

  friend void NoteRunSetByActor();
};

// Why a procedure ended from outside: "TDR:MODE was set meanwhile"; and what its starter
// is told: "Cancelled the TDR/TDT correction: TDR:MODE was set meanwhile".
std::string MovedText(const THandler& moved);
std::string CancelledText(TProcedure procedure, const std::string& why);

// The life of the running procedure (the innermost, when one cuts into the jitter
// analysis); nullptr while none runs.
TProcedureLife* RunningLife();
// A client or the user started or stopped the run: the running procedures leave it so, and
// the run counts from its first cycle.
void NoteRunSetByActor();
// A Stop or Single of a client or the user: the procedure that holds the acquisition ends
// as its Cancel ends it (the jitter analysis, a mode of the user's run, goes on).
void CancelProcedureForStop();
// The close or an instrument switch: every procedure ends as its Cancel ends it.
void CancelAllProcedures(const std::string& why);
// The steps of the user's procedure wait while a client's line runs: what they ask goes
// to the user, who cannot answer inside the line.
bool ProcedureStepsWait();
// Shows the messages of the user's procedures that came while a client's line ran.
void TellWaitingProcedureMessages();

}  // namespace norv
