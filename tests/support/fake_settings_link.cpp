#include "support/fake_settings_link.h"

namespace norv::test {

void FakeSettingsLink::Send(const std::string& command, bool keepAcquisition) {
  Lines.push_back({command, keepAcquisition});
}

std::string FakeSettingsLink::Query(const std::string& command, bool keepAcquisition) {
  Lines.push_back({command, keepAcquisition});
  return Reply ? Reply(command) : "Timeout";
}

std::vector<std::string> FakeSettingsLink::Texts() const {
  std::vector<std::string> texts;
  for (const TLine& line : Lines) texts.push_back(line.Text);
  return texts;
}

std::vector<std::string> FakeSettingsLink::TextsStartingWith(const std::string& prefix) const {
  std::vector<std::string> texts;
  for (const TLine& line : Lines) {
    if (line.Text.rfind(prefix, 0) == 0) texts.push_back(line.Text);
  }
  return texts;
}

}  // namespace norv::test
