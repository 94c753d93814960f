#include "controls/controls_state.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <exception>

#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"

namespace norv {

TControlsState ControlsState;
const TProgramUnit ControlsUnit("controls", [] { ControlsState = {}; });

void InstallSourceNames(const std::array<std::string, kSourceNameCount>& names,
                        std::function<uint32_t(int source)> colorLookup, uint32_t backColor) {
  ControlsState.SourceNames = names;
  ControlsState.LastSourceIndex = kSourceNameCount - 1;
  ControlsState.SourceColorLookup = std::move(colorLookup);
  ControlsState.SourceBackColor = backColor;
}

void InstallTraceSourceNames() {
  std::array<std::string, kSourceNameCount> names;
  for (int i = 0; i < kSourceNameCount; ++i)
    names[static_cast<size_t>(i)] = GetTraceShortName(static_cast<TTraceId>(i));
  InstallSourceNames(
      names, [](int source) { return GetDisplaySourceRGB(static_cast<TTraceId>(source)); },
      GetDisplaySourceARGB(kDisplaySourceScreen) & 0xFFFFFF);
}

void GuardedCall(const std::function<void()>& work) {
  std::string failure;
  try {
    work();
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  if (ControlsState.OnException.IsSet())
    ControlsState.OnException(failure);
  else
    std::fprintf(stderr, "%s\n", failure.c_str());
}

void Beep() {
  if (ControlsState.OnBeep.IsSet())
    ControlsState.OnBeep();
  else
    QApplication::beep();
}

bool AsksForHelpContext(const QStringList& arguments) {
  for (const QString& argument : arguments)
    if (argument.toUpper() == "HELPCONTEXT") return true;
  return false;
}

bool IsHelpContextMode() {
  if (ControlsState.HelpContextMode == 0)
    ControlsState.HelpContextMode = AsksForHelpContext(QCoreApplication::arguments().mid(1)) ? 2 : 1;
  return ControlsState.HelpContextMode == 2;
}

}  // namespace norv
