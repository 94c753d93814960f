#include "instrument/link/command_settings_link.h"

#include "instrument/link/command_link.h"

namespace norv {

namespace {

class TCommandSettingsLink final : public ISettingsLink {
 public:
  void Send(const std::string& command, bool keepAcquisition) override {
    SendCommand(command, keepAcquisition);
  }
  std::string Query(const std::string& command, bool keepAcquisition) override {
    SendCommand(command, keepAcquisition);
    return ReadReplyLine();
  }
};

}  // namespace

ISettingsLink& CommandSettingsLink() {
  static TCommandSettingsLink link;
  return link;
}

}  // namespace norv
