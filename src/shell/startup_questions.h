#pragma once
// The start-up connection's question, asked through the dialog service: after the first
// failed attempt whether to try the instrument again, take the demo instrument, go on
// without one or end the program; after the second whether to try again; later only
// Exit. Only what the connection loop offers is shown. Suppressed dialogs give the loop's
// default answer.

#include "instrument/startup/startup_connection.h"

namespace norv {

class TDialogStartupQuestions final : public IStartupQuestions {
 public:
  TStartupAnswer AskHowToGoOn(const TStartupOffer& offer) override;
};

}  // namespace norv
