#include "shell/startup_questions.h"

#include <string>
#include <utility>
#include <vector>

#include "framework/util/dialog_service.h"

namespace norv {

TStartupAnswer TDialogStartupQuestions::AskHowToGoOn(const TStartupOffer& offer) {
  std::string text;
  std::vector<std::pair<std::string, TStartupAnswer>> buttons;
  if (offer.Attempt == 1) {
    text = "SW didn't link with the Vexilor Norv\nHow do you want to continue your work?";
    if (offer.Retry) buttons.emplace_back("With Vexilor Norv", TStartupAnswer::Retry);
    if (offer.Demo) buttons.emplace_back("Demo", TStartupAnswer::Demo);
  } else if (offer.Attempt == 2) {
    text =
        "PC didn't recognise the Vexilor Norv.\nPlease check:\n"
        "1. Is the Vexilor Norv connected to PC via USB or LAN ports?\n"
        "2. Is the Vexilor Norv turned ON?\n"
        "3. Is the Vexilor Norv is not used by another SW?";
    if (offer.Retry) buttons.emplace_back("Yes", TStartupAnswer::Retry);
  } else {
    text = "PC didn't recognise the Vexilor Norv";
  }
  if (offer.WithoutInstrument && offer.Attempt <= 2)
    buttons.emplace_back("Without Instruments", TStartupAnswer::WithoutInstrument);
  buttons.emplace_back("Exit", TStartupAnswer::Exit);

  // Trying again is the first choice; without it the answer the loop takes by itself.
  const TStartupAnswer preferred = offer.Retry ? TStartupAnswer::Retry : DefaultStartupAnswer(offer);
  std::vector<std::string> captions;
  int defaultButton = static_cast<int>(buttons.size()) - 1;
  for (const auto& [caption, answer] : buttons) {
    if (answer == preferred) defaultButton = static_cast<int>(captions.size());
    captions.push_back(caption);
  }
  const int chosen = Dialogs().AskCustom(TMessageKind::Warning, text, captions, defaultButton);
  return chosen >= 0 && chosen < static_cast<int>(buttons.size())
             ? buttons[static_cast<size_t>(chosen)].second
             : TStartupAnswer::Exit;
}

}  // namespace norv
