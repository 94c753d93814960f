#pragma once
// The status-message stack: short messages (a communication error, a damaged file, the end
// of a database acquisition) shown in small windows over a fixed place of the main window.
// The newest message is on top; each may vanish after its own time-out; a kept message
// waits under newer ones with its remaining time. Callers keep the id PushHint gives to
// remove or replace their message later.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/clock.h"

namespace norv {

// Distinct types, so that a call cannot swap the keep flag and the style.
enum class THintKeep : uint8_t {
  Drop = 0,  // dropped when a newer message is pushed
  Keep = 1,  // stays under a newer message with its remaining time
};
enum class THintStyle : uint8_t {
  Normal = 0,   // black on light yellow
  Warning = 1,  // yellow on dark red
};

// Colours 0x00BBGGRR.
inline constexpr uint32_t kHintNormalText = 0x00000000;
inline constexpr uint32_t kHintNormalBack = 0x00CCFFFF;
inline constexpr uint32_t kHintWarningText = 0x0000FFFF;
inline constexpr uint32_t kHintWarningBack = 0x0000007F;

// The window of one message; it disappears when destroyed.
class IHintWindow {
 public:
  virtual ~IHintWindow() = default;
  virtual void ShowText(const std::string& text, uint32_t textColor, uint32_t backColor, int left, int top,
                        int width) = 0;
};

// Where the windows appear: makes windows over the main window.
class IHintParent {
 public:
  virtual ~IHintParent() = default;
  virtual std::unique_ptr<IHintWindow> CreateHintWindow() = 0;
};

class THintStack {
 public:
  THintStack(IClock& clock, ITimerFactory& timers);
  ~THintStack();

  // Shows a message on top. timeoutMs below 1 means no time-out. Text equal to a message on
  // the stack (ignoring letter case) brings that message to the top under its old id;
  // pushed again while on top only its time-out changes (keep and style must match).
  uint32_t PushHint(std::string_view text, int32_t timeoutMs, THintKeep keep, THintStyle style);
  // Removes that message (unknown ids are ignored); the next lower one shows again.
  void RemoveHint(uint32_t id);
  // Replaces the text of the caller's message when it is on top with this keep and style;
  // otherwise pushes the text.
  uint32_t ReplaceHint(uint32_t id, std::string_view text, int32_t timeoutMs, THintKeep keep,
                       THintStyle style);
  // Where windows appear; a null parent hides every message (they stay on the stack).
  void SetHintPlace(IHintParent* parent, int left, int top, int width);

  // The timer's tick: the top message has timed out.
  void TimerTick();

  // For inspection: bottom first.
  struct TEntryView {
    std::string text;
    uint32_t id;
    THintKeep keep;
    THintStyle style;
    int32_t timeoutMs;
    bool shown;  // has a window
  };
  std::vector<TEntryView> Entries() const;
  bool TimerArmed() const;
  int TimerIntervalMs() const;

 private:
  struct THint;

  void DropTop();
  void ShowEntry(size_t index);
  void DrawText(THint& hint);
  void ArmTimer(int32_t timeoutMs);
  void DeleteTopAndShowNext();

  IClock& clock_;
  std::unique_ptr<ITimer> timer_;
  uint32_t lastId_ = 0;
  int64_t shownAt_ = 0;
  std::vector<std::unique_ptr<THint>> hints_;  // the last is the top
  IHintParent* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
};

// The program's stack, installed by the shell at start-up and held by ProgramObjects; until
// then (and in units tested without it) the calls below do nothing and give id 0.
void InstallHintStack(std::unique_ptr<THintStack> stack);
THintStack* HintStack();
uint32_t PushHint(std::string_view text, int32_t timeoutMs, THintKeep keep, THintStyle style);
void RemoveHint(uint32_t id);
uint32_t ReplaceHint(uint32_t id, std::string_view text, int32_t timeoutMs, THintKeep keep, THintStyle style);

}  // namespace norv
